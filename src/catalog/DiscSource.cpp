#include "catalog/DiscSource.h"

#include "platform/Platform.h"

namespace torvinel {

std::optional<std::string> ReaderDiscSource::discFolderName()
{
    // The reader lists by name, so the lowest "2*" entry comes first: a repeatable choice.
    for (const auto& entry : m_reader->list("")) {
        if (!platform::matchesMask(entry.name, "2*"))
            continue;
        if (!entry.isFolder)
            return std::nullopt;
        return entry.name;
    }
    return std::nullopt;
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
