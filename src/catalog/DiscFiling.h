#pragma once
#include <string>
#include <vector>

// A disc filed in the database in one step. Its files are copied into a temporary folder
// beside Database/<DiscId> that no disc listing shows, made durable, and only then renamed
// into place: the database never holds half of a disc. A filing given up (a failed copy, an
// error) leaves nothing behind; one cut short by a crash is removed at the next start-up.
namespace torvinel {

class DiscFiling {
public:
    // Makes the temporary folder, after removing one an earlier attempt left. Raises Error
    // "Could not create <target>" when it cannot be made.
    DiscFiling(const std::string& databaseFolder, const std::string& discId);
    ~DiscFiling(); // not committed: the temporary folder and what is in it are removed
    DiscFiling(const DiscFiling&) = delete;
    DiscFiling& operator=(const DiscFiling&) = delete;

    const std::string& folder() const { return m_temporary; } // where the disc's files go
    const std::string& target() const { return m_target; }    // Database/<DiscId>

    // Syncs the folder and renames it into place, then syncs the database folder. Raises
    // Error "Could not file <temporary folder> as <target>": not renamed, nothing is left
    // behind; renamed but not synced, the disc stays filed.
    void commit();

    // A test seam for a crash while filing: commit() calls it with the disc's files all in
    // the temporary folder, before the rename. Only a test program sets it.
    using BeforeRename = void (*)(const DiscFiling& filing);
    static void setBeforeRename(BeforeRename seam);

private:
    std::string m_databaseFolder;
    std::string m_temporary;
    std::string m_target;
    bool m_committed = false;
};

// A temporary folder ("filing-<DiscId>") a crash left in the database folder, and whether it
// is gone now.
struct HalfFiledDisc {
    std::string path;
    bool removed = false;
};
std::vector<HalfFiledDisc> removeHalfFiledDiscs(const std::string& databaseFolder);

} // namespace torvinel
