#include <gtest/gtest.h>

#include "app/Error.h"
#include "catalog/AssembleBackupState.h"
#include "catalog/CatalogLine.h"
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

} // namespace
} // namespace torvinel
