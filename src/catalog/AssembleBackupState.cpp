#include "catalog/AssembleBackupState.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "app/Error.h"
#include "app/Progress.h"
#include "app/TextFile.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscNames.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

// ArchiveName + ".csv": 19 characters; a volume catalog is longer (ArchiveName_kkk.csv).
constexpr std::size_t plainCatalogNameLength = archiveNameLength + 4;

int volumeNumber(const std::string& name)
{
    // The characters after "ArchiveName_" up to ".csv".
    const std::size_t first = archiveNameLength + 1;
    const std::string field = name.size() >= first + 4 ? name.substr(first, name.size() - 4 - first) : std::string();
    return decimalField(field);
}

bool lineLess(std::string_view a, std::string_view b) { return platform::comparePaths(a, b) < 0; }

// The text of the catalogs read, in large blocks that never move, so the lines can be views
// into it from the moment they are read.
class CatalogText {
public:
    // The file's bytes; raises Error as readLines does when it cannot be read.
    std::string_view read(const std::string& path)
    {
        m_file.clear();
        appendFileBytes(path, m_file);
        if (m_file.size() > m_room) {
            const std::size_t size = std::max(blockSize, m_file.size());
            m_blocks.emplace_back(new char[size]);
            m_next = m_blocks.back().get();
            m_room = size;
        }
        char* const start = m_next;
        std::copy(m_file.begin(), m_file.end(), start);
        m_last = m_file.size();
        m_next += m_last;
        m_room -= m_last;
        return {start, m_last};
    }
    // Gives back the room of the file read last, when none of its lines is kept.
    void forgetLast()
    {
        m_next -= m_last;
        m_room += m_last;
        m_last = 0;
    }

private:
    static constexpr std::size_t blockSize = 8 << 20;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr;
    std::size_t m_room = 0;
    std::size_t m_last = 0;
    std::string m_file; // read into first, so a block is never outgrown
};

// A catalog whose lines take part: kind n, f or d, not a volume of a split still open.
struct Contributor {
    std::string name;
    char kind;
};

// A line of a contributing catalog, and the catalog's place in the walk (0 for the newest).
struct WalkLine {
    std::string_view text;
    std::uint32_t catalog;
};

// Merges the sorted runs of lines that start at runStarts (ascending, the first 0) into one
// sorted sequence, pairwise, so a million lines in ten thousand catalogs cost about
// n log(catalogs) comparisons. Lines of one run keep their order.
void mergeRuns(std::vector<WalkLine>& lines, std::vector<std::size_t> runStarts)
{
    const auto less = [](const WalkLine& a, const WalkLine& b) { return lineLess(a.text, b.text); };
    std::vector<WalkLine> other(lines.size());
    runStarts.push_back(lines.size());
    while (runStarts.size() > 2) {
        std::vector<std::size_t> merged;
        merged.reserve(runStarts.size() / 2 + 2);
        for (std::size_t r = 0; r + 1 < runStarts.size(); r += 2) {
            const auto first = lines.begin() + static_cast<std::ptrdiff_t>(runStarts[r]);
            const auto middle = lines.begin() + static_cast<std::ptrdiff_t>(runStarts[r + 1]);
            const auto out = other.begin() + static_cast<std::ptrdiff_t>(runStarts[r]);
            merged.push_back(runStarts[r]);
            if (r + 2 < runStarts.size())
                std::merge(first, middle, middle, lines.begin() + static_cast<std::ptrdiff_t>(runStarts[r + 2]), out,
                           less);
            else
                std::copy(first, middle, out);
        }
        merged.push_back(lines.size());
        lines.swap(other);
        runStarts = std::move(merged);
    }
}

// The lines of the walk, catalog after catalog (runs starting at runStarts, each sorted),
// made into state.BackupState and state.DeletedPaths. Returns the place in the walk of the
// catalog that gave the last line kept, nullopt when none gave one.
//
// A path's first line in the walk decides: one of kind n or f is its state, one of kind d
// puts it among the deleted paths. In line order the lines of one path stand together, so
// after one merge each path is decided by a look at its neighbours.
std::optional<std::size_t> mergeState(RunState& state, std::vector<WalkLine> lines,
                                      const std::vector<std::size_t>& runStarts,
                                      const std::vector<Contributor>& contributors)
{
    mergeRuns(lines, runStarts);
    std::optional<std::size_t> oldest;
    std::vector<std::string> kept;
    std::vector<std::string> deleted;
    for (std::size_t l = 0; l < lines.size();) {
        const std::string_view path = catalogPathView(lines[l].text);
        // The newest catalog wins; within one, the greatest of its lines, met first.
        std::size_t winner = l;
        while (++l < lines.size() && platform::samePath(catalogPathView(lines[l].text), path))
            if (lines[l].catalog <= lines[winner].catalog)
                winner = l;
        const std::size_t catalog = lines[winner].catalog;
        if (contributors[catalog].kind == 'd') {
            deleted.emplace_back(catalogPathView(lines[winner].text));
        } else {
            kept.emplace_back(lines[winner].text);
            oldest = std::max(oldest.value_or(0), catalog);
        }
    }
    state.BackupState.assign(std::move(kept));
    state.DeletedPaths.assign(std::move(deleted));
    return oldest;
}

} // namespace

