#include "catalog/DiscSource.h"

#include "platform/Platform.h"

namespace torvinel {

std::vector<std::string> ReaderDiscSource::discFolderNames()
{
    std::vector<std::string> names;
    for (const auto& entry : m_reader->list("")) // sorted by name
        if (entry.isFolder && platform::matchesMask(entry.name, "2*"))
            names.push_back(entry.name);
    return names;
}

std::vector<std::string> ReaderDiscSource::fileNames(const std::string& discId)
{
    std::vector<std::string> names;
    for (const auto& entry : m_reader->list(discId))
        if (!entry.isFolder)
            names.push_back(entry.name);
    return names;
}

bool ReaderDiscSource::copyCatalogs(const std::string& discId, const std::string& targetFolder)
{
    bool copied = true;
    for (const auto& entry : m_reader->list(discId)) {
        if (entry.isFolder || !platform::matchesMask(entry.name, "*.csv"))
            continue;
        if (!m_reader->copy(discId + "/" + entry.name, platform::joinPath(targetFolder, entry.name)))
            copied = false;
    }
    return copied;
}

bool ReaderDiscSource::copyStatusIni(const std::string& discId, const std::string& targetFolder)
{
    for (const auto& entry : m_reader->list(discId))
        if (!entry.isFolder && platform::matchesMask(entry.name, "status.ini"))
            return m_reader->copy(discId + "/" + entry.name, platform::joinPath(targetFolder, "status.ini"));
    return false;
}

std::unique_ptr<DiscSource> openDiscSource(const std::string& drive)
{
    return std::make_unique<ReaderDiscSource>(OpenRestoreDrive(drive));
}

} // namespace torvinel
