#include "catalog/DiscSource.h"

#include <algorithm>

#include "platform/Platform.h"

namespace torvinel {

std::optional<std::string> FolderDiscSource::discFolderName()
{
    auto entries = platform::listFolder(m_root, "2*");
    if (entries.empty())
        return std::nullopt;
    // Directory order is arbitrary here; the lowest name makes the choice repeatable.
    const auto first = std::min_element(entries.begin(), entries.end(),
                                        [](const auto& a, const auto& b) { return a.name < b.name; });
    if (!first->isFolder)
        return std::nullopt;
    return first->name;
}

bool FolderDiscSource::copyCatalogs(const std::string& discId, const std::string& targetFolder)
{
    const std::string folder = platform::joinPath(m_root, discId);
    bool copied = true;
    for (const auto& entry : platform::listFolder(folder, "*.csv")) {
        if (entry.isFolder)
            continue;
        if (!platform::copyFile(platform::joinPath(folder, entry.name), platform::joinPath(targetFolder, entry.name)))
            copied = false;
    }
    return copied;
}

bool FolderDiscSource::copyStatusIni(const std::string& discId, const std::string& targetFolder)
{
    const std::string folder = platform::joinPath(m_root, discId);
    for (const auto& entry : platform::listFolder(folder, "status.ini"))
        if (!entry.isFolder)
            return platform::copyFile(platform::joinPath(folder, entry.name),
                                      platform::joinPath(targetFolder, "status.ini"));
    return false;
}

std::unique_ptr<DiscSource> openDiscSource(const std::string& drive)
{
    return std::make_unique<FolderDiscSource>(drive);
}

} // namespace torvinel