void AssembleBackupState(RunState& state, View& view, std::string& NewestDisc, std::string& OldestCSV,
                         bool showProgress)
{
    state.BackupState.clear();
    state.DeletedPaths.clear();
    state.SplitArchiveName.clear();
    state.SplitFileLine.clear();
    state.RotationPoint.clear();
    state.SplitVolumesDone = -1;
    bool save = false;
    bool stop = false;

    if (showProgress)
        showBackupProgress(view, {.phase = "Retrieving Backup Disc list", .phaseBar = 0});

    ListDiscs(state, view);
    SortedList& discs = state.DiscList;
    if (!discs.empty()) {
        std::size_t position = 0;
        if (NewestDisc.empty() || NewestDisc == discs.back()) {
            NewestDisc = discs.back();
            save = true;
        } else if (discs.find(NewestDisc, position)) {
            while (discs.size() > position + 1)
                discs.erase(discs.size() - 1);
        }
    }

    // The walk keeps the lines of the catalogs that take part, as views into their text; the
    // state is then made in one merge of their sorted lines rather than line by line.
    CatalogText text;
    std::vector<WalkLine> walkLines;
    std::vector<Contributor> contributors;
    std::vector<std::size_t> runStarts; // of each contributor's lines in walkLines
    const auto walkLess = [](const WalkLine& a, const WalkLine& b) { return lineLess(a.text, b.text); };

    // A split archive's catalog goes with each of its volumes; the one of its last volume is
    // the archive's own (ArchiveName.csv), filed on the disc of that volume or later than the
    // others. The archives whose last volume was met, on this disc or a newer one: only their
    // volumes' lines count, for a file is on the discs only once all its volumes are.
    std::set<std::string> lastVolumeFiled;
    // The open split is looked for until a catalog other than a deletion record is met: a
    // run that resumes a split files its deletion record first, under a higher name.
    bool seekingSplit = true;
    const std::size_t discCount = discs.size();
    for (std::size_t d = discCount; d-- > 0 && !stop;) {
        const std::string discFolder = platform::joinPath(state.DatabaseFolder, discs[d]);
        ListFiles(platform::joinPath(discFolder, "2*.csv"), state.ScratchNames);
        const SortedList& catalogs = state.ScratchNames;
        for (std::size_t c = 0; c < catalogs.size(); ++c)
            if (catalogs[c].size() <= plainCatalogNameLength)
                lastVolumeFiled.insert(catalogs[c].substr(0, archiveNameLength));
        for (std::size_t c = catalogs.size(); c-- > 0 && !stop;) {
            const std::string& name = catalogs[c];
            if (showProgress)
                showBackupProgress(
                    view,
                    {.phase = "File: " + name, .phaseBar = static_cast<int>((discCount - d - 1) * 1000 / discCount)});
            const char kind =
                name.size() >= archiveNameLength ? char(std::tolower(static_cast<unsigned char>(name[14]))) : '\0';

            const std::string_view bytes = text.read(platform::joinPath(discFolder, name));
            const std::size_t first = walkLines.size();
            const auto catalog = static_cast<std::uint32_t>(contributors.size());
            forEachLine(bytes, [&](std::size_t start, std::size_t length) {
                walkLines.push_back({bytes.substr(start, length), catalog});
            });
            // Catalogs are written sorted; a strictly ordered one is left as it is, which is
            // what the sort would give.
            const auto lines = walkLines.begin() + static_cast<std::ptrdiff_t>(first);
            if (std::adjacent_find(lines, walkLines.end(),
                                   [&](const WalkLine& a, const WalkLine& b) { return !walkLess(a, b); })
                != walkLines.end())
                std::sort(lines, walkLines.end(), walkLess);

            const std::string archive = name.substr(0, archiveNameLength);
            const bool complete = name.size() <= plainCatalogNameLength || lastVolumeFiled.contains(archive);
            state.SplitVolumesDone = std::max(state.SplitVolumesDone, 0);
            if (!complete && (seekingSplit || archive == state.SplitArchiveName)) {
                state.SplitArchiveName = archive;
                state.SplitFileLine = walkLines.size() == first ? std::string() : std::string(walkLines.back().text);
                state.SplitVolumesDone = std::max(state.SplitVolumesDone, volumeNumber(name));
            }
            if (kind != 'd')
                seekingSplit = false;

            if (complete && (kind == 'n' || kind == 'f' || kind == 'd')) {
                // Lines that are no catalog lines (a damaged or foreign file) are passed over. A
                // line whose opening quote is lost could not be looked up by its path, and would
                // stand in the state beside the path's real line.
                walkLines.erase(std::remove_if(lines, walkLines.end(),
                                               [](const WalkLine& line) {
                                                   return catalogPathView(line.text).empty()
                                                       || line.text.front() != '"';
                                               }),
                                walkLines.end());
                if (kind == 'f' && state.RotationPoint.empty() && walkLines.size() > first)
                    state.RotationPoint = catalogPathView(walkLines.back().text);
                if (walkLines.size() > first) {
                    contributors.push_back({name, kind});
                    runStarts.push_back(first);
                }
            } else {
                walkLines.resize(first);
                text.forgetLast();
            }

            if (platform::samePath(name, OldestCSV))
                stop = true;
        }
    }

    const std::optional<std::size_t> oldest = mergeState(state, std::move(walkLines), runStarts, contributors);
    OldestCSV = oldest ? contributors[*oldest].name : std::string();
    if (save) {
        state.BackupState.saveToFile(state.appFile("BackupList.txt"));
        state.DeletedPaths.saveToFile(state.appFile("DeletedState.txt"));
    }
}

} // namespace torvinel
