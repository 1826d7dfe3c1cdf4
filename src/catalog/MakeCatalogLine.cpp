#include "catalog/MakeCatalogLine.h"

#include "app/Progress.h"
#include "catalog/CatalogLine.h"
#include "catalog/FileDigest.h"
#include "catalog/GetFileLength.h"
#include "platform/Platform.h"

namespace torvinel {

std::string uncarriablePathWarning(const std::string& path)
{
    std::string shown;
    for (char c : path) {
        if (c == '\n')
            shown += "\\n";
        else if (c == '\r')
            shown += "\\r";
        else
            shown += c;
    }
    return "Warning: Skipped a file whose name a catalog cannot hold: " + shown;
}

std::string MakeCatalogLine(RunState& state, View& view, const std::string& path, bool withDigest)
{
    if (!platform::isRegularFile(path))
        return {};
    const auto stamp = platform::lastWriteStamp(path);
    if (!stamp)
        return {};
    if (!catalogCanCarry(path)) {
        const std::string warning = uncarriablePathWarning(path);
        state.WriteLog(warning);
        showBackupProgress(view, {.message = warning});
        return {};
    }
    const std::int64_t size = GetFileLength(view, path);
    return formatCatalogLine(path, *stamp, size, withDigest ? DigestHex(FileDigest(path)) : std::string());
}

} // namespace torvinel
