#include <algorithm>
#include <cctype>

#include "discwriter/discwright/DiscReader.h"
#include "discwriter/discwright/Discwright.h"
#include "discwriter/discwright/ImageDriveSettings.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

bool endsWithIso(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string tail = path.substr(path.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == ".iso";
}

} // namespace

std::unique_ptr<DiscReader> OpenRestoreDrive(const std::string& item)
{
    ImageDriveSettings settings;
    if (Discwright_GetImageDriveSettings(settings) && settings.folder == item)
        return makeImageShelfReader(item);
    if (endsWithIso(item) && platform::fileExists(item))
        return makeIsoFileReader(item);
    if (item.rfind("/dev/", 0) == 0) {
        const std::string mounted = platform::mountPointOf(item);
        return makeFolderReader(mounted.empty() ? item : mounted);
    }
    return makeFolderReader(item);
}

} // namespace torvinel
