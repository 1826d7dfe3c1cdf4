#include "catalog/AssembleBackupState.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
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
    const char* data;
    std::uint32_t size;
    std::uint32_t catalog;
    std::uint32_t pathEnd = 0; // where the path's closing quote stands
    std::uint32_t agree = 0;   // how many first bytes it shares with the line before it in its run

    std::string_view text() const { return {data, size}; }
};

bool walkLess(const WalkLine& a, const WalkLine& b) { return lineLess(a.text(), b.text()); }

// Sets each line's agree for a run that is in order.
void measureAgreement(WalkLine* line, WalkLine* end)
{
    if (line == end)
        return;
    line->agree = 0;
    for (WalkLine* previous = line++; line != end; previous = line++)
        line->agree = static_cast<std::uint32_t>(platform::pathMismatch(previous->text(), line->text(), 0));
}

// Merges the ordered runs a and b into out, equal lines of a first. Each line carries how far
// it agrees with the line before it, so a comparison starts where the two lines can first
// differ: lines of one folder share long beginnings, which would otherwise be compared again
// at every level of the merge. (The line of a and the line of b both follow the line put out
// last; the one that agrees with it further is the smaller, with no look at either.)
void mergeTwo(const WalkLine* a, const WalkLine* aEnd, const WalkLine* b, const WalkLine* bEnd, WalkLine* out)
{
    std::size_t aAgrees = 0; // with the line put out last
    std::size_t bAgrees = 0;
    while (a != aEnd && b != bEnd) {
        bool takeA = aAgrees > bAgrees;
        if (aAgrees == bAgrees) {
            const std::size_t differ = platform::pathMismatch(a->text(), b->text(), aAgrees);
            // Equal, a beginning of b, or smaller where they first differ.
            takeA = differ == a->size
                || (differ < b->size
                    && platform::comparePaths(a->text().substr(differ, 1), b->text().substr(differ, 1)) < 0);
            (takeA ? bAgrees : aAgrees) = differ;
        }
        if (takeA) {
            *out = *a;
            out++->agree = static_cast<std::uint32_t>(aAgrees);
            if (++a != aEnd)
                aAgrees = a->agree;
        } else {
            *out = *b;
            out++->agree = static_cast<std::uint32_t>(bAgrees);
            if (++b != bEnd)
                bAgrees = b->agree;
        }
    }
    const std::size_t restAgrees = a != aEnd ? aAgrees : bAgrees;
    WalkLine* const rest = out;
    out = std::copy(a, aEnd, out);
    out = std::copy(b, bEnd, out);
    if (rest != out)
        rest->agree = static_cast<std::uint32_t>(restAgrees);
}

// One merge of two ordered runs into out.
struct Merge {
    const WalkLine* a;
    const WalkLine* aEnd;
    const WalkLine* b;
    const WalkLine* bEnd;
    WalkLine* out;

    std::size_t size() const { return static_cast<std::size_t>((aEnd - a) + (bEnd - b)); }
    void run() const { mergeTwo(a, aEnd, b, bEnd, out); }
};

// The merge cut in two that give the same lines: the first puts out the first half of them.
// Equal lines of a stay before those of b, as one merge would put them.
std::pair<Merge, Merge> halves(const Merge& m)
{
    const std::size_t aSize = static_cast<std::size_t>(m.aEnd - m.a);
    const std::size_t bSize = static_cast<std::size_t>(m.bEnd - m.b);
    const std::size_t wanted = m.size() / 2;
    // i lines of a and wanted - i of b come first.
    std::size_t low = wanted > bSize ? wanted - bSize : 0;
    std::size_t high = std::min(wanted, aSize);
    std::size_t i = low;
    while (low <= high) {
        i = low + (high - low) / 2;
        const std::size_t j = wanted - i;
        if (i > 0 && j < bSize && walkLess(m.b[j], m.a[i - 1]))
            high = i - 1; // a line of a that is greater than one of b left behind
        else if (j > 0 && i < aSize && !walkLess(m.b[j - 1], m.a[i]))
            low = i + 1; // a line of b that comes after one of a left behind
        else
            break;
    }
    const std::size_t j = wanted - i;
    return {Merge{m.a, m.a + i, m.b, m.b + j, m.out}, Merge{m.a + i, m.aEnd, m.b + j, m.bEnd, m.out + wanted}};
}

// Runs the merges of one level, on two threads when the machine has two cores and the level
// is large enough to pay for a thread.
void runLevel(std::vector<Merge> merges)
{
    std::size_t total = 0;
    for (const Merge& m : merges)
        total += m.size();
    if (std::thread::hardware_concurrency() < 2 || total < 20000) {
        for (const Merge& m : merges)
            m.run();
        return;
    }
    // The last level is one merge: it is cut in two, and the line where the second half
    // starts learns afterwards how far it agrees with the line before it.
    WalkLine* joint = nullptr;
    if (merges.size() == 1) {
        const auto [first, second] = halves(merges.front());
        merges = {first, second};
        joint = second.out;
    }
    std::size_t split = 0;
    for (std::size_t done = 0; split < merges.size() && done < total / 2; ++split)
        done += merges[split].size();
    const auto runRange = [&merges](std::size_t from, std::size_t to) {
        for (std::size_t m = from; m < to; ++m)
            merges[m].run();
    };
    try {
        std::jthread helper(runRange, 0, split);
        runRange(split, merges.size());
    } catch (const std::system_error&) {
        // No thread to be had: the level runs here, all of it.
        runRange(0, merges.size());
    }
    if (joint && joint != merges.front().out)
        joint->agree = static_cast<std::uint32_t>(platform::pathMismatch(joint[-1].text(), joint->text(), 0));
}

