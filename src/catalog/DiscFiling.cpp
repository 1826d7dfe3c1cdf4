#include "catalog/DiscFiling.h"

#include "app/Error.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

// Not a DiscId's leading "2": the disc listing passes the temporary folder by.
const char* const FilingPrefix = "filing-";

DiscFiling::BeforeRename beforeRename = nullptr;

} // namespace

DiscFiling::DiscFiling(const std::string& databaseFolder, const std::string& discId)
    : m_databaseFolder(databaseFolder),
      m_temporary(platform::joinPath(databaseFolder, FilingPrefix + discId)),
      m_target(platform::joinPath(databaseFolder, discId))
{
    if (platform::folderExists(m_temporary))
        static_cast<void>(platform::deleteFolder(m_temporary)); // a failure shows just below
    // Named by the disc's own folder: that is what the user looks for.
    if (platform::fileExists(m_temporary) || !platform::createFolder(m_temporary))
        throw Error("Could not create " + m_target);
}

DiscFiling::~DiscFiling()
{
    // A folder that cannot be removed now is removed at the next start-up.
    if (!m_committed)
        static_cast<void>(platform::deleteFolder(m_temporary));
}

void DiscFiling::setBeforeRename(BeforeRename seam) { beforeRename = seam; }

void DiscFiling::commit()
{
    if (beforeRename)
        beforeRename(*this);
    // The files themselves are synced by the copy; the folder's entries are synced before
    // the rename makes the disc visible, and the database's entry after it.
    m_committed = platform::syncFolder(m_temporary) && platform::renameFolder(m_temporary, m_target);
    if (!m_committed || !platform::syncFolder(m_databaseFolder))
        throw Error("Could not file " + m_temporary + " as " + m_target);
}

std::vector<HalfFiledDisc> removeHalfFiledDiscs(const std::string& databaseFolder)
{
    std::vector<HalfFiledDisc> found;
    for (const auto& entry : platform::listFolder(databaseFolder, std::string(FilingPrefix) + "*")) {
        if (!entry.isFolder)
            continue;
        const std::string path = platform::joinPath(databaseFolder, entry.name);
        found.push_back({path, platform::deleteFolder(path)});
    }
    return found;
}

} // namespace torvinel
