#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <random>

#include "PlatformTestSupport.h"
#include "support/TempDir.h"
#include "platform/Platform.h"

using namespace torvinel::platform;

namespace {

std::string randomBytes(std::size_t size)
{
    std::mt19937 random(42);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

std::size_t entriesIn(const std::string& folder)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(CreateFolder, OneLevelAtATime)
{
    torvinel::test::TempDir s;
    EXPECT_TRUE(createFolder(s.path("new")));
    EXPECT_TRUE(folderExists(s.path("new")));
    EXPECT_TRUE(createFolder(s.path("new"))) << "an existing folder is fine";
    EXPECT_FALSE(createFolder(s.path("missing/child")));
    EXPECT_FALSE(createFolder(s.write("file")));
    std::filesystem::create_directory_symlink(s.path("new"), s.path("link"));
    EXPECT_TRUE(createFolder(s.path("link"))) << "a link to a folder can be used as one";
}

TEST(DeleteFolderContents, RemovesEverythingInsideButNothingALinkPointsAt)
{
    torvinel::test::TempDir s;
    const std::string outside = s.write("outside/keep.txt", "precious");
    const std::string temp = s.folder("temp");
    s.write("temp/a.zip");
    s.write("temp/.hidden");
    s.write("temp/sub/deeper/b.csv");
    s.write("temp/readonly/c.txt");
    ASSERT_EQ(chmod(s.path("temp/readonly/c.txt").c_str(), 0444), 0);
    ASSERT_EQ(chmod(s.path("temp/readonly").c_str(), 0555), 0); // as a tree copied from a disc
    std::filesystem::create_directory_symlink(s.path("outside"), s.path("temp/link-to-outside"));
    std::filesystem::create_symlink(outside, s.path("temp/link-to-file"));
    std::filesystem::create_symlink(s.path("nowhere"), s.path("temp/dangling"));
    ASSERT_EQ(mkfifo(s.path("temp/fifo").c_str(), 0600), 0);

    EXPECT_TRUE(deleteFolderContents(temp));
    EXPECT_TRUE(folderExists(temp));
    EXPECT_EQ(entriesIn(temp), 0u);
    EXPECT_EQ(readAll(outside), "precious");
}

TEST(DeleteFolderContents, EmptyCountsAsEmptiedMissingDoesNot)
{
    torvinel::test::TempDir s;
    EXPECT_TRUE(deleteFolderContents(s.folder("empty")));
    EXPECT_FALSE(deleteFolderContents(s.path("missing")));
    EXPECT_FALSE(deleteFolderContents(s.write("file")));
}

TEST(DeleteFolderContents, TheNamedFolderMayBeALink)
{
    torvinel::test::TempDir s;
    s.write("elsewhere/staged.zip");
    std::filesystem::create_directory_symlink(s.path("elsewhere"), s.path("temp"));
    EXPECT_TRUE(deleteFolderContents(s.path("temp")));
    EXPECT_TRUE(std::filesystem::is_symlink(s.path("temp")));
    EXPECT_EQ(entriesIn(s.path("elsewhere")), 0u);
}

TEST(DeleteFolderContents, ReportsWhatStaysBehindAndDeletesTheRest)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs a folder of another user inside one of ours: run as root";
    torvinel::test::TempDir s;
    ASSERT_EQ(chmod(s.path().c_str(), 0755), 0);
    const std::string temp = s.folder("temp");
    s.write("temp/mine/file");
    s.write("temp/theirs/file"); // stays root's: nobody may not delete inside it
    for (const char* name : {"temp", "temp/mine", "temp/mine/file"})
        ASSERT_EQ(chown(s.path(name).c_str(), nobody, nobody), 0);
    EXPECT_EQ(asNobody([&] { return deleteFolderContents(temp) ? 1 : 0; }), 0);
    EXPECT_FALSE(std::filesystem::exists(s.path("temp/mine")));
    EXPECT_TRUE(std::filesystem::exists(s.path("temp/theirs/file")));
}

TEST(DeleteFolder, RemovesTheFolderItself)
{
    torvinel::test::TempDir s;
    s.write("disc/20260101001rn.csv");
    s.write("disc/sub/x");
    EXPECT_TRUE(deleteFolder(s.path("disc")));
    EXPECT_FALSE(std::filesystem::exists(s.path("disc")));
    EXPECT_FALSE(deleteFolder(s.path("disc")));
    s.folder("target");
    s.write("target/kept");
    std::filesystem::create_directory_symlink(s.path("target"), s.path("link"));
    EXPECT_FALSE(deleteFolder(s.path("link"))) << "a link is no folder";
    EXPECT_TRUE(std::filesystem::exists(s.path("target/kept")));
}

TEST(DeleteFile, FilesOnly)
{
    torvinel::test::TempDir s;
    EXPECT_TRUE(deleteFile(s.write("file")));
    EXPECT_FALSE(std::filesystem::exists(s.path("file")));
    EXPECT_FALSE(deleteFile(s.path("file")));
    EXPECT_FALSE(deleteFile(s.folder("folder")));
    EXPECT_TRUE(folderExists(s.path("folder")));
}

TEST(CopyFile, CopiesEveryByteAndReplacesTheTarget)
{
    torvinel::test::TempDir s;
    const std::string content = randomBytes(3 * 1024 * 1024 + 17); // several buffers and a tail
    const std::string source = s.write("source.zip", content);
    const std::string target = s.write("copy.zip", "old and longer than nothing");
    ASSERT_EQ(chmod(source.c_str(), 0444), 0);
    EXPECT_TRUE(copyFile(source, target));
    EXPECT_EQ(readAll(target), content);
    EXPECT_TRUE(copyFile(s.write("empty", ""), target));
    EXPECT_EQ(readAll(target), "");
    EXPECT_EQ(entriesIn(s.path()), 3u) << "no temporary file left behind";
}

// A file restored through a copy (from the temporary side to the target, perhaps on another
// file system) keeps its rights and its time.
TEST(CopyFile, KeepsModeAndModificationTimeAlsoOnAnotherFileSystem)
{
    torvinel::test::TempDir s;
    const std::string source = s.write("private.txt", "only mine");
    const timespec times[2] = {{1600000000, 0}, {1600000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    std::vector<std::string> folders{s.folder("same")};
    // /dev/shm is a memory file system where the machine has one.
    char pattern[] = "/dev/shm/torvinel-copy-XXXXXX";
    struct stat here { };
    struct stat there { };
    const bool other = mkdtemp(pattern) != nullptr;
    if (other && stat(pattern, &there) == 0 && stat(s.path().c_str(), &here) == 0 && there.st_dev != here.st_dev)
        folders.push_back(pattern);
    for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0755}, mode_t{0444}}) {
        ASSERT_EQ(chmod(source.c_str(), mode), 0);
        for (const std::string& folder : folders) {
            const std::string target = folder + "/copy.txt";
            ASSERT_TRUE(copyFile(source, target)) << folder;
            struct stat facts { };
            ASSERT_EQ(stat(target.c_str(), &facts), 0);
            EXPECT_EQ(facts.st_mode & 07777, mode) << folder;
            EXPECT_EQ(facts.st_mtim.tv_sec, 1600000000) << folder;
            EXPECT_EQ(facts.st_mtim.tv_nsec, 123456789) << folder;
            EXPECT_EQ(readAll(target), "only mine");
        }
    }
    if (other)
        std::filesystem::remove_all(pattern);
}

TEST(CopyFile, FailuresLeaveTheTargetAlone)
{
    torvinel::test::TempDir s;
    const std::string target = s.write("target", "keep");
    ASSERT_EQ(mkfifo(s.path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(copyFile(s.path("missing"), target));
    EXPECT_FALSE(copyFile(s.path("fifo"), target)) << "and does not hang";
    EXPECT_FALSE(copyFile(s.folder("folder"), target));
    EXPECT_EQ(readAll(target), "keep");
    EXPECT_FALSE(copyFile(target, s.path("missing/target")));
    EXPECT_FALSE(copyFile(target, s.path("folder")));
    EXPECT_EQ(entriesIn(s.path()), 3u);
}

TEST(CopyFile, AWriteThatFailsMidwayIsAFailure)
{
    torvinel::test::TempDir s;
    const std::string source = s.write("source", randomBytes(3 * 1024 * 1024));
    const std::string target = s.write("target", "keep");
    // A file-size limit makes the write stop after 1 MiB, as a full disc would.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 1024 * 1024 + 5;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool copied = copyFile(source, target);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(copied);
    EXPECT_EQ(readAll(target), "keep");
    EXPECT_EQ(entriesIn(s.path()), 2u);
}

} // namespace
