#include "support/DiscwrightTestSupport.h"

#include "discwright/DiscReader.h"
#include "discwright/OpticalDevices.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace torvinel::test {
namespace {

namespace fs = std::filesystem;

// Bytes that differ from block to block, so that a read from the wrong place shows.
std::string archiveBytes()
{
    std::string bytes(70000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>('a' + (i / 997 + i) % 26);
    return bytes;
}

// The same disc three ways: as a folder, as an image on the shelf and as one image file.
class DiscReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startLibrary();
        dir.write("disc/20261210001/2026121000001rn.zip", archiveBytes());
        dir.write("disc/20261210001/2026121000001rn.csv", "catalog");
        dir.write("disc/20261210001/status.ini", "[Status]");
        dir.write("outside.txt", "secret");
        dir.write("shelf/notes.txt", "not a disc");
        ASSERT_EQ(run("xorriso -as mkisofs -J -V 20261210001 -o " + quoted(dir / "shelf/20261210001.iso") + " "
                      + quoted(dir / "disc") + " >/dev/null 2>&1; echo $?"),
                  "0\n");
    }

    std::unique_ptr<DiscReader> reader(int kind)
    {
        switch (kind) {
        case 0:
            return makeFolderReader(dir / "disc");
        case 1:
            return makeImageShelfReader(dir / "shelf");
        default:
            return makeIsoFileReader(dir / "shelf/20261210001.iso");
        }
    }

    TempDir dir;
};

TEST_F(DiscReaderTest, EveryReaderFindsListsAndCopiesTheDiscFiles)
{
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        const auto r = reader(kind);
        const auto top = r->list("");
        ASSERT_EQ(top.size(), 1u);
        EXPECT_EQ(top[0].name, "20261210001");
        EXPECT_TRUE(top[0].isFolder);
        std::vector<std::string> files;
        for (const auto& e : r->list("20261210001"))
            files.push_back(e.name);
        EXPECT_EQ(files, (std::vector<std::string>{"2026121000001rn.csv", "2026121000001rn.zip", "status.ini"}));

        EXPECT_TRUE(r->exists("20261210001/2026121000001rn.zip"));
        EXPECT_FALSE(r->exists("20261210001/missing.zip"));
        EXPECT_FALSE(r->exists("20261210002/2026121000001rn.zip"));
        EXPECT_FALSE(r->exists("20261210001"));
        const std::string target = dir / ("copy" + std::to_string(kind));
        ASSERT_TRUE(r->copy("20261210001/2026121000001rn.zip", target));
        EXPECT_EQ(dir.read("copy" + std::to_string(kind)), archiveBytes());
        // In place: the file itself, or its bytes inside the image.
        const auto extent = r->locate("20261210001/2026121000001rn.zip");
        ASSERT_TRUE(extent);
        EXPECT_EQ(extent->file, kind == 0 ? dir / "disc/20261210001/2026121000001rn.zip" : dir / "shelf/20261210001.iso");
        ASSERT_EQ(extent->length, 70000u);
        EXPECT_EQ(dir.read(fs::relative(extent->file, dir.path()).string()).substr(extent->offset, extent->length),
                  archiveBytes());
        EXPECT_FALSE(r->locate("20261210001/missing.zip"));
        EXPECT_FALSE(r->locate("20261210001"));
        EXPECT_FALSE(r->copy("20261210001/missing.zip", target + "x"));
        EXPECT_FALSE(fs::exists(target + "x"));
        EXPECT_FALSE(fs::exists(target + "x.part"));
    }
}

TEST_F(DiscReaderTest, PathsThatLeaveTheDiscAreRefused)
{
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        const auto r = reader(kind);
        for (const char* path : {"../outside.txt", "20261210001/../../outside.txt", "/etc/passwd", "", "a//b"}) {
            EXPECT_FALSE(r->exists(path)) << path;
            EXPECT_FALSE(r->copy(path, dir / "stolen")) << path;
            EXPECT_FALSE(r->locate(path)) << path;
        }
        EXPECT_TRUE(r->list("..").empty());
    }
    EXPECT_FALSE(fs::exists(dir / "stolen"));
}

TEST_F(DiscReaderTest, TheShelfReadsWhicheverDiscIsAskedFor)
{
    dir.write("second/20261210002/a.csv", "second disc");
    ASSERT_EQ(run("xorriso -as mkisofs -J -o " + quoted(dir / "shelf/20261210002.iso") + " " + quoted(dir / "second")
                  + " >/dev/null 2>&1; echo $?"),
              "0\n");
    const auto shelf = makeImageShelfReader(dir / "shelf");
    std::vector<std::string> discs;
    for (const auto& e : shelf->list(""))
        discs.push_back(e.name);
    EXPECT_EQ(discs, (std::vector<std::string>{"20261210001", "20261210002"}));
    ASSERT_TRUE(shelf->copy("20261210002/a.csv", dir / "a.csv"));
    ASSERT_TRUE(shelf->copy("20261210001/2026121000001rn.csv", dir / "b.csv"));
    EXPECT_EQ(dir.read("a.csv"), "second disc");
    EXPECT_EQ(dir.read("b.csv"), "catalog");
}

TEST_F(DiscReaderTest, ADamagedImageReadsAsAnEmptyDisc)
{
    dir.write("shelf/20261210003.iso", std::string(100000, '\x55'));
    const auto r = makeIsoFileReader(dir / "shelf/20261210003.iso");
    EXPECT_TRUE(r->list("").empty());
    EXPECT_FALSE(r->exists("20261210003/a.csv"));
    EXPECT_FALSE(makeImageShelfReader(dir / "shelf")->exists("20261210003/a.csv"));
}

TEST(OpticalDevicesTest, DrivesAreListedWithTheMountPointsOfTheirDiscs)
{
    TempDir dir;
    dir.write("sys/sr1/dev", "11:1");
    dir.write("sys/sr0/dev", "11:0");
    dir.write("sys/sda/dev", "8:0");
    dir.write("mounts",
              "/dev/sda1 / ext4 rw 0 0\n"
              "/dev/sr1 /media/u/Backup\\040Disc iso9660 ro 0 0\n"
              "garbage\n");
    const auto devices = listOpticalDevices(dir / "sys", dir / "mounts");
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].device, "/dev/sr0");
    EXPECT_EQ(devices[0].mountPoint, "");
    EXPECT_EQ(devices[1].device, "/dev/sr1");
    EXPECT_EQ(devices[1].mountPoint, "/media/u/Backup Disc");
}

} // namespace
} // namespace torvinel::test
