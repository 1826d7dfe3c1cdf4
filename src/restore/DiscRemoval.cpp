#include "restore/DiscRemoval.h"

#include <cctype>
#include <map>
#include <set>
#include <vector>

#include "app/TextFile.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscMaintenance.h"
#include "catalog/DiscNames.h"
#include "platform/Platform.h"
#include "restore/CopyIndex.h"

namespace torvinel {

namespace {

struct PathLess {
    bool operator()(const std::string& a, const std::string& b) const { return platform::comparePaths(a, b) < 0; }
};

// The newest line of every file the database holds. Discs are walked from the newest, each
// one's catalogs from the highest name; a path's first line met decides, and one of a
// deletion record hides the file. A split archive's volumes count only once the catalog of
// its last volume (ArchiveName.csv) is on a disc walked.
std::vector<std::string> newestLines(const std::string& databaseFolder, const SortedList& discs)
{
    std::map<std::string, std::string, PathLess> decided; // path -> line; "" for a deleted file
    std::set<std::string> lastVolumeFiled;
    for (std::size_t d = discs.size(); d-- > 0;) {
        const std::string folder = platform::joinPath(databaseFolder, discs[d]);
        SortedList catalogs;
        ListFiles(platform::joinPath(folder, "2*.csv"), catalogs);
        for (std::size_t c = 0; c < catalogs.size(); ++c)
            if (isCatalogName(catalogs[c]) && catalogs[c].size() == archiveNameLength + 4)
                lastVolumeFiled.insert(catalogs[c].substr(0, archiveNameLength));
        for (std::size_t c = catalogs.size(); c-- > 0;) {
            const std::string& name = catalogs[c];
            if (!isCatalogName(name) || !lastVolumeFiled.contains(name.substr(0, archiveNameLength)))
                continue;
            const bool deletions = std::tolower(static_cast<unsigned char>(name[archiveNameLength - 1])) == 'd';
            for (std::string& line : readLines(platform::joinPath(folder, name))) {
                const std::string_view path = catalogPathView(line);
                if (path.empty() || line.front() != '"')
                    continue; // no catalog line: a damaged or foreign file
                decided.try_emplace(std::string(path), deletions ? std::string() : std::move(line));
            }
        }
    }
    std::vector<std::string> lines;
    lines.reserve(decided.size());
    for (auto& [path, line] : decided)
        if (!line.empty())
            lines.push_back(std::move(line));
    return lines;
}

bool needsDisc(const ArchiveCopy& copy, const std::string& discId)
{
    for (const ArchiveVolume& volume : copy.volumes)
        if (volume.disc == discId)
            return true;
    return false;
}

std::string discRemovalQuestion(const std::string& discId, std::size_t lostFiles)
{
    const std::string question = "Remove disc " + discId + " from the database? ";
    if (lostFiles == 0)
        return question + "No file has its newest copy only on this disc: nothing is lost.";
    if (lostFiles == 1)
        return question + "1 file has its newest copy only on this disc; it could no longer be restored.";
    return question + std::to_string(lostFiles)
        + " files have their newest copy only on this disc; they could no longer be restored.";
}

} // namespace

std::size_t filesOnlyOnDisc(const RunState& state, const std::string& discId)
{
    const SortedList discs = discFolders(state);
    const std::vector<std::string> newest = newestLines(state.DatabaseFolder, discs);
    const CopyIndex copies(state.DatabaseFolder, discs, newest);
    std::size_t lost = 0;
    for (std::size_t line = 0; line < newest.size(); ++line) {
        const std::vector<LineCopy>& kept = copies.copiesOf(line);
        bool everyCopyNeedsDisc = !kept.empty(); // a version without a whole copy is lost already
        for (const LineCopy& copy : kept)
            everyCopyNeedsDisc = everyCopyNeedsDisc && needsDisc(copies.archives()[copy.archive], discId);
        lost += everyCopyNeedsDisc ? 1 : 0;
    }
    return lost;
}

bool confirmDiscRemoval(const RunState& state, View& view)
{
    const std::string discId = discToRemove(state, view);
    return !discId.empty() && view.askYesNoDefaultNo(discRemovalQuestion(discId, filesOnlyOnDisc(state, discId)));
}

} // namespace torvinel
