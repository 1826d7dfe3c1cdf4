#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "app/Error.h"
#include "app/TextFile.h"
#include "catalog/AssembleBackupState.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscNames.h"
#include "platform/Platform.h"
#include "CatalogFixture.h"

namespace torvinel {
namespace {

using test::line;

class AssembleTest : public test::CatalogFixture {
protected:
    // The run-wide values as a backup run passes them.
    void assemble(bool showProgress = false)
    {
        state.NewestDisc.clear();
        AssembleBackupState(state, view, state.NewestDisc, state.OldestCSV, showProgress);
    }
    std::vector<std::string> stateLines() const { return state.BackupState.lines(); }
    std::string file(const char* name) { return readFile(root / name); }

    // One disc, one run: an empty deletion record and the lines of /a and /b.
    void firstDisc()
    {
        catalog("20240305001", "2024030500001dd.csv", {});
        catalog("20240305001", "2024030500002rn.csv",
                {line("/a", "20240301100000", 1), line("/b", "20240301100000", 2)});
    }
};

TEST_F(AssembleTest, EmptyDatabase)
{
    state.OldestCSV = "2024030500002rn.csv";
    assemble(true);
    EXPECT_TRUE(state.BackupState.empty());
    EXPECT_TRUE(state.DeletedPaths.empty());
    EXPECT_EQ(state.OldestCSV, "");
    EXPECT_EQ(state.NewestDisc, "");
    EXPECT_EQ(state.SplitVolumesDone, -1);
    EXPECT_FALSE(std::filesystem::exists(root / "BackupList.txt"));
    EXPECT_FALSE(std::filesystem::exists(root / "DeletedState.txt"));
    EXPECT_EQ(view.backupText(Control::PhaseText), "Retrieving Backup Disc list");
}

TEST_F(AssembleTest, OneDiscOneRun)
{
    firstDisc();
    assemble();
    EXPECT_EQ(stateLines(),
              (std::vector<std::string>{line("/a", "20240301100000", 1), line("/b", "20240301100000", 2)}));
    EXPECT_EQ(state.OldestCSV, "2024030500002rn.csv");
    EXPECT_EQ(state.NewestDisc, "20240305001");
    EXPECT_EQ(state.RotationPoint, "");
    EXPECT_EQ(state.SplitVolumesDone, 0);
    EXPECT_EQ(state.SplitArchiveName, "");
    EXPECT_EQ(file("BackupList.txt"),
              line("/a", "20240301100000", 1) + "\r\n" + line("/b", "20240301100000", 2) + "\r\n");
    EXPECT_EQ(file("DeletedState.txt"), "");
}

TEST_F(AssembleTest, NewerLinesWinAndDeletionsHideOlderLines)
{
    firstDisc();
    catalog("20240306001", "2024030600001dd.csv", {line("/b", "20240301100000", 2)});
    catalog("20240306001", "2024030600002rn.csv", {line("/a", "20240306090000", 10)});
    assemble(true);
    EXPECT_EQ(stateLines(), std::vector<std::string>{line("/a", "20240306090000", 10)});
    EXPECT_EQ(state.DeletedPaths.lines(), std::vector<std::string>{"/b"});
    EXPECT_EQ(file("DeletedState.txt"), "/b\r\n");
    // The older catalog gave nothing any more: /a is newer elsewhere, /b deleted.
    EXPECT_EQ(state.OldestCSV, "2024030600002rn.csv");
    EXPECT_EQ(view.backupText(Control::PhaseText), "File: 2024030500001dd.csv");
    EXPECT_EQ(view.backupPosition(Control::PhaseBar), 500); // the older of two discs

    // Backed up again after the deletion: the newer line wins over the older d line.
    catalog("20240307001", "2024030700001rn.csv", {line("/b", "20240307000000", 3)});
    assemble();
    EXPECT_EQ(stateLines(),
              (std::vector<std::string>{line("/a", "20240306090000", 10), line("/b", "20240307000000", 3)}));
    EXPECT_TRUE(state.DeletedPaths.empty());

    // Deleted again: gone, with no line.
    catalog("20240308001", "2024030800001dd.csv", {line("/b", "20240307000000", 3)});
    assemble();
    EXPECT_EQ(stateLines(), std::vector<std::string>{line("/a", "20240306090000", 10)});
    EXPECT_EQ(state.DeletedPaths.lines(), std::vector<std::string>{"/b"});
}

TEST_F(AssembleTest, PathsDifferingInCaseAreTwoFilesHere)
{
    catalog("20240305001", "2024030500001rn.csv", {line("/Docs/x", "20240301100000", 1)});
    catalog("20240306001", "2024030600001rn.csv", {line("/DOCS/x", "20240306100000", 2)});
    assemble();
    if (platform::samePath("/Docs/x", "/DOCS/x"))
        EXPECT_EQ(stateLines(), std::vector<std::string>{line("/DOCS/x", "20240306100000", 2)});
    else
        EXPECT_EQ(
            stateLines(),
            (std::vector<std::string>{line("/DOCS/x", "20240306100000", 2), line("/Docs/x", "20240301100000", 1)}));
}

TEST_F(AssembleTest, SplitArchiveLeftOpenOnTheNewestDisc)
{
    firstDisc();
    const std::string big = line("/big", "20240301100000", 20000000);
    catalog("20240305001", "2024030500009rf_001.csv", {big});
    catalog("20240305002", "2024030500009rf_002.csv", {big});
    assemble();
    EXPECT_EQ(state.SplitArchiveName, "2024030500009rf");
    EXPECT_EQ(state.SplitVolumesDone, 2);
    EXPECT_EQ(state.SplitFileLine, big);
    EXPECT_FALSE(StateHasPath(state.BackupState, "/big").found);
    EXPECT_EQ(state.RotationPoint, "");

    // Finished on a third disc: the archive's own catalog closes it and its line counts.
    catalog("20240305003", "2024030500009rf.csv", {big});
    catalog("20240305003", "2024030500010rf.csv", {line("/c", "20240301100000", 1), line("/d", "20240301100000", 1)});
    assemble();
    EXPECT_EQ(state.SplitVolumesDone, 0);
    EXPECT_EQ(state.SplitArchiveName, "");
    EXPECT_TRUE(StateHasPath(state.BackupState, "/big").found);
    EXPECT_EQ(state.RotationPoint, "/d"); // the greatest path of the newest f catalog
}

// A run that resumes a split files its deletion record under a higher name than the split's;
// cancelled on its way, it leaves the split open behind that record.
TEST_F(AssembleTest, ASplitCountsOnlyOnceItsLastVolumeIsFiledAndStaysOpenBehindDeletionRecords)
{
    firstDisc();
    const std::string big = line("/big", "20240301100000", 30000000);
    catalog("20240306001", "2024030600001dd.csv", {});
    catalog("20240306001", "2024030600002rf_001.csv", {big});
    catalog("20240307001", "2024030600002rf_002.csv", {big});
    catalog("20240307001", "2024030700001dd.csv", {});
    catalog("20240308001", "2024030800001dd.csv", {}); // a resume that got no volume onto its disc
    assemble();
    EXPECT_EQ(state.SplitArchiveName, "2024030600002rf");
    EXPECT_EQ(state.SplitVolumesDone, 2);
    EXPECT_EQ(state.SplitFileLine, big);
    EXPECT_FALSE(StateHasPath(state.BackupState, "/big").found);
    EXPECT_EQ(state.OldestCSV, "2024030500002rn.csv");

    // Its last volume, on the next disc: now the file counts, from the newest disc on.
    catalog("20240309001", "2024030600002rf.csv", {big});
    catalog("20240309001", "2024030900001dd.csv", {});
    assemble();
    EXPECT_EQ(state.SplitVolumesDone, 0);
    EXPECT_EQ(state.SplitArchiveName, "");
    EXPECT_TRUE(state.BackupState.contains(big));
    EXPECT_EQ(state.OldestCSV, "2024030500002rn.csv");

    // As of an older set the last volume is not on the discs yet.
    std::string chosen = "20240308001", oldest;
    AssembleBackupState(state, view, chosen, oldest, false);
    EXPECT_FALSE(StateHasPath(state.BackupState, "/big").found);
    EXPECT_EQ(state.SplitVolumesDone, 2);
}

// A split given up for good (its file changed and went whole, or left the selection) never
// gets its last volume: its line must not hide the older, complete one.
TEST_F(AssembleTest, AnAbandonedSplitsLineNeverCounts)
{
    catalog("20240305001", "2024030500001rn.csv", {line("/a", "20240301100000", 1)});
    catalog("20240306001", "2024030600001rn_001.csv", {line("/a", "20240306100000", 20000000)});
    catalog("20240307001", "2024030700001dd.csv", {});
    catalog("20240307001", "2024030700002rn.csv", {line("/c", "20240301100000", 1)});
    assemble();
    EXPECT_EQ(state.SplitVolumesDone, 0);
    EXPECT_EQ(state.SplitArchiveName, "");
    EXPECT_EQ(stateLines(), (std::vector<std::string>{line("/a", "20240301100000", 1), line("/c", "20240301100000", 1)}));
}

TEST_F(AssembleTest, RestoreChooserAssemblyWritesNothingAndKeepsStoredValues)
{
    catalog("20240305001", "2024030500001rn.csv", {line("/a", "20240301100000", 1)});
    catalog("20240306001", "2024030600001rn.csv", {line("/a", "20240306100000", 2)});
    catalog("20240307001", "2024030700001rn.csv", {line("/b", "20240307100000", 3)});
    assemble();
    const std::string storedList = file("BackupList.txt");
    const std::string storedNewest = state.NewestDisc, storedOldest = state.OldestCSV;
    EXPECT_EQ(storedNewest, "20240307001");
    EXPECT_EQ(storedOldest, "2024030600001rn.csv");

    std::string chosen = "20240305001", oldest;
    AssembleBackupState(state, view, chosen, oldest, true);
    EXPECT_EQ(stateLines(), std::vector<std::string>{line("/a", "20240301100000", 1)});
    EXPECT_EQ(chosen, "20240305001");
    EXPECT_EQ(oldest, "2024030500001rn.csv");
    EXPECT_EQ(state.NewestDisc, storedNewest);
    EXPECT_EQ(state.OldestCSV, storedOldest);
    EXPECT_EQ(file("BackupList.txt"), storedList);

    // A disc that is not in the database gives the state of all discs, not saved.
    std::filesystem::remove(root / "BackupList.txt");
    chosen = "20991231001";
    oldest.clear();
    AssembleBackupState(state, view, chosen, oldest, false);
    EXPECT_EQ(state.BackupState.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(root / "BackupList.txt"));
}

TEST_F(AssembleTest, OldestCsvBoundsTheWalkAndRotationPointFollowsNewCatalogs)
{
    catalog("20240305001", "2024030500001rn.csv", {line("/old", "20240301100000", 1)});
    catalog("20240305001", "2024030500002rf.csv", {line("/a", "20240301100000", 1), line("/b", "20240301100000", 1)});
    catalog("20240306001", "2024030600001rn.csv", {line("/new", "20240306100000", 1)});
    state.OldestCSV = "2024030500002rf.csv";
    assemble();
    EXPECT_FALSE(StateHasPath(state.BackupState, "/old").found); // older than the bound: not read
    EXPECT_EQ(state.RotationPoint, "/b");
    EXPECT_EQ(state.OldestCSV, "2024030500002rf.csv");

    // A later run wrote a new f catalog: the next assembly takes the rotation point from it.
    catalog("20240307001", "2024030700001rf.csv", {line("/a", "20240301100000", 1)});
    assemble();
    EXPECT_EQ(state.RotationPoint, "/a");

    // A bound that names no catalog never stops the walk.
    state.OldestCSV = "2023010100001rn.csv";
    assemble();
    EXPECT_TRUE(StateHasPath(state.BackupState, "/old").found);
}

TEST_F(AssembleTest, DamagedCatalogs)
{
    // Lines that are no catalog lines are passed over; the rest of the catalog counts. A line
    // whose opening quote is damaged is one of them, however well the rest of it reads.
    std::string lostQuote = line("/b");
    lostQuote.front() = 'X';
    std::string zeroedQuote = line("/b", "20240301100000", 2);
    zeroedQuote.front() = '\0';
    catalog("20240305001", "2024030500001rn.csv",
            {"", "garbage", line("/a"), "\"unterminated", lostQuote, zeroedQuote});
    assemble();
    EXPECT_EQ(stateLines(), std::vector<std::string>{line("/a")});

    catalog("20240306001", "2024030600001rf_x1.csv", {line("/v")});
    EXPECT_THROW(assemble(), Error);

    std::filesystem::remove(root / "Database" / "20240306001" / "2024030600001rf_x1.csv");
    std::filesystem::create_symlink(root / "nowhere", root / "Database" / "20240306001" / "2024030600002rn.csv");
    EXPECT_THROW(assemble(), Error); // a catalog that cannot be read is a failure, not an empty catalog
}

// What an assembly gives, for comparing two of them.
struct Assembled {
    std::vector<std::string> lines, deleted;
    std::string newestDisc, oldestCsv, rotationPoint, splitArchiveName, splitFileLine;
    int splitVolumesDone = 0;
};

// The assembly done the plain way, each line looked up and added to the sorted lists one at
// a time in walk order: the reference the fast assembly must match in every result.
Assembled assembleLineByLine(const std::string& databaseFolder, std::string newestDisc, const std::string& oldestCsv)
{
    RunState state;
    state.DatabaseFolder = databaseFolder;
    test::CatalogView view;
    ListDiscs(state, view);
    SortedList& discs = state.DiscList;
    std::size_t position = 0;
    if (!discs.empty() && (newestDisc.empty() || newestDisc == discs.back()))
        newestDisc = discs.back();
    else if (!discs.empty() && discs.find(newestDisc, position))
        while (discs.size() > position + 1)
            discs.erase(discs.size() - 1);

    Assembled result;
    result.newestDisc = newestDisc;
    result.splitVolumesDone = -1;
    SortedList kept, deleted;
    std::set<std::string> lastVolumeFiled;
    bool seekingSplit = true, stop = false;
    for (std::size_t d = discs.size(); d-- > 0 && !stop;) {
        const std::string folder = platform::joinPath(databaseFolder, discs[d]);
        SortedList catalogs;
        ListFiles(platform::joinPath(folder, "2*.csv"), catalogs);
        for (std::size_t c = 0; c < catalogs.size(); ++c)
            if (catalogs[c].size() <= archiveNameLength + 4)
                lastVolumeFiled.insert(catalogs[c].substr(0, archiveNameLength));
        for (std::size_t c = catalogs.size(); c-- > 0 && !stop;) {
            const std::string name = catalogs[c];
            const char kind = char(std::tolower(static_cast<unsigned char>(name[14])));
            std::vector<std::string> lines = readLines(platform::joinPath(folder, name));
            std::sort(lines.begin(), lines.end(),
                      [](const std::string& a, const std::string& b) { return platform::comparePaths(a, b) < 0; });
            const std::string archive = name.substr(0, archiveNameLength);
            const bool complete = name.size() <= archiveNameLength + 4 || lastVolumeFiled.contains(archive);
            result.splitVolumesDone = std::max(result.splitVolumesDone, 0);
            if (!complete && (seekingSplit || archive == result.splitArchiveName)) {
                result.splitArchiveName = archive;
                result.splitFileLine = lines.empty() ? std::string() : lines.back();
                result.splitVolumesDone =
                    std::max(result.splitVolumesDone,
                             decimalField(name.substr(archiveNameLength + 1, name.size() - archiveNameLength - 5)));
            }
            seekingSplit = seekingSplit && kind == 'd';
            for (std::size_t l = lines.size(); complete && l-- > 0;) {
                const std::string_view path = catalogPathView(lines[l]);
                if (path.empty() || lines[l].front() != '"')
                    continue;
                if (kind == 'n' || kind == 'f') {
                    if (kind == 'f' && result.rotationPoint.empty())
                        result.rotationPoint = path;
                    if (!deleted.contains(path) && !StateHasPath(kept, path).found) {
                        kept.add(lines[l]);
                        result.oldestCsv = name;
                    }
                } else if (kind == 'd' && !StateHasPath(kept, path).found) {
                    deleted.add(std::string(path));
                }
            }
            stop = platform::samePath(name, oldestCsv);
        }
    }
    result.lines = kept.lines();
    result.deleted = deleted.lines();
    return result;
}

// Random small databases full of what makes the merge hard: a path in many catalogs and on
// many discs, twice in one catalog, paths that differ only in letter case or whose lines sort
// apart from their paths ("/a b" before "/a"), long shared beginnings, a quote inside a path, deletion records, kinds
// the walk passes over, split volumes with and without their last volume, catalogs out of
// order, damaged lines, and walks cut by OldestCSV or by an older NewestDisc.
TEST_F(AssembleTest, MatchesTheLineByLineAssemblyOnRandomDatabases)
{
    const std::vector<std::string> pool = {"/a", "/a b", "/a/b", "/A",  "/Docs/x", "/DOCS/x", "/docs/X", "/q\"x",
                                           "/q", "/z",   "/p1",  "/p2", "/p3",     "/p1/sub", "/p2 new", "/é",
                                           // long shared beginnings, differing within and after a word
                                           "/home/user/Documents/report.txt", "/home/user/Documents/report 2.txt",
                                           "/home/user/Documents/Report.txt", "/home/user/Documents/reports/a",
                                           "/home/user/Documents/report.txt.bak"};
    const std::vector<std::string> damaged = {"", "garbage", "\"unterminated", "\"\",20240301100000,1,"};
    const char* discIds[] = {"20240305001", "20240306001", "20240306002", "20240307001"};
    for (unsigned seed = 0; seed < 60; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        const auto chance = [&](unsigned outOf) { return random() % outOf == 0; };
        std::filesystem::remove_all(root / "Database");
        std::filesystem::create_directories(root / "Database");
        std::vector<std::string> names;
        int sequence = 0;
        const auto randomLines = [&] {
            std::vector<std::string> lines;
            for (unsigned n = random() % 7; n-- > 0;) {
                const std::string& path = pool[random() % pool.size()];
                lines.push_back(line(path, "2024030" + std::to_string(1 + random() % 4) + "100000",
                                     static_cast<long>(random() % 3)));
                if (chance(4))
                    lines.back() += "0123456789abcdef0123456789abcdef";
            }
            if (chance(5))
                lines.push_back(damaged[random() % damaged.size()]);
            // Lines whose path does not open with a quote: the lookups by path miss them.
            if (seed % 4 == 3 && chance(3))
                lines.push_back("X" + pool[random() % pool.size()] + "\",20240301100000,7,");
            if (chance(5))
                std::shuffle(lines.begin(), lines.end(), random);
            else
                std::sort(lines.begin(), lines.end(),
                          [](const std::string& a, const std::string& b) { return platform::comparePaths(a, b) < 0; });
            return lines;
        };
        const unsigned discCount = 2 + random() % 3;
        for (unsigned d = 0; d < discCount; ++d) {
            const std::string day = std::string(discIds[d]).substr(0, 8);
            for (unsigned c = 1 + random() % 4; c-- > 0;) {
                const char kind = "nnnfdx"[random() % 6];
                char name[32];
                std::snprintf(name, sizeof name, "%s%05d%c%c", day.c_str(), ++sequence, kind == 'd' ? 'd' : 'r', kind);
                if (kind != 'd' && kind != 'x' && d + 1 < discCount && chance(3)) {
                    // A split: a volume on this disc and the next, its last volume maybe later.
                    const std::vector<std::string> big = {line(pool[random() % pool.size()], "20240302100000", 9)};
                    catalog(discIds[d], std::string(name) + "_001.csv", big);
                    catalog(discIds[d + 1], std::string(name) + "_002.csv", big);
                    if (!chance(3))
                        catalog(discIds[d + 1 + random() % (discCount - d - 1)], std::string(name) + ".csv", big);
                    names.push_back(std::string(name) + "_002.csv");
                } else {
                    catalog(discIds[d], std::string(name) + ".csv", randomLines());
                    names.push_back(std::string(name) + ".csv");
                }
            }
        }
        const std::string oldest = chance(3) ? names[random() % names.size()] : std::string();
        const std::string newest = chance(4) ? std::string(discIds[random() % discCount]) : std::string();
        const Assembled expected = assembleLineByLine(state.DatabaseFolder, newest, oldest);

        std::filesystem::remove(root / "BackupList.txt");
        std::filesystem::remove(root / "DeletedState.txt");
        std::string chosen = newest, bound = oldest;
        AssembleBackupState(state, view, chosen, bound, seed % 2 == 0);
        EXPECT_EQ(state.BackupState.lines(), expected.lines);
        EXPECT_EQ(state.DeletedPaths.lines(), expected.deleted);
        EXPECT_EQ(chosen, expected.newestDisc);
        EXPECT_EQ(bound, expected.oldestCsv);
        EXPECT_EQ(state.RotationPoint, expected.rotationPoint);
        EXPECT_EQ(state.SplitArchiveName, expected.splitArchiveName);
        EXPECT_EQ(state.SplitFileLine, expected.splitFileLine);
        EXPECT_EQ(state.SplitVolumesDone, expected.splitVolumesDone);
        if (chosen == std::string(discIds[discCount - 1])) {
            std::string list, gone;
            for (const auto& kept : expected.lines)
                list += kept + "\r\n";
            for (const auto& path : expected.deleted)
                gone += path + "\r\n";
            EXPECT_EQ(file("BackupList.txt"), list);
            EXPECT_EQ(file("DeletedState.txt"), gone);
        }
    }
}

} // namespace
// A database large enough for the merge to share its levels between two threads, the last
// level cut in two: the result must be the one the plain assembly gives. Lines of one folder
// share long beginnings; every path stands in about twelve catalogs, so the cut falls among
// the lines of one path; some are deleted later.
TEST_F(AssembleTest, LargeDatabasesMergeOnTwoThreadsAsOnOne)
{
    std::mt19937 random(11);
    const char* discIds[] = {"20240305001", "20240306001", "20240307001"};
    int sequence = 0;
    for (const char* disc : discIds) {
        const std::string day = std::string(disc).substr(0, 8);
        for (int c = 0; c < 120; ++c) {
            const char kind = c % 40 == 0 ? 'd' : (c % 10 == 0 ? 'f' : 'n');
            char name[32];
            std::snprintf(name, sizeof name, "%s%05d%c%c.csv", day.c_str(), ++sequence, kind == 'd' ? 'd' : 'r', kind);
            std::vector<std::string> lines;
            for (int l = 0; l < 100; ++l) {
                const unsigned id = random() % 3000;
                lines.push_back(line("/home/user/Documents/folder" + std::to_string(id % 30) + "/file"
                                         + std::to_string(id) + (id % 7 == 0 ? " copy" : "") + ".dat",
                                     day + "100000", static_cast<long>(random() % 3)));
            }
            std::sort(lines.begin(), lines.end(),
                      [](const std::string& a, const std::string& b) { return platform::comparePaths(a, b) < 0; });
            catalog(disc, name, lines);
        }
    }
    const Assembled expected = assembleLineByLine(state.DatabaseFolder, "", "");
    ASSERT_GT(expected.lines.size(), 1000u);
    assemble();
    EXPECT_EQ(state.BackupState.lines(), expected.lines);
    EXPECT_EQ(state.DeletedPaths.lines(), expected.deleted);
    EXPECT_EQ(state.OldestCSV, expected.oldestCsv);
}

} // namespace torvinel
