#include <algorithm>
#include <cctype>
#include <vector>

#include "discwright/DiscReader.h"
#include "discwright/Discwright.h"
#include "discwright/ImageDriveSettings.h"
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

// A folder read both as a disc mounted or copied there (<DiscId>/<file> right below it) and
// as a shelf of <DiscId>.iso images, so a shelf moved or copied elsewhere still reads.
class FolderOrShelfReader : public DiscReader {
public:
    explicit FolderOrShelfReader(const std::string& folder)
        : m_folder(makeFolderReader(folder)), m_shelf(makeImageShelfReader(folder))
    {
    }

    std::string location() const override { return m_folder->location(); }
    bool exists(const std::string& path) override { return m_folder->exists(path) || m_shelf->exists(path); }
    bool copy(const std::string& path, const std::string& target) override
    {
        if (m_folder->exists(path))
            return m_folder->copy(path, target);
        return m_shelf->copy(path, target);
    }
    std::optional<Extent> locate(const std::string& path) override
    {
        if (m_folder->exists(path))
            return m_folder->locate(path);
        return m_shelf->locate(path);
    }
    std::optional<std::string> medium(const std::string& discId) override { return m_shelf->medium(discId); }
    // The top level holds the discs of both: a folder of images holds files (the images)
    // that are no disc, and a disc's folder may lie beside images.
    std::vector<Entry> list(const std::string& folder) override
    {
        std::vector<Entry> entries = m_folder->list(folder);
        if (folder.empty()) {
            for (Entry& disc : m_shelf->list(folder))
                if (std::none_of(entries.begin(), entries.end(),
                                 [&](const Entry& entry) { return entry.isFolder && entry.name == disc.name; }))
                    entries.push_back(std::move(disc));
            std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
        } else if (entries.empty()) {
            entries = m_shelf->list(folder);
        }
        return entries;
    }

private:
    std::unique_ptr<DiscReader> m_folder;
    std::unique_ptr<DiscReader> m_shelf;
};

// An optical drive: its disc's files where it is mounted, its blocks on the device.
class OpticalDiscReader : public DiscReader {
public:
    OpticalDiscReader(const std::string& device, const std::string& mounted)
        : m_device(device), m_files(makeFolderReader(mounted.empty() ? device : mounted))
    {
    }

    std::string location() const override { return m_files->location(); }
    bool exists(const std::string& path) override { return m_files->exists(path); }
    bool copy(const std::string& path, const std::string& target) override { return m_files->copy(path, target); }
    std::optional<Extent> locate(const std::string& path) override { return m_files->locate(path); }
    std::optional<std::string> medium(const std::string&) override { return m_device; }
    std::vector<Entry> list(const std::string& folder) override { return m_files->list(folder); }

private:
    std::string m_device;
    std::unique_ptr<DiscReader> m_files;
};

} // namespace

std::unique_ptr<DiscReader> OpenRestoreDrive(const std::string& item)
{
    ImageDriveSettings settings;
    if (Discwright_GetImageDriveSettings(settings) && settings.folder == item)
        return makeImageShelfReader(item);
    if (endsWithIso(item) && platform::fileExists(item))
        return makeIsoFileReader(item);
    if (item.rfind("/dev/", 0) == 0)
        return std::make_unique<OpticalDiscReader>(item, platform::mountPointOf(item));
    if (platform::folderExists(item))
        return std::make_unique<FolderOrShelfReader>(item);
    return makeFolderReader(item);
}

} // namespace torvinel
