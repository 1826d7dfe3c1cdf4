#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <filesystem>

#include "PlatformTestSupport.h"
#include "support/TempDir.h"
#include "platform/Platform.h"

using namespace torvinel::platform;

namespace {

struct MaskCase {
    const char* name;
    const char* mask;
    bool matches;
};

const MaskCase maskCases[] = {
    {"20260105001rn.csv", "2*.csv", true},
    {"20260105001RN.CSV", "2*.csv", true}, // letter case ignored both ways
    {"20260105001rn.csv", "2*.CSV", true},
    {"20260105001rn.csvx", "2*.csv", false}, // the whole name must match
    {"x20260105.csv", "2*.csv", false},
    {"2.csv", "2*.csv", true}, // "*" may be empty
    {"20260105001rn.zip", "2*.csv", false},
    {"README", "*.*", true}, // "*.*" is every name, dot or not
    {".hidden", "*", true},
    {"abc", "a?c", true},
    {"ac", "a?c", false},
    {"a\xC3\xA9"
     "c",
     "a?c", true}, // "?" is one letter of a UTF-8 name
    {"a\xC3\xA9\xC3\xA9"
     "c",
     "a?c", false},
    {"photo.JPG", "*.jpg", true},
    {"archive.tar.zip", "*.zip", true},
    {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*c", false},
    {"mississippi", "m*iss*pi", true},
    {"", "*", true},
    {"", "?", false},
};

TEST(MaskMatching, MatchesAsTheTableSays)
{
    for (const MaskCase& c : maskCases)
        EXPECT_EQ(matchesMask(c.name, c.mask), c.matches) << "name " << c.name << ", mask " << c.mask;
}

std::vector<std::pair<std::string, bool>> sorted(const std::vector<DirEntry>& entries)
{
    std::vector<std::pair<std::string, bool>> result;
    for (const DirEntry& e : entries)
        result.emplace_back(e.name, e.isFolder);
    std::sort(result.begin(), result.end());
    return result;
}

TEST(Listing, ListsHiddenEntriesAndMarksOnlyRealFoldersAsFolders)
{
    torvinel::test::TempDir s;
    s.write("20260101001rn.csv");
    s.write(".20260101002rn.csv");
    s.write("notes.txt");
    s.folder("20260101001");
    s.folder(".2hidden");
    std::filesystem::create_directory_symlink(s.path("20260101001"), s.path("2link-to-folder"));
    ASSERT_EQ(mkfifo(s.path("2fifo").c_str(), 0600), 0);

    using Entries = std::vector<std::pair<std::string, bool>>;
    EXPECT_EQ(
        sorted(listFolder(s.path(), "2*")),
        (Entries{{"20260101001", true}, {"20260101001rn.csv", false}, {"2fifo", false}, {"2link-to-folder", false}}));
    EXPECT_EQ(sorted(listFolder(s.path() + "/", "2*.CSV")), (Entries{{"20260101001rn.csv", false}}));
    EXPECT_EQ(sorted(listFolder(s.path(), ".*")), (Entries{{".20260101002rn.csv", false}, {".2hidden", true}}));
    EXPECT_EQ(listFolder(s.path(), "*").size(), 7u);
}

TEST(Listing, MissingFolderOrFileGivesNothing)
{
    torvinel::test::TempDir s;
    EXPECT_TRUE(listFolder(s.path("missing"), "*").empty());
    EXPECT_TRUE(listFolder(s.write("file"), "*").empty());
}

TEST(FileKinds, OnlyRegularFilesAndRealFoldersCount)
{
    torvinel::test::TempDir s;
    const std::string file = s.write("file");
    const std::string folder = s.folder("folder");
    std::filesystem::create_symlink(file, s.path("file-link"));
    std::filesystem::create_directory_symlink(folder, s.path("folder-link"));
    ASSERT_EQ(mkfifo(s.path("fifo").c_str(), 0600), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = s.path("socket");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    struct Case {
        std::string path;
        bool regular, folder;
    };
    const Case cases[] = {
        {file, true, false},
        {folder, false, true},
        {s.path("file-link"), false, false},
        {s.path("folder-link"), false, false},
        {s.path("fifo"), false, false},
        {socketPath, false, false},
        {"/dev/null", false, false},
        {s.path("missing"), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isRegularFile(c.path), c.regular) << c.path;
        EXPECT_EQ(fileExists(c.path), c.regular) << c.path;
        EXPECT_EQ(folderExists(c.path), c.folder) << c.path;
    }
    close(sock);
}

TEST(FileKinds, LengthIsSixtyFourBit)
{
    torvinel::test::TempDir s;
    const std::string big = s.write("big", "");
    std::filesystem::resize_file(big, 5'000'000'000); // sparse: no real space used
    EXPECT_EQ(fileLength(big), 5'000'000'000);
    EXPECT_EQ(fileLength(s.write("small", "12345")), 5);
    EXPECT_EQ(fileLength(s.path("missing")), std::nullopt);
    EXPECT_EQ(fileLength(s.path()), std::nullopt);
}

TEST(FreeSpace, ComesFromTheFileSystemOfThePath)
{
    torvinel::test::TempDir s;
    const std::string file = s.write("file");
    EXPECT_GT(freeSpace(s.path()), 0);
    EXPECT_GT(freeSpace(file), 0);
    EXPECT_EQ(freeSpace(s.path("missing")), -1);
    EXPECT_EQ(freeSpace(""), -1);
}

} // namespace
