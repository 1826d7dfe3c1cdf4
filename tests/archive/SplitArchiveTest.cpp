// Split archives: volumes base_NNN.ext of volumeSize, the last renamed to the archive.
#include "ArchiveTestSupport.h"

namespace torvinel::archivetest {
namespace {

class SplitTest : public ArchiveTest {
protected:
    // Splits one file the way the program does, recording every volume request together with
    // the size the previous volume had at that moment.
    void split(const std::string& name, int64_t volumeSize = 8388608)
    {
        ZipArchive zip;
        zip.volumeSize = volumeSize;
        zip.onRequestBlankVolume = [&](ZipArchive&, int number, std::string& volume, bool&) {
            int64_t previous = -1;
            if (!requests.empty())
                previous = static_cast<int64_t>(fs::file_size(requests.back().second));
            requests.emplace_back(number, volume);
            previousSizes.push_back(previous);
        };
        zip.setSpanningMode(ZipSpanningMode::Splitting);
        zip.fileName = path("base.zip");
        zip.open(ZipOpenMode::Create);
        zip.baseDir = path("src");
        zip.addFiles(name, ZipAllAttributes, "");
        zip.close();
    }
    std::string extractAll(const std::string& name)
    {
        ZipArchive zip;
        zip.fileName = path("base.zip");
        zip.baseDir = path("out");
        zip.open();
        zip.extractFiles("*.*", ZipAllAttributes, "");
        zip.close();
        return readFile(path("out/" + name));
    }

