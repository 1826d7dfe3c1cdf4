// The archive engine's file layer: the failures callers tell apart, positioned reads and
// writes, and holes.
#include <filesystem>
#include <gtest/gtest.h>

#include "platform/File.h"
#include "support/TempDir.h"

namespace torvinel::platform {
namespace {

using test::TempDir;

TEST(File, FailuresThatCallersTellApart)
{
    TempDir dir;
    dir.write("there.txt", "x");
    EXPECT_EQ(File::open(dir / "missing.txt", FileMode::Read).failure(), FileFailure::Missing);
    EXPECT_EQ(File::open(dir / "there.txt", FileMode::CreateNew).failure(), FileFailure::Exists);
    EXPECT_EQ(makeFolder(dir / "there.txt"), FileFailure::Exists);
    EXPECT_EQ(removeFile(dir / "missing.txt"), FileFailure::Missing);
    EXPECT_EQ(fileStatus(dir / "missing.txt", Links::Follow).kind, FileKind::Missing);

    // A link is its own kind unless followed, and CreateNew never writes through it.
    std::filesystem::create_symlink(dir / "there.txt", dir / "link");
    EXPECT_EQ(fileStatus(dir / "link", Links::DoNotFollow).kind, FileKind::Other);
    EXPECT_EQ(fileStatus(dir / "link", Links::Follow).kind, FileKind::Regular);
    EXPECT_FALSE(File::open(dir / "link", FileMode::CreateNew).isOpen());
    EXPECT_FALSE(File::open(dir / "link", FileMode::ReadSource).isOpen());
    EXPECT_EQ(removeFile(dir / "link"), FileFailure::None);
    EXPECT_TRUE(std::filesystem::exists(dir / "there.txt"));
}

TEST(File, PositionedWritesReadsAndLength)
{
    TempDir dir;
    std::string name;
    File file = File::createUnique(dir / "FC", name);
    ASSERT_TRUE(file.isOpen());
    EXPECT_EQ(name.rfind(dir / "FC", 0), 0u);
    EXPECT_EQ(name.size(), (dir / "FC").size() + 6);

    EXPECT_EQ(file.writeAt("hello world", 11, 0), 11);
    EXPECT_EQ(file.writeAt("W", 1, 6), 1);
    char read[16] = {};
    EXPECT_EQ(file.readAt(read, sizeof read, 0), 11);
    EXPECT_EQ(std::string(read, 11), "hello World");
    EXPECT_EQ(file.readAt(read, sizeof read, 11), 0); // the end
    EXPECT_TRUE(file.truncate(5));
    EXPECT_EQ(file.size(), 5);
    EXPECT_TRUE(file.sync());
    const FileStatus status = file.status();
    EXPECT_EQ(status.kind, FileKind::Regular);
    EXPECT_TRUE(status.sameFile(fileStatus(name, Links::DoNotFollow)));
    EXPECT_FALSE(status.sameFile(fileStatus(dir.path(), Links::DoNotFollow)));
    EXPECT_TRUE(file.close());
}

TEST(File, HolesOfASparseFileAreFoundWhereTheFileSystemTells)
{
    TempDir dir;
    File file = File::open(dir / "sparse.bin", FileMode::Create);
    ASSERT_TRUE(file.isOpen());
    constexpr uint64_t length = 64ull << 20;
    ASSERT_EQ(file.writeAt("end", 3, length - 3), 3);
    if (!file.isSparse())
        GTEST_SKIP() << "this file system keeps no holes";
    EXPECT_GT(file.holeAt(0), 0u);
    EXPECT_EQ(file.holeAt(length - 3), 0u);
}

} // namespace
} // namespace torvinel::platform
