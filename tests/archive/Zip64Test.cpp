// Files of 4 GiB and more, and entries past 4 GiB, get Zip64 fields; nothing else does.
// The large file is sparse and so are the archive and the extracted copy, which keeps
// this quick.
#include <fcntl.h>

#include "ArchiveTestSupport.h"

namespace torvinel::archivetest {
namespace {

constexpr uint64_t HugeSize = (uint64_t{4} << 30) + 4096 + 3; // past 4 GiB

class Zip64Test : public ArchiveTest {
protected:
    void makeHuge(const std::string& name)
    {
        writeFile(path("src/" + name), "");
        const int fd = ::open(path("src/" + name).c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(HugeSize)), 0);
        ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
        ASSERT_EQ(::pwrite(fd, "tail", 4, static_cast<off_t>(HugeSize - 4)), 4);
        ::close(fd);
    }
};

TEST_F(Zip64Test, HugeFileAndTheEntryAfterItUseZip64AndOthersDoNot)
{
    makeHuge("huge.mp4"); // stored by mask
    writeFile(path("src/before.txt"), "before");
    writeFile(path("src/after.txt"), "after");
    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    for (const char* name : {"before.txt", "huge.mp4", "after.txt"})
        zip.addFiles(name, ZipAllAttributes, "");
    zip.close();

    zip.open();
    ASSERT_EQ(zip.entries().size(), 3u);
    EXPECT_EQ(zip.entries()[0].versionNeeded, 20); // an ordinary entry stays classic
    EXPECT_EQ(zip.entries()[1].versionNeeded, 45); // its size needs zip64
    EXPECT_EQ(zip.entries()[1].uncompressedSize, HugeSize);
    EXPECT_GE(zip.entries()[2].localHeaderOffset, uint64_t{1} << 32); // its offset needs zip64
    EXPECT_EQ(zip.entries()[2].versionNeeded, 45);

    std::string output;
    if (haveTool("7z")) {
        EXPECT_EQ(run("7z t " + shellQuoted(path("a.zip")), &output), 0) << output;
    }
    zip.baseDir = path("out");
    zip.extractFiles("*.*", ZipAllAttributes, "");
    EXPECT_EQ(readFile(path("out/after.txt")), "after");
    EXPECT_EQ(fs::file_size(path("out/huge.mp4")), HugeSize);
    char edge[4];
    const int fd = ::open(path("out/huge.mp4").c_str(), O_RDONLY);
    ASSERT_EQ(::pread(fd, edge, 4, static_cast<off_t>(HugeSize - 4)), 4);
    ::close(fd);
    EXPECT_EQ(std::string(edge, 4), "tail");
}

TEST_F(Zip64Test, DisabledZip64RefusesTheFile)
{
    makeHuge("huge.bin");
    ZipArchive zip;
    zip.zip64Mode = Zip64Mode::Disabled;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    try {
        zip.addFiles("huge.bin", ZipAllAttributes, "");
        FAIL();
    } catch (const ZipError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "ZF: Cannot compress file '" + path("src/huge.bin")
                      + "'. Zip64 mode is not enabled - Native error: 00043");
    }
}

} // namespace
} // namespace torvinel::archivetest