    std::vector<std::pair<int, std::string>> requests;
    std::vector<int64_t> previousSizes;
};

TEST_F(SplitTest, OneByteOverAVolumeMakesTwoVolumes)
{
    const std::string content = randomBytes(8388609);
    writeFile(path("src/big.zip"), content); // stored: it matches "*.zip"
    split("big.zip");

    EXPECT_EQ(requests,
              (std::vector<std::pair<int, std::string>>{{1, path("base_001.zip")}, {2, path("base_002.zip")}}));
    EXPECT_EQ(previousSizes.at(1), 8388608); // volume 1 was complete when 2 was asked for
    EXPECT_EQ(fs::file_size(path("base_001.zip")), 8388608u);
    EXPECT_TRUE(fs::exists(path("base.zip")));
    EXPECT_FALSE(fs::exists(path("base_002.zip")));
    EXPECT_EQ(extractAll("big.zip"), content);

    ZipArchive zip;
    zip.fileName = path("base.zip");
    zip.open();
    EXPECT_EQ(zip.fileCount(), 1);
    EXPECT_EQ(zip.entries().at(0).diskNumber, 0u);
    EXPECT_EQ(zip.entries().at(0).method, 0);
}

// Read as a part of another file (a disc image), an archive cannot reach its other volumes:
// a split one is refused even when they lie beside the file.
TEST_F(SplitTest, SplitArchiveIsNotOpenedAsAPartOfAnotherFile)
{
    writeFile(path("src/big.zip"), randomBytes(100000));
    split("big.zip", 65536);
    ASSERT_TRUE(fs::exists(path("base_001.zip")));
    ZipArchive zip;
    zip.fileName = path("base.zip");
    try {
        zip.openPart(path("base.zip"), 0, fs::file_size(path("base.zip")));
        FAIL() << "a split archive was opened as a part";
    } catch (const ZipError& e) {
        EXPECT_EQ(e.kind(), ZipErrorKind::CannotOpenArchive);
    }
    EXPECT_FALSE(zip.isOpen());
}

TEST_F(SplitTest, FileThatFitsGivesTheArchiveAlone)
{
    writeFile(path("src/small.txt"), textOf(100000));
    split("small.txt");
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_FALSE(fs::exists(path("base_001.zip")));
    EXPECT_EQ(extractAll("small.txt"), textOf(100000));
}

TEST_F(SplitTest, MissingVolumesAreReported)
{
    const std::string content = randomBytes(150000);
    writeFile(path("src/data.bin"), content);
    split("data.bin", 65536);
    ASSERT_TRUE(fs::exists(path("base_001.zip")));
    ASSERT_TRUE(fs::exists(path("base_002.zip")));
    ASSERT_FALSE(fs::exists(path("base_003.zip")));

    // A missing middle volume fails the extraction of the entry that needs it.
    fs::rename(path("base_001.zip"), path("aside.zip"));
    ZipArchive zip;
    zip.fileName = path("base.zip");
    zip.baseDir = path("out");
    zip.open();
    FailureLog log;
    log.answer = ZipFailureAction::Abort;
    log.attach(zip);
    try {
        zip.extractFiles("*.*", ZipAllAttributes, "");
        FAIL() << "extracted without its first volume";
    } catch (const ZipError& e) {
        EXPECT_STREQ(e.what(), "ZF: Cannot open archive file. Opening aborted or invalid file - Native error: 00045");
    }
    EXPECT_EQ(log.files, std::vector<std::string>{"data.bin"});
    EXPECT_FALSE(fs::exists(path("out/data.bin"))); // no partial file is left
    zip.close();

    // Without the volume right before the last, the archive cannot be opened at all.
    fs::rename(path("aside.zip"), path("base_001.zip"));
    fs::rename(path("base_002.zip"), path("aside.zip"));
    EXPECT_THROW(zip.open(), ZipError);
    fs::rename(path("aside.zip"), path("base_002.zip"));
    zip.open();
    zip.extractFiles("*.*", ZipAllAttributes, "");
    EXPECT_EQ(readFile(path("out/data.bin")), content);
}

TEST_F(SplitTest, SplitArchiveTakesOneAddOnly)
{
    writeFile(path("src/a.txt"), "a");
    ZipArchive zip;
    zip.setSpanningMode(ZipSpanningMode::Splitting);
    zip.fileName = path("base.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    zip.addFiles("a.txt", ZipAllAttributes, "");
    try {
        zip.addFiles("a.txt", ZipAllAttributes, "");
        FAIL();
    } catch (const ZipError& e) {
        EXPECT_STREQ(e.what(),
                     "ZF: Multi-spanned archive is not allowed for modification. Use "
                     "BeginUpdate/EndUpdate methods to add files several times - Native "
                     "error: 00052");
    }
}

TEST_F(SplitTest, CancelledVolumeFailsTheAdd)
{
    writeFile(path("src/data.bin"), randomBytes(200000));
    ZipArchive zip;
    zip.volumeSize = 1000; // raised to 65536
    zip.onRequestBlankVolume = [](ZipArchive&, int number, std::string&, bool& cancel) { cancel = number == 2; };
    zip.setSpanningMode(ZipSpanningMode::Splitting);
    zip.fileName = path("base.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    try {
        zip.addFiles("data.bin", ZipAllAttributes, "");
        FAIL();
    } catch (const ZipError& e) {
        EXPECT_EQ(e.errorCode(), 24);
    }
    EXPECT_EQ(fs::file_size(path("base_001.zip")), 65536u);
    zip.close();
    EXPECT_FALSE(fs::exists(path("base.zip"))); // a failed split is not made to look finished
}

TEST_F(SplitTest, ClosingAnUnwrittenSplitArchiveLeavesAnEmptyArchive)
{
    ZipArchive zip;
    zip.setSpanningMode(ZipSpanningMode::Splitting);
    zip.fileName = path("base.zip");
    zip.open(ZipOpenMode::Create);
    EXPECT_TRUE(fs::exists(path("base_001.zip")));
    zip.close();
    EXPECT_FALSE(fs::exists(path("base_001.zip")));
    EXPECT_EQ(fs::file_size(path("base.zip")), 22u);
}

} // namespace
} // namespace torvinel::archivetest
