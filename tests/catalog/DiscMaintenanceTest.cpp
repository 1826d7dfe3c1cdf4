#include <gtest/gtest.h>

#include "app/Error.h"
#include "catalog/AssembleBackupState.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscMaintenance.h"
#include "catalog/DiscNames.h"
#include "CatalogFixture.h"

namespace torvinel {
namespace {

using test::line;

class DiscMaintenanceTest : public test::CatalogFixture {
protected:
    int refreshes = 0;
    RestoreRefresh refresh = [this] { ++refreshes; };

    void assemble()
    {
        state.NewestDisc.clear();
        AssembleBackupState(state, view, state.NewestDisc, state.OldestCSV, false);
    }
    bool inDatabase(const std::string& disc) { return std::filesystem::exists(root / "Database" / disc); }
};

TEST_F(DiscMaintenanceTest, RemovingTheOnlyDiscShownTwice)
{
    catalog("20240305001", "2024030500001rn.csv", {line("/a")});
    writeFile(root / "Database" / "20240305001" / "status.ini", "[MD5]\r\n");
    assemble();
    ASSERT_EQ(view.items(Control::DiscList),
              (std::vector<std::string>{"20240305001 (Oldest)", "20240305001 (Newest)"}));
    ASSERT_TRUE(std::filesystem::exists(root / "BackupList.txt"));

    view.setSelectedIndex(Control::DiscList, 1);
    EXPECT_TRUE(removeDisc(state, view, refresh));
    EXPECT_FALSE(inDatabase("20240305001"));
    EXPECT_FALSE(std::filesystem::exists(root / "BackupList.txt")); // none written for an empty database
    EXPECT_TRUE(state.BackupState.empty());
    EXPECT_TRUE(view.items(Control::DiscList).empty());
    EXPECT_EQ(view.selectedIndex(Control::DiscList), -1);
    EXPECT_EQ(state.NewestDisc, "");
    EXPECT_EQ(refreshes, 1);
}

TEST_F(DiscMaintenanceTest, RemovingTheNewestDiscKeepsItsNumberUsed)
{
    catalog("20240305001", "2024030500001rn.csv", {line("/a", "20240301100000", 1)});
    catalog("20240305002", "2024030500002rn.csv", {line("/a", "20240305100000", 2)});
    state.OldestCSV = "2024030500002rn.csv"; // a stored bound that would hide the older disc
    assemble();
    view.setSelectedIndex(Control::DiscList, 1);
    removeDisc(state, view, refresh);
    EXPECT_FALSE(inDatabase("20240305002"));
    EXPECT_EQ(state.BackupState.lines(), std::vector<std::string>{line("/a", "20240301100000", 1)});
    EXPECT_EQ(state.NewestDisc, "20240305001");
    EXPECT_EQ(state.OldestCSV, "2024030500001rn.csv");
    EXPECT_EQ(readFile(root / "BackupList.txt"), line("/a", "20240301100000", 1) + "\r\n");
    // The removed disc still exists: its number is not handed out again.
    EXPECT_EQ(NextDiscId(state, view, [] { return test::localNoon(2024, 3, 5); }), "20240305003");
}

TEST_F(DiscMaintenanceTest, RemoveActsOnlyOnADiscTheListOffers)
{
    for (const char* disc : {"20240301001", "20240302001", "20240303001"})
        catalog(disc, std::string(disc).substr(0, 8) + "00001rn.csv", {line("/a")});
    assemble();
    // Nothing chosen, and entries edited to name a middle disc or something else.
    view.setSelectedIndex(Control::DiscList, -1);
    EXPECT_FALSE(removeDisc(state, view, refresh));
    view.setItems(Control::DiscList, {"20240302001 (Oldest)", "20240303001 (Newest)"}, 0);
    EXPECT_FALSE(removeDisc(state, view, refresh));
    view.setItems(Control::DiscList, {"../../etc (Oldest)"}, 0);
    EXPECT_FALSE(removeDisc(state, view, refresh));
    for (const char* disc : {"20240301001", "20240302001", "20240303001"})
        EXPECT_TRUE(inDatabase(disc)) << disc;
    EXPECT_EQ(refreshes, 0);

    view.setItems(Control::DiscList, {"20240301001 (Oldest)", "20240303001 (Newest)"}, 0);
    EXPECT_TRUE(removeDisc(state, view, refresh));
    EXPECT_FALSE(inDatabase("20240301001"));
    EXPECT_EQ(view.items(Control::DiscList),
              (std::vector<std::string>{"20240302001 (Oldest)", "20240303001 (Newest)"}));
}

class AddDiskTest : public DiscMaintenanceTest {
protected:
    std::filesystem::path drive;
    void SetUp() override
    {
        DiscMaintenanceTest::SetUp();
        drive = root / "drive";
        std::filesystem::create_directories(drive);
    }
    AddDiskResult add()
    {
        FolderDiscSource source(drive.string());
        return addDisc(state, view, source, refresh);
    }
    // A disc as the writer leaves it: one folder with archives, catalogs and status.ini.
    void burnt(const std::string& disc, const std::string& catalogName, const std::string& path)
    {
        writeFile(drive / disc / catalogName, line(path) + "\r\n");
        writeFile(drive / disc / (catalogName.substr(0, 15) + ".zip"), "PK");
        writeFile(drive / disc / "STATUS.INI", "[MD5]\r\n");
    }
};

TEST_F(AddDiskTest, AddsTheCatalogsAndReassembles)
{
    catalog("20240305001", "2024030500001rn.csv", {line("/a", "20240301100000", 1)});
    state.OldestCSV = "2024030500001rn.csv";
    assemble();
    burnt("20240301001", "2024030100001rn.csv", "/older");

    EXPECT_EQ(add(), AddDiskResult::Added);
    EXPECT_EQ(view.messages(), std::vector<std::string>{"showInformation The disk was successfully added."});
    EXPECT_EQ(logLines(), (std::vector<std::string>{"Adding disk : 20240301001", "success"}));
    const auto added = root / "Database" / "20240301001";
    EXPECT_EQ(readFile(added / "2024030100001rn.csv"), line("/older") + "\r\n");
    EXPECT_TRUE(std::filesystem::exists(added / "status.ini"));
    EXPECT_FALSE(std::filesystem::exists(added / "2024030100001rn.zip")); // catalogs only
    // Older than the newest disc, it takes its place by its DiscId; every catalog is read again.
    EXPECT_EQ(state.DiscList.lines(), (std::vector<std::string>{"20240301001", "20240305001"}));
    EXPECT_TRUE(StateHasPath(state.BackupState, "/older").found);
    EXPECT_EQ(state.OldestCSV, "2024030100001rn.csv");
    EXPECT_EQ(state.NewestDisc, "20240305001");
    EXPECT_EQ(refreshes, 1);

    // The same disc again: nothing copied, the state still reassembled.
    std::filesystem::remove(added / "2024030100001rn.csv");
    view.clearCalls();
    EXPECT_EQ(add(), AddDiskResult::AlreadyAdded);
    EXPECT_EQ(view.messages(), std::vector<std::string>{"showInformation This disk is already added."});
    EXPECT_FALSE(std::filesystem::exists(added / "2024030100001rn.csv"));
    EXPECT_FALSE(StateHasPath(state.BackupState, "/older").found);
    EXPECT_EQ(refreshes, 2);
}

// Filed, such a folder would be taken for the newest disc, such a catalog would stop every
// later backup from naming its archives: both are refused, the database left as it was.
TEST_F(AddDiskTest, RefusesWhatIsNoDiscOfTorvinel)
{
    struct Case {
        const char* folder;
        const char* catalog;
        const char* message;
    };
    for (const Case& c : {
             Case{"2nd-photos", "2024030500001rn.csv",
                  "2nd-photos is not a disc of Torvinel: its folder name is not a disc number."},
             Case{"20241301001", "2024130100001rn.csv",
                  "20241301001 is not a disc of Torvinel: its folder name is not a disc number."},
             Case{"2024030500", "2024030500001rn.csv",
                  "2024030500 is not a disc of Torvinel: its folder name is not a disc number."},
             Case{"20261210001", "20261210abcdern.csv",
                  "20261210001 is not a disc of Torvinel: its file 20261210abcdern.csv is not named as a catalog."},
             Case{"20261210001", "2026121000001rx.csv",
                  "20261210001 is not a disc of Torvinel: its file 2026121000001rx.csv is not named as a catalog."},
             Case{"20261210001", "2026121000001rn_1.csv",
                  "20261210001 is not a disc of Torvinel: its file 2026121000001rn_1.csv is not named as a catalog."},
         }) {
        std::filesystem::remove_all(drive);
        writeFile(drive / c.folder / "2026121000001rn.csv", line("/good") + "\r\n");
        writeFile(drive / c.folder / c.catalog, line("/bad") + "\r\n");
        view.clearCalls();
        EXPECT_EQ(add(), AddDiskResult::NotADisc) << c.catalog;
        EXPECT_EQ(view.messages(), std::vector<std::string>{std::string("showError ") + c.message});
        EXPECT_TRUE(std::filesystem::is_empty(root / "Database")) << c.folder;
        EXPECT_FALSE(StateHasPath(state.BackupState, "/good").found);
    }
}

TEST_F(AddDiskTest, NoDiscToAdd)
{
    const std::string message = "Please insert a disk to add, then click the Add button again.";
    EXPECT_EQ(add(), AddDiskResult::NoDisc); // an empty drive
    writeFile(drive / "2024.txt", "a file, not a disc folder");
    add();
    EXPECT_EQ(view.messages(), std::vector<std::string>(2, "showInformation " + message));
    EXPECT_EQ(logLines(), std::vector<std::string>(2, message));
    EXPECT_EQ(refreshes, 2);
    EXPECT_TRUE(std::filesystem::is_empty(root / "Database"));

    // Reassembled in every case: a stale BackupList.txt goes.
    writeFile(root / "BackupList.txt", line("/stale") + "\r\n");
    add();
    EXPECT_FALSE(std::filesystem::exists(root / "BackupList.txt"));
}

// A disc whose catalogs copy only in part (a scratched disc).
class PartlyReadableDisc : public FolderDiscSource {
public:
    using FolderDiscSource::FolderDiscSource;
    bool copyCatalogs(const std::string& discId, const std::string& targetFolder) override
    {
        FolderDiscSource::copyCatalogs(discId, targetFolder);
        return false;
    }
};

// Half a disc's catalogs would pass for the whole disc and block adding it again.
TEST_F(AddDiskTest, FailedCopyLeavesNothingAndTheDiscCanBeAddedAgain)
{
    burnt("20240301001", "2024030100001rn.csv", "/a");
    PartlyReadableDisc disc(drive.string());
    EXPECT_EQ(addDisc(state, view, disc, refresh), AddDiskResult::CopyFailed);
    EXPECT_TRUE(view.messages().empty());
    EXPECT_EQ(logLines(), (std::vector<std::string>{"Adding disk : 20240301001", "Copy failed."}));
    EXPECT_TRUE(std::filesystem::is_empty(root / "Database"));
    EXPECT_FALSE(StateHasPath(state.BackupState, "/a").found);

    EXPECT_EQ(add(), AddDiskResult::Added);
    EXPECT_TRUE(std::filesystem::exists(root / "Database" / "20240301001" / "2024030100001rn.csv"));
    EXPECT_TRUE(StateHasPath(state.BackupState, "/a").found);
}

TEST_F(AddDiskTest, FolderThatCannotBeCreated)
{
    burnt("20240301001", "2024030100001rn.csv", "/a");
    std::filesystem::remove_all(root / "Database");
    writeFile(root / "Database", "a file where the database folder should be");
    try {
        add();
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), "Could not create " + (root / "Database" / "20240301001").string());
    }
    EXPECT_EQ(refreshes, 0);
}

TEST_F(AddDiskTest, FromTheDriveChosenInTheList)
{
    burnt("20240301001", "2024030100001rn.csv", "/a");
    view.setItems(Control::AddDiscDrive, {drive.string() + "/"}, -1);
    EXPECT_EQ(addDisc(state, view, refresh), AddDiskResult::NothingChosen);
    EXPECT_EQ(refreshes, 0);
    view.setSelectedIndex(Control::AddDiscDrive, 0);
    addDisc(state, view, refresh);
    EXPECT_EQ(view.messages(), std::vector<std::string>{"showInformation The disk was successfully added."});
}

} // namespace
} // namespace torvinel
