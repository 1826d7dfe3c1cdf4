#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/Error.h"
#include "catalog/DiscHealth.h"
#include "support/TempDir.h"

namespace torvinel {
namespace {

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

DiscCheck check(const std::string& when, const std::string& disc, DiscCondition condition,
                std::vector<std::string> archives = {})
{
    return {when, disc, condition, std::move(archives)};
}

TEST(DiscHealth, ChecksAreAppendedAsCrLfLinesAndReadBack)
{
    test::TempDir dir;
    EXPECT_TRUE(readDiscChecks(dir.path()).empty());
    recordDiscCheck(dir.path(), check("2026-12-10T14:03:22", "20261210004", DiscCondition::Sound));
    recordDiscCheck(dir.path(),
                    check("2026-12-11T09:00:00", "20261210005", DiscCondition::Damaged,
                          {"2026121000501rn.zip", "2026121000502rn_001.zip"}));
    recordDiscCheck(dir.path(), check("2026-12-12T09:00:00", "20261210006", DiscCondition::Unreadable));
    EXPECT_EQ(fileText(dir.path(discHealthFile)),
              "2026-12-10T14:03:22,20261210004,sound,\r\n"
              "2026-12-11T09:00:00,20261210005,damaged,2026121000501rn.zip 2026121000502rn_001.zip\r\n"
              "2026-12-12T09:00:00,20261210006,unreadable,\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path(std::string(discHealthFile) + ".tmp")));

    const std::vector<DiscCheck> checks = readDiscChecks(dir.path());
    ASSERT_EQ(checks.size(), 3u);
    EXPECT_EQ(checks[1].when, "2026-12-11T09:00:00");
    EXPECT_EQ(checks[1].discId, "20261210005");
    EXPECT_EQ(checks[1].condition, DiscCondition::Damaged);
    EXPECT_EQ(checks[1].damagedArchives, (std::vector<std::string>{"2026121000501rn.zip", "2026121000502rn_001.zip"}));
    EXPECT_EQ(checks[2].condition, DiscCondition::Unreadable);
}

TEST(DiscHealth, LinesThatAreNoCheckAreSkippedAndKept)
{
    test::TempDir dir;
    const std::string junk = "a line written by hand\r\n"
                             "2026-12-10T14:03:22,2026121000,sound,\r\n"      // no DiscId
                             "2026-12-10T14:03:22,20261210004,fine,\r\n"      // no result
                             "2026-12-10T14:03:22,20261210004,sound\r\n"      // a field short
                             "2026-12-10T14:03:22,20261210003,damaged,x.zip"; // no line end
    dir.write(discHealthFile, junk);
    const std::vector<DiscCheck> checks = readDiscChecks(dir.path());
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].discId, "20261210003");
    recordDiscCheck(dir.path(), check("2026-12-11T09:00:00", "20261210004", DiscCondition::Sound));
    EXPECT_EQ(fileText(dir.path(discHealthFile)), junk + "\r\n2026-12-11T09:00:00,20261210004,sound,\r\n");
}

TEST(DiscHealth, AFailedWriteKeepsTheRecordAndSaysSo)
{
    test::TempDir dir;
    recordDiscCheck(dir.path(), check("2026-12-10T14:03:22", "20261210004", DiscCondition::Sound));
    const std::string before = fileText(dir.path(discHealthFile));
    // A folder where the new record would be written: no one can write it.
    dir.folder(std::string(discHealthFile) + ".tmp");
    try {
        recordDiscCheck(dir.path(), check("2026-12-11T09:00:00", "20261210005", DiscCondition::Sound));
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), "Could not write " + dir.path(discHealthFile));
    }
    EXPECT_EQ(fileText(dir.path(discHealthFile)), before);
}

TEST(DiscHealth, NextDiscAndDamagedDiscsGoByEachDiscsLastCheck)
{
    SortedList discs;
    for (const char* disc : {"20261201001", "20261202001", "20261203001"})
        discs.add(disc);
    const auto sound = DiscCondition::Sound;
    const auto damaged = DiscCondition::Damaged;
    struct Case {
        const char* what;
        std::vector<DiscCheck> checks;
        std::string next;
        std::vector<std::string> damaged;
    } cases[] = {
        {"never checked: the oldest", {}, "20261201001", {}},
        {"the oldest never checked",
         {check("2026-12-05T10:00:00", "20261201001", sound), check("2026-12-05T11:00:00", "20261203001", damaged)},
         "20261202001",
         {"20261203001"}},
        {"all checked: the one checked longest ago",
         {check("2026-12-05T10:00:00", "20261202001", sound), check("2026-12-05T11:00:00", "20261201001", sound),
          check("2026-12-05T12:00:00", "20261203001", sound), check("2026-12-06T12:00:00", "20261202001", damaged)},
         "20261201001",
         {"20261202001"}},
        {"a later sound check clears the damage; a disc gone from the database is passed over",
         {check("2026-12-05T09:00:00", "20261130001", sound), check("2026-12-05T10:00:00", "20261203001", damaged),
          check("2026-12-05T11:00:00", "20261201001", sound), check("2026-12-05T12:00:00", "20261202001", sound),
          check("2026-12-05T13:00:00", "20261203001", sound)},
         "20261201001",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(nextDiscToCheck(discs, c.checks), c.next);
        EXPECT_EQ(damagedDiscs(c.checks).lines(), c.damaged);
    }
    EXPECT_EQ(nextDiscToCheck(SortedList(), {}), "");
}

} // namespace
} // namespace torvinel
