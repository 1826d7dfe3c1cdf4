#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <unistd.h>

#include "app/Error.h"
#include "app/IniFile.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscMaintenance.h"
#include "catalog/DiscNames.h"
#include "catalog/StageFile.h"
#include "catalog/StagedDigests.h"
#include "CatalogFixture.h"

namespace torvinel {
namespace {

const Clock march5 = [] { return test::localNoon(2024, 3, 5); };
const Clock march6 = [] { return test::localNoon(2024, 3, 6); };

TEST(DiscNames, Sequences)
{
    struct Case {
        const char* newest;
        const char* today;
        const char* expected;
    };
    for (const Case& c :
         {Case{"20000101001", "20240305", "20240305001"}, Case{"20240305007", "20240305", "20240305008"},
          Case{"20240304007", "20240305", "20240305001"}, Case{"20240305099", "20240305", "20240305100"}})
        EXPECT_EQ(nextDiscIdAfter(c.newest, c.today), c.expected) << c.newest;
    for (const Case& c : {Case{"2000010100001AA.", "20240305", "2024030500001cn"},
                          Case{"2024030500012cf", "20240305", "2024030500013cn"},
                          Case{"2024030500012cf", "20240306", "2024030600001cn"},
                          Case{"2024030509999dd", "20240305", "2024030510000cn"}})
        EXPECT_EQ(nextArchiveNameAfter(c.newest, c.today, 'c', 'n'), c.expected) << c.newest;

    // A name of today without digits after the date, and the end of the day's numbers.
    EXPECT_THROW(nextDiscIdAfter("20240305x01", "20240305"), Error);
    EXPECT_THROW(nextDiscIdAfter("20240305", "20240305"), Error);
    EXPECT_THROW(nextDiscIdAfter("20240305-01", "20240305"), Error);
    EXPECT_THROW(nextArchiveNameAfter("202403050001xcn", "20240305", 'c', 'n'), Error);
    EXPECT_THROW(nextDiscIdAfter("20240305999", "20240305"), Error);
    EXPECT_THROW(nextArchiveNameAfter("2024030599999rn", "20240305", 'r', 'n'), Error);
    EXPECT_EQ(nextDiscIdAfter("20240304xyz", "20240305"), "20240305001"); // another day: not read
    // A clock set back: the day of the highest name runs on.
    EXPECT_EQ(nextDiscIdAfter("20240306004", "20240305"), "20240306005");
    EXPECT_EQ(nextArchiveNameAfter("2024030600012cf", "20240305", 'c', 'n'), "2024030600013cn");
    EXPECT_THROW(nextDiscIdAfter("20240306999", "20240305"), Error);
}

class DatabaseTest : public test::CatalogFixture { };

TEST_F(DatabaseTest, ListDiscsFillsDisklistWithOldestAndNewest)
{
    ListDiscs(state, view);
    EXPECT_TRUE(state.DiscList.empty());
    EXPECT_TRUE(view.items(Control::DiscList).empty());
    EXPECT_EQ(view.selectedIndex(Control::DiscList), -1);

    catalog("20240305001", "2024030500001dd.csv", {});
    writeFile(root / "Database" / "2024030599.txt", "a file is no disc");
    std::filesystem::create_directories(root / "Database" / "other");
    ListDiscs(state, view);
    EXPECT_EQ(state.DiscList.lines(), std::vector<std::string>{"20240305001"});
    EXPECT_EQ(view.items(Control::DiscList),
              (std::vector<std::string>{"20240305001 (Oldest)", "20240305001 (Newest)"}));
    EXPECT_EQ(view.selectedIndex(Control::DiscList), 0);

    catalog("20240306002", "2024030600001dd.csv", {});
    catalog("20240306001", "2024030600001dd.csv", {});
    ListDiscs(state, view);
    EXPECT_EQ(view.items(Control::DiscList),
              (std::vector<std::string>{"20240305001 (Oldest)", "20240306002 (Newest)"}));
}

TEST_F(DatabaseTest, NextDiscIdFollowsTheNewestDisc)
{
    EXPECT_EQ(NextDiscId(state, view, march5), "20240305001");
    catalog("20240305007", "2024030500001dd.csv", {});
    catalog("20240301003", "2024030100001dd.csv", {});
    EXPECT_EQ(NextDiscId(state, view, march5), "20240305008");
    EXPECT_EQ(NextDiscId(state, view, march6), "20240306001");
}

TEST_F(DatabaseTest, NextArchiveNameRunsOnFromStagedThenFiledCatalogs)
{
    EXPECT_EQ(NextArchiveName(state, view, 'r', 'n', march5), "2024030500001rn");

    // Filed catalogs: the newest disc that has any; a split volume counts like its archive.
    catalog("20240305001", "2024030500004rn.csv", {});
    catalog("20240305001", "2024030500009rf_002.csv", {});
    catalog("20240305001", "2024030500009rf_001.csv", {});
    std::filesystem::create_directories(root / "Database" / "20240305002"); // newest, no catalogs
    EXPECT_EQ(NextArchiveName(state, view, 'r', 'f', march5), "2024030500010rf");

    // Staged catalogs come first.
    writeFile(root / "torvineltemp" / "2024030500012cf.csv", "");
    writeFile(root / "torvineltemp" / "2024030500012cf.zip", "");
    EXPECT_EQ(NextArchiveName(state, view, 'c', 'n', march5), "2024030500013cn");
    EXPECT_EQ(NextArchiveName(state, view, 'c', 'n', march6), "2024030600001cn");
    writeFile(root / "torvineltemp" / "2024030500013cf_002.csv", "");
    EXPECT_EQ(NextArchiveName(state, view, 'd', 'd', march5), "2024030500014dd");
}

// Inside a run the names are looked up once and then counted by the run: a name stays taken
// when its staged files are discarded, and what the run files counts as filed.
TEST_F(DatabaseTest, InsideARunNamesRunOnFromWhatTheRunHandedOutAndFiled)
{
    catalog("20240305001", "2024030500004rn.csv", {});
    writeFile(root / "torvineltemp" / "2024030500006rn.csv", "");
    state.RunArchiveNames.emplace();
    EXPECT_EQ(NextArchiveName(state, view, 'r', 'n', march5), "2024030500007rn");
    std::filesystem::remove(root / "torvineltemp" / "2024030500006rn.csv");
    EXPECT_EQ(NextArchiveName(state, view, 'r', 'n', march5), "2024030500008rn") << "a discarded name";
    noteFiledCatalog(state, "2024030500020rf.csv");
    EXPECT_EQ(NextArchiveName(state, view, 'r', 'n', march5), "2024030500021rn");
    state.RunArchiveNames.reset();
    EXPECT_EQ(NextArchiveName(state, view, 'r', 'n', march5), "2024030500005rn") << "outside a run: looked up";
}

// A number handed out once is never handed out again, whatever the clock or the database did since.
TEST_F(DatabaseTest, NumbersNeverRepeat)
{
    const auto removeNewest = [this] {
        ListDiscs(state, view);
        view.setSelectedIndex(Control::DiscList, 1);
        ASSERT_TRUE(removeDisc(state, view, {}));
    };
    struct Case {
        const char* what;
        std::function<void()> before;
        const char* discId;
        const char* archiveName;
    };
    const Case cases[] = {
        {"clock back one day",
         [&] {
             catalog("20240306003", "2024030600007rn.csv", {});
             writeFile(root / "torvineltemp" / "2024030500002rn.csv", "");
         },
         "20240306004", "2024030600008rn"},
        {"newest disc removed",
         [&] {
             catalog("20240305001", "2024030500001rn.csv", {});
             catalog("20240305002", "2024030500002rn.csv", {});
             removeNewest();
         },
         "20240305003", "2024030500002rn"},
        {"issued, never filed", [&] { EXPECT_EQ(NextDiscId(state, view, march5), "20240305001"); }, "20240305002",
         "2024030500001rn"},
        {"added disc with a higher id, then removed",
         [&] {
             writeFile(root / "drive" / "20240309001" / "2024030900004rn.csv", "");
             FolderDiscSource source((root / "drive").string());
             ASSERT_EQ(addDisc(state, view, source, {}), AddDiskResult::Added);
             EXPECT_EQ(NextArchiveName(state, view, 'r', 'n', march5), "2024030900005rn");
             removeNewest();
         },
         "20240309002", "2024030500001rn"},
        {"highest catalog on an older disc",
         [&] {
             catalog("20240305001", "2024030600009rn.csv", {});
             catalog("20240305002", "2024030500002rn.csv", {});
         },
         "20240305003", "2024030600010rn"},
        {"names of another form passed over",
         [&] {
             catalog("20240305004", "2024030500003rn.csv", {});
             catalog("20240305004", "20240305abcdern.csv", {});
             catalog("20240305004", "2024030500009rx.csv", {});
             std::filesystem::create_directories(root / "Database" / "2nd-photos");
             std::filesystem::create_directories(root / "Database" / "20241301001");
         },
         "20240305005", "2024030500004rn"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(root / "Database");
        std::filesystem::remove_all(root / "torvineltemp");
        std::filesystem::remove(root / "Torvinel.ini");
        std::filesystem::create_directories(root / "Database");
        std::filesystem::create_directories(root / "torvineltemp");
        c.before();
        EXPECT_EQ(NextArchiveName(state, view, 'r', 'n', march5), c.archiveName) << c.what;
        EXPECT_EQ(NextDiscId(state, view, march5), c.discId) << c.what;
        EXPECT_EQ(NextDiscId(state, view, march5), nextDiscIdAfter(c.discId, "20240305")) << c.what;
    }
}

TEST(DiscNames, WellFormedNames)
{
    for (const char* name : {"20240229001", "20241231999"})
        EXPECT_TRUE(isDiscId(name)) << name;
    for (const char* name :
         {"2nd-photos", "20230229001", "20241301001", "20240100001", "2024030500", "202403050011", "2024030500a"})
        EXPECT_FALSE(isDiscId(name)) << name;
    for (const char* name : {"2024030500001rn.csv", "2024030500001cf_002.csv", "2024030500001dd.CSV"})
        EXPECT_TRUE(isCatalogName(name)) << name;
    for (const char* name :
         {"20261210abcdern.csv", "2024030500001rx.csv", "2024030500001rn.zip", "2024030500001rn",
          "2024030500001rn_02.csv", "2024033200001rn.csv", "20240305000011rn.csv", "2024030500001-n.csv"})
        EXPECT_FALSE(isCatalogName(name)) << name;
}

TEST_F(DatabaseTest, StageFileRoundsToSectorsAndRecordsDigests)
{
    state.DiscFreeBytes = 8191; // fill level = StagedBytes * 1000 / 8192
    struct Case {
        const char* name;
        std::size_t length;
        std::int64_t added;
    };
    std::int64_t expected = 0;
    for (const Case& c :
         {Case{"one", 1, 2048}, Case{"sector", 2048, 2048}, Case{"more", 2049, 4096}, Case{"none", 0, 0}}) {
        const std::string path = (root / "torvineltemp" / c.name).string();
        writeFile(path, std::string(c.length, 'a'));
        StageFile(state, view, path);
        expected += c.added;
        EXPECT_EQ(state.StagedBytes, expected) << c.name;
        EXPECT_EQ(view.backupPosition(Control::PhaseBar), expected * 1000 / 8192) << c.name;
        EXPECT_EQ(state.StagedFiles.back(), path);
    }
    const std::string ini = (root / "torvineltemp" / "status.ini").string();
    EXPECT_EQ(IniReadOrCreateString(ini, "MD5", "one", ""), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(IniReadOrCreateString(ini, "MD5", "none", ""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(state.StagedFiles.size(), 4u);

    // A disc without room shows a full bar; it must not divide by zero.
    state.DiscFreeBytes = -1;
    StageFile(state, view, (root / "torvineltemp" / "one").string());
    EXPECT_GE(view.backupPosition(Control::PhaseBar), 1000);
}

// Digests made on a worker reach status.ini as StageFile writes them itself: the same file,
// the same keys in the same order, and only once writeAll() is asked; discarded ones never.
TEST_F(DatabaseTest, StagedDigestsWriteWhatStageFileWrites)
{
    const auto folder = [&](const char* name) { return root / name; };
    const char* names[] = {"b.zip", "a.zip", "b.csv", "Status-less", "empty"};
    for (const char* f : {"direct", "worker"}) {
        std::filesystem::create_directories(folder(f));
        for (std::size_t n = 0; n < std::size(names); ++n)
            writeFile(folder(f) / names[n], std::string(n * 70000, static_cast<char>('a' + n + 1)));
    }
    writeFile(folder("worker") / "STATUS.INI", "[MD5]\r\nold=0cc175b9c0f1b6a831c399e269772661\r\n");
    writeFile(folder("direct") / "STATUS.INI", "[MD5]\r\nold=0cc175b9c0f1b6a831c399e269772661\r\n");

    StagedDigests digests;
    for (const char* name : names) {
        StageFile(state, view, (folder("direct") / name).string());
        StageFile(state, view, (folder("worker") / name).string(), digests);
    }
    EXPECT_EQ(state.StagedFiles.size(), 2 * std::size(names));
    EXPECT_EQ(readFile(folder("worker") / "STATUS.INI"), "[MD5]\r\nold=0cc175b9c0f1b6a831c399e269772661\r\n");
    digests.writeAll();
    EXPECT_EQ(readFile(folder("worker") / "STATUS.INI"), readFile(folder("direct") / "STATUS.INI"));
    EXPECT_FALSE(std::filesystem::exists(folder("worker") / "status.ini"));

    const std::string before = readFile(folder("worker") / "STATUS.INI");
    writeFile(folder("worker") / "late.zip", "late");
    StageFile(state, view, (folder("worker") / "late.zip").string(), digests);
    digests.discard();
    digests.writeAll();
    EXPECT_EQ(readFile(folder("worker") / "STATUS.INI"), before);
}

TEST_F(DatabaseTest, LengthOfAMissingOrIgnoredFileIsZeroWithAWarning)
{
    const std::string path = (root / "torvineltemp" / "gone.zip").string();
    StageFile(state, view, path);
    EXPECT_EQ(state.StagedBytes, 0);
    EXPECT_EQ(view.backupText(Control::MessageText), "Warning: Could not find file " + path);

    // Held by another program: the user is asked; after Ignore the length is 0 with the warning.
    const std::string held = (root / "torvineltemp" / "held.zip").string();
    writeFile(held, std::string(5000, 'x'));
    const int descriptor = ::open(held.c_str(), O_RDWR);
    ASSERT_EQ(::flock(descriptor, LOCK_EX), 0);
    view.answerIgnore("Please close the program using");
    StageFile(state, view, held);
    ::close(descriptor);
    EXPECT_EQ(view.unusedAnswers(), 0u);
    EXPECT_EQ(state.StagedBytes, 0);
    EXPECT_EQ(view.backupText(Control::MessageText), "Warning: Could not find file " + held);
}

} // namespace
} // namespace torvinel
