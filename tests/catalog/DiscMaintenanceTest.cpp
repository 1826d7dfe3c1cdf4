#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "app/Error.h"
#include "catalog/AssembleBackupState.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscMaintenance.h"
#include "catalog/DiscNames.h"
#include "catalog/FileDigest.h"
#include "CatalogFixture.h"
#include "support/CliRunner.h"

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
    // STATUS.INI as the writer leaves it: the digest of every other file of the disc.
    void withDigests(const std::filesystem::path& folder)
    {
        std::string ini = "[MD5]\r\n";
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().filename() != "STATUS.INI")
                ini += entry.path().filename().string() + "=" + DigestHex(FileDigest(entry.path().string())) + "\r\n";
        writeFile(folder / "STATUS.INI", ini);
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

// A disc whose catalogs or archives are not what its STATUS.INI says, or of which nothing can
// be read, is refused whole; as written, it is added.
TEST_F(AddDiskTest, RefusesADiscThatStatusIniShowsDamaged)
{
    const auto disc = drive / "20240301001";
    const std::string damaged = "showError The disc in " + drive.string() + " is damaged: 20240301001/";
    struct Case {
        const char* fault;
        std::function<void()> damage;
        AddDiskResult result;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"a catalog changed", [&] { writeFile(disc / "2024030100002rn.csv", line("/forged") + "\r\n"); },
         AddDiskResult::Damaged, {damaged + "2024030100002rn.csv does not match its checksum in STATUS.INI."}},
        {"a catalog lost", [&] { std::filesystem::remove(disc / "2024030100002rn.csv"); }, AddDiskResult::Damaged,
         {damaged + "2024030100002rn.csv is listed in STATUS.INI but missing."}},
        {"an archive lost", [&] { std::filesystem::remove(disc / "2024030100001rn.zip"); }, AddDiskResult::Damaged,
         {damaged + "2024030100001rn.zip is listed in STATUS.INI but missing."}},
        {"nothing readable",
         [&] {
             std::filesystem::remove_all(disc);
             std::filesystem::create_directories(disc);
         },
         AddDiskResult::CopyFailed,
         {}},
        {"nothing", [] {}, AddDiskResult::Added, {"showInformation The disk was successfully added."}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(drive);
        burnt("20240301001", "2024030100001rn.csv", "/a");
        burnt("20240301001", "2024030100002rn.csv", "/b");
        withDigests(disc);
        c.damage();
        view.clearCalls();
        EXPECT_EQ(add(), c.result) << c.fault;
        EXPECT_EQ(view.messages(), c.messages) << c.fault;
        const bool added = c.result == AddDiskResult::Added;
        EXPECT_EQ(std::filesystem::is_empty(root / "Database"), !added) << c.fault;
        EXPECT_EQ(StateHasPath(state.BackupState, "/a").found, added) << c.fault;
    }
}

// The image drive's shelf holds every disc written; adding from it brings back each one the
// database lacks, oldest first, and tells that all were there only when they were.
TEST_F(AddDiskTest, FromTheShelfAddsEveryDiscTheDatabaseLacks)
{
    const auto shelf = root / "shelf";
    std::filesystem::create_directories(shelf);
    for (const char* disc : {"20240301001", "20240302001", "20240303001"}) {
        burnt(disc, std::string(disc).substr(0, 8) + "00001rn.csv", std::string("/") + disc);
        withDigests(drive / disc);
        const std::string make = "xorriso -as mkisofs -quiet -J -V " + std::string(disc) + " -o "
            + test::shellQuoted((shelf / (std::string(disc) + ".iso")).string()) + " -graft-points "
            + test::shellQuoted(std::string("/") + disc + "=" + (drive / disc).string()) + " >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0)
            GTEST_SKIP() << "xorriso cannot make an image here";
    }
    catalog("20240302001", "2024030200001rn.csv", {line("/20240302001")});
    const auto add = [&] {
        ReaderDiscSource source(makeImageShelfReader(shelf.string()));
        return addDisc(state, view, source, refresh);
    };

    EXPECT_EQ(add(), AddDiskResult::Added);
    EXPECT_EQ(view.messages(),
              std::vector<std::string>{"showInformation The disks were successfully added: 20240301001, 20240303001."});
    EXPECT_EQ(logLines(), (std::vector<std::string>{"Adding disk : 20240301001", "success", "Adding disk : 20240302001",
                                                    "Adding disk : 20240303001", "success"}));
    for (const char* disc : {"20240301001", "20240302001", "20240303001"})
        EXPECT_TRUE(StateHasPath(state.BackupState, std::string("/") + disc).found) << disc;
    EXPECT_EQ(readFile(root / "Database" / "20240303001" / "2024030300001rn.csv"), line("/20240303001") + "\r\n");

    view.clearCalls();
    EXPECT_EQ(add(), AddDiskResult::AlreadyAdded);
    EXPECT_EQ(view.messages(), std::vector<std::string>{"showInformation This disk is already added."});
}

