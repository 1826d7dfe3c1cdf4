#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "PlatformTestSupport.h"
#include "support/TempDir.h"
#include "platform/Platform.h"

using namespace torvinel::platform;

namespace {

TEST(FileAccess, AnotherExclusiveLockMakesAFileBusyUntilReleased)
{
    torvinel::test::TempDir s;
    const std::string file = s.write("file");
    EXPECT_EQ(testFileAccess(file), FileAccess::Free);

    const int holder = open(file.c_str(), O_RDWR);
    ASSERT_GE(holder, 0);
    EXPECT_EQ(testFileAccess(file), FileAccess::Free); // open alone is no claim on POSIX
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(testFileAccess(file), FileAccess::InUse);
    ASSERT_EQ(write(holder, "12345", 5), 5);
    int64_t length = -1;
    EXPECT_EQ(testFileAccess(file, length), FileAccess::InUse); // the test takes no lock of its own
    EXPECT_EQ(length, 5);
    ASSERT_EQ(flock(holder, LOCK_UN), 0);
    EXPECT_EQ(testFileAccess(file), FileAccess::Free);

    ASSERT_EQ(flock(holder, LOCK_SH), 0); // a reader does not keep others from reading
    EXPECT_EQ(testFileAccess(file), FileAccess::Free);
    close(holder);
}

TEST(FileAccess, MissingFoldersAndSpecialFiles)
{
    torvinel::test::TempDir s;
    ASSERT_EQ(mkfifo(s.path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(testFileAccess(s.path("missing")), FileAccess::Missing);
    EXPECT_EQ(testFileAccess(s.path("missing/deeper")), FileAccess::Missing);
    EXPECT_EQ(testFileAccess(s.path()), FileAccess::Missing);
    EXPECT_EQ(testFileAccess(s.path("fifo")), FileAccess::Unreadable); // and does not hang
}

FileAccess accessWithoutPrivileges(const std::string& path)
{
    if (geteuid() != 0)
        return testFileAccess(path);
    const int result = asNobody([&] { return static_cast<int>(testFileAccess(path)); });
    if (result < 0)
        ADD_FAILURE() << "could not ask as an unprivileged user";
    return static_cast<FileAccess>(result);
}

TEST(FileAccess, NoPermissionIsUnreadableNotBusy)
{
    torvinel::test::TempDir s;
    ASSERT_EQ(chmod(s.path().c_str(), 0755), 0);
    const std::string file = s.write("secret");
    ASSERT_EQ(chmod(file.c_str(), 0), 0);
    EXPECT_EQ(accessWithoutPrivileges(file), FileAccess::Unreadable);
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    EXPECT_EQ(accessWithoutPrivileges(file), FileAccess::Free);
    // A folder is no file, even one that may not be opened.
    ASSERT_EQ(mkdir(s.path("closed").c_str(), 0), 0);
    EXPECT_EQ(accessWithoutPrivileges(s.path("closed")), FileAccess::Missing);
}

} // namespace
