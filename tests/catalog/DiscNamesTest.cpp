#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/Error.h"
#include "app/IniFile.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscNames.h"
#include "catalog/StageFile.h"
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
