#include <gtest/gtest.h>

#include <ctime>
#include <utime.h>

#include "app/Error.h"
#include "catalog/CatalogLine.h"
#include "catalog/MakeCatalogLine.h"
#include "CatalogFixture.h"

namespace torvinel {
namespace {

using test::line;

// Sets a file's last-write time to a local date and time.
void setLocalTime(const std::string& path, int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    const utimbuf times{std::mktime(&t), std::mktime(&t)};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
}

class MakeCatalogLineTest : public test::CatalogFixture { };

TEST_F(MakeCatalogLineTest, StampSizeAndTrailingComma)
{
    const std::string path = (root / "a.txt").string();
    writeFile(path, "hello");
    setLocalTime(path, 2024, 3, 5, 14, 3, 26);
    EXPECT_EQ(MakeCatalogLine(state, view, path, false), "\"" + path + "\",20240305140326,5,");
    EXPECT_EQ(MakeCatalogLine(state, view, path, true),
              "\"" + path + "\",20240305140326,5,5d41402abc4b2a76b9719d911017c592");

    // Odd seconds do not exist in the packed stamp; the years outside 1980..2107 are clamped.
    setLocalTime(path, 2024, 3, 5, 14, 3, 27);
    EXPECT_EQ(MakeCatalogLine(state, view, path, false), "\"" + path + "\",20240305140326,5,");
    setLocalTime(path, 1975, 6, 1, 12, 0, 0);
    EXPECT_EQ(MakeCatalogLine(state, view, path, false), "\"" + path + "\",19800101000000,5,");

    const std::string empty = (root / "empty").string();
    writeFile(empty, "");
    setLocalTime(empty, 2024, 3, 5, 14, 3, 26);
    EXPECT_EQ(MakeCatalogLine(state, view, empty, true),
              "\"" + empty + "\",20240305140326,0,d41d8cd98f00b204e9800998ecf8427e");
}

TEST_F(MakeCatalogLineTest, MissingFilesAndFoldersGiveNoLine)
{
    EXPECT_EQ(MakeCatalogLine(state, view, (root / "missing").string(), true), "");
    EXPECT_EQ(MakeCatalogLine(state, view, root.string(), false), "");
    EXPECT_TRUE(view.messages().empty());
}

TEST_F(MakeCatalogLineTest, NamesALineCannotCarryAreSkippedWithAWarning)
{
    for (const std::string name : {"line\nbreak", "carriage\rreturn", "quote\",comma"}) {
        const std::string path = (root / name).string();
        writeFile(path, "x");
        EXPECT_EQ(MakeCatalogLine(state, view, path, false), "") << name;
        EXPECT_EQ(view.backupText(Control::MessageText), uncarriablePathWarning(path));
        EXPECT_EQ(logLines().back(), uncarriablePathWarning(path));
    }
    EXPECT_EQ(logLines().size(), 3u); // the log's lines stay whole: no raw line break in them
    EXPECT_EQ(uncarriablePathWarning("/a\nb"), "Warning: Skipped a file whose name a catalog cannot hold: /a\\nb");

    // A lone quote is fine: the path ends at the first `",`.
    const std::string quoted = (root / "say \"hi\" now").string();
    writeFile(quoted, "x");
    const std::string made = MakeCatalogLine(state, view, quoted, false);
    ASSERT_FALSE(made.empty());
    EXPECT_EQ(CatalogPath(made), quoted);
    EXPECT_EQ(CatalogSize(made), 1);
}

TEST(CatalogLine, PathAndSizeFields)
{
    EXPECT_EQ(CatalogPath(line("C:\\a.txt", "20240305140326", 123)), "C:\\a.txt");
    EXPECT_EQ(CatalogSize(line("C:\\a.txt", "20240305140326", 123)), 123);
    EXPECT_EQ(CatalogSize("\"/big\",20240305140326,6442450944,0123456789abcdef0123456789abcdef"), 6442450944);
    EXPECT_EQ(CatalogPath("\"/x\"y\",20240305140326,1,"), "/x\"y");
    EXPECT_EQ(CatalogSize("\"/x\"y\",20240305140326,1,"), 1);
    EXPECT_EQ(CatalogPath("\"/no/end"), "");
    EXPECT_EQ(CatalogPath(""), "");
    for (const char* bad :
         {"\"/a\",20240305140326,5", "\"/a\",20240305140326,,", "\"/a\",20240305140326,5x,", "\"/a\"", "", "garbage"})
        EXPECT_THROW(CatalogSize(bad), Error) << bad;
    EXPECT_EQ(formatCatalogLine("/a", platform::Stamp{2107, 12, 31, 23, 59, 58}, 0, ""), "\"/a\",21071231235958,0,");
}

TEST(CatalogLine, StateHasPathUsesThePlatformsPathIdentity)
{
    SortedList list;
    for (const char* path : {"/Docs/x.txt", "/a", "/a b", "/a/b", "/a!", "/b"})
        list.add(line(path));
    for (const char* path : {"/Docs/x.txt", "/a", "/a b", "/a/b", "/a!", "/b"}) {
        const StateLookup found = StateHasPath(list, path);
        ASSERT_TRUE(found.found) << path;
        EXPECT_EQ(CatalogPath(list[found.position]), path);
    }
    // On this platform two paths that differ in letter case are two files.
    EXPECT_EQ(StateHasPath(list, "/DOCS/x.txt").found, platform::samePath("/DOCS/x.txt", "/Docs/x.txt"));
    const StateLookup missing = StateHasPath(list, "/a/a");
    EXPECT_FALSE(missing.found);
    EXPECT_EQ(missing.position, list.size() - 2); // before "/a/b"
    EXPECT_FALSE(StateHasPath(SortedList(), "/a").found);
}

} // namespace
} // namespace torvinel