// Merges the sorted runs of lines that start at runStarts (ascending, the first 0) into one
// sorted sequence, pairwise, so a million lines in ten thousand catalogs cost about
// n log(catalogs) comparisons. Lines of one run keep their order; every line's agree ends up
// measured against the line before it in the whole sequence.
void mergeRuns(std::vector<WalkLine>& lines, std::vector<std::size_t> runStarts)
{
    std::vector<WalkLine> other(lines.size());
    runStarts.push_back(lines.size());
    while (runStarts.size() > 2) {
        std::vector<std::size_t> merged;
        merged.reserve(runStarts.size() / 2 + 2);
        std::vector<Merge> level;
        level.reserve(runStarts.size() / 2 + 1);
        for (std::size_t r = 0; r + 1 < runStarts.size(); r += 2) {
            const WalkLine* first = lines.data() + runStarts[r];
            const WalkLine* middle = lines.data() + runStarts[r + 1];
            const WalkLine* end = r + 2 < runStarts.size() ? lines.data() + runStarts[r + 2] : middle;
            // A run left without a partner is merged with nothing: copied as it is.
            level.push_back(Merge{first, middle, middle, end, other.data() + runStarts[r]});
            merged.push_back(runStarts[r]);
        }
        runLevel(std::move(level));
        merged.push_back(lines.size());
        lines.swap(other);
        runStarts = std::move(merged);
    }
}

// The lines of the walk, catalog after catalog (runs starting at runStarts, each sorted,
// with agree measured), made into state.BackupState and state.DeletedPaths. Returns the
// place in the walk of the catalog that gave the last line kept, nullopt when none gave one.
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
        // A line that agrees with the one before beyond the quote and comma closing that
        // one's path has the same path.
        const std::size_t samePath = lines[l].pathEnd + 2;
        // The newest catalog wins; within one, the greatest of its lines, met first.
        std::size_t winner = l;
        while (++l < lines.size() && lines[l].agree >= samePath)
            if (lines[l].catalog <= lines[winner].catalog)
                winner = l;
        const WalkLine& line = lines[winner];
        const std::size_t catalog = line.catalog;
        if (contributors[catalog].kind == 'd') {
            deleted.emplace_back(line.text().substr(1, line.pathEnd - 1));
        } else {
            kept.emplace_back(line.text());
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
                walkLines.push_back({bytes.data() + start, static_cast<std::uint32_t>(length), catalog});
            });
            // Catalogs are written sorted; a strictly ordered one is left as it is, which is
            // what the sort would give.
            const auto lines = walkLines.begin() + static_cast<std::ptrdiff_t>(first);
            if (std::adjacent_find(lines, walkLines.end(),
                                   [](const WalkLine& a, const WalkLine& b) { return !walkLess(a, b); })
                != walkLines.end())
                std::sort(lines, walkLines.end(), walkLess);

            const std::string archive = name.substr(0, archiveNameLength);
            const bool complete = name.size() <= plainCatalogNameLength || lastVolumeFiled.contains(archive);
            state.SplitVolumesDone = std::max(state.SplitVolumesDone, 0);
            if (!complete && (seekingSplit || archive == state.SplitArchiveName)) {
                state.SplitArchiveName = archive;
                state.SplitFileLine = walkLines.size() == first ? std::string() : std::string(walkLines.back().text());
                state.SplitVolumesDone = std::max(state.SplitVolumesDone, volumeNumber(name));
            }
            if (kind != 'd')
                seekingSplit = false;

            if (complete && (kind == 'n' || kind == 'f' || kind == 'd')) {
                // Lines that are no catalog lines (a damaged or foreign file) are passed over. A
                // line whose opening quote is lost could not be looked up by its path, and would
                // stand in the state beside the path's real line.
                for (auto line = lines; line != walkLines.end(); ++line)
                    line->pathEnd = static_cast<std::uint32_t>(catalogPathView(line->text()).size() + 1);
                walkLines.erase(std::remove_if(lines, walkLines.end(),
                                               [](const WalkLine& line) {
                                                   return line.pathEnd == 1 || line.data[0] != '"';
                                               }),
                                walkLines.end());
                if (kind == 'f' && state.RotationPoint.empty() && walkLines.size() > first)
                    state.RotationPoint = catalogPathView(walkLines.back().text());
                measureAgreement(walkLines.data() + first, walkLines.data() + walkLines.size());
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