TEST_F(AddDiskTest, NoDiscToAdd)
{
    EXPECT_EQ(add(), AddDiskResult::NoDisc); // an empty drive
    writeFile(drive / "2024.txt", "a file, not a disc folder");
    EXPECT_EQ(add(), AddDiskResult::NoDisc);
    // What to do about it is the caller's to say: the command line has no Add button.
    EXPECT_TRUE(view.messages().empty());
    EXPECT_TRUE(logLines().empty());
    EXPECT_EQ(refreshes, 2);
    EXPECT_TRUE(std::filesystem::is_empty(root / "Database"));

    // The window's Add button, with the empty drive chosen, asks for a disc.
    const std::string message = "Please insert a disk to add, then click the Add button again.";
    view.setItems(Control::AddDiscDrive, {drive.string()}, 0);
    EXPECT_EQ(addDisc(state, view, refresh), AddDiskResult::NoDisc);
    EXPECT_EQ(view.messages(), std::vector<std::string>{"showInformation " + message});
    EXPECT_EQ(logLines(), std::vector<std::string>{message});

    // Reassembled in every case: a stale BackupList.txt goes.
    writeFile(root / "BackupList.txt", line("/stale") + "\r\n");
    add();
    EXPECT_FALSE(std::filesystem::exists(root / "BackupList.txt"));
}

// A scratched disc: its catalogs copy only in part, or its status.ini does not copy whole.
class ScratchedDisc : public FolderDiscSource {
public:
    enum class Fault { Catalogs, StatusIni };
    ScratchedDisc(const std::string& root, Fault fault) : FolderDiscSource(root), m_fault(fault) { }
    bool copyCatalogs(const std::string& discId, const std::string& targetFolder) override
    {
        return FolderDiscSource::copyCatalogs(discId, targetFolder) && m_fault != Fault::Catalogs;
    }
    bool copyStatusIni(const std::string& discId, const std::string& targetFolder) override
    {
        return FolderDiscSource::copyStatusIni(discId, targetFolder) && m_fault != Fault::StatusIni;
    }

private:
    Fault m_fault;
};

// Half a disc's files would pass for the whole disc and block adding it again.
TEST_F(AddDiskTest, FailedCopyLeavesNothingAndTheDiscCanBeAddedAgain)
{
    burnt("20240301001", "2024030100001rn.csv", "/a");
    const std::pair<ScratchedDisc::Fault, std::vector<std::string>> cases[] = {
        {ScratchedDisc::Fault::Catalogs, {"Adding disk : 20240301001", "Copy failed."}},
        {ScratchedDisc::Fault::StatusIni,
         {"Adding disk : 20240301001", "Could not copy STATUS.INI of disk 20240301001.", "Copy failed."}},
    };
    for (const auto& [fault, logged] : cases) {
        const std::size_t before = logLines().size();
        ScratchedDisc disc(drive.string(), fault);
        EXPECT_EQ(addDisc(state, view, disc, refresh), AddDiskResult::CopyFailed);
        EXPECT_TRUE(view.messages().empty());
        const auto lines = logLines();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()), logged);
        EXPECT_TRUE(std::filesystem::is_empty(root / "Database"));
        EXPECT_FALSE(StateHasPath(state.BackupState, "/a").found);
    }

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
