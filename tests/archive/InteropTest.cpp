// Archives that other tools read, and archives of other tools that the engine reads.
#include "ArchiveTestSupport.h"
#include "archive/internal/ZipWriter.h"

namespace torvinel::archivetest {
namespace {

class InteropTest : public ArchiveTest {
protected:
    void SetUp() override
    {
        ArchiveTest::SetUp();
        for (const char* tool : {"zip", "unzip", "7z"})
            if (!haveTool(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
    }
    // A small tree of everything an archive meets: text, incompressible data, stored by
    // mask, an empty file, a read-only file, a non-ASCII name, nested folders.
    std::vector<std::pair<std::string, std::string>> makeTree(const std::string& folder)
    {
        std::vector<std::pair<std::string, std::string>> files = {
            {"docs/letter.txt", textOf(200000)},
            {"docs/deep/er/notes.md", textOf(3000, 5)},
            {"media/clip.MP4", randomBytes(90000)},
            {"bin/blob.dat", randomBytes(70000, 9)},
            {"empty.txt", ""},
            {"readonly.cfg", "read only"},
            {"\xc3\xa9t\xc3\xa9/r\xc3\xa9sum\xc3\xa9.txt", "unicode"}, // été/résumé.txt
        };
        for (const auto& [name, content] : files)
            writeFile(folder + "/" + name, content);
        ::chmod((folder + "/readonly.cfg").c_str(), 0444);
        return files;
    }
    void expectTree(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& files)
    {
        for (const auto& [name, content] : files)
            EXPECT_EQ(readFile(folder + "/" + name), content) << folder << "/" << name;
    }
};

TEST_F(InteropTest, OrdinaryArchivePassesUnzipAnd7z)
{
    const auto files = makeTree(path("src"));
    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    for (const auto& [name, content] : files)
        zip.addFiles(name, ZipAllAttributes, "");
    zip.addFiles("docs/*", ZipAllAttributes, ""); // folder entries too; the files are replaced
    zip.close();

    std::string output;
    EXPECT_EQ(run("unzip -t " + shellQuoted(path("a.zip")), &output), 0) << output;
    EXPECT_EQ(run("7z t " + shellQuoted(path("a.zip")), &output), 0) << output;
    EXPECT_EQ(output.find("Warning"), std::string::npos) << output;
    EXPECT_EQ(run("7z x -o" + shellQuoted(path("by7z")) + " " + shellQuoted(path("a.zip")), &output), 0) << output;
    expectTree(path("by7z"), files);
    EXPECT_EQ(run("cd " + shellQuoted(root) + " && mkdir byunzip && cd byunzip && unzip -q ../a.zip", &output), 0)
        << output;
    expectTree(path("byunzip"), files);
}

// Entries below the whole-entry limit are deflated in one call, larger ones in pieces joined
// into one stream, and a file that grows while it is read leaves the one-call path for the
// pieces midway: every kind must be one valid deflate stream holding exactly the bytes read.
TEST_F(InteropTest, WholeAndPiecedEntriesAndAFileThatGrewPassUnzip7zAndBsdtar)
{
    constexpr std::size_t limit = zipwriter::WholeEntryLimit;
    std::vector<std::pair<std::string, std::string>> files = {
        {"one.txt", "x"},
        {"below.txt", textOf(limit - 1, 2)},
        {"at.txt", textOf(limit, 3)},
        {"above.txt", textOf(limit + 1, 4)},
        {"mixed.bin", textOf(limit / 2, 5) + randomBytes(limit / 2 + 70000, 6)},
        {"grows.txt", textOf(1000, 7)},
    };
    for (const auto& [name, content] : files)
        writeFile(path("src/" + name), content);
    const std::string appended = textOf(300000, 8);
    files.back().second += appended;

    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    bool grown = false;
    zip.onFileData = [&](const unsigned char*, std::size_t) {
        if (grown)
            return;
        std::ofstream out(path("src/grows.txt"), std::ios::binary | std::ios::app);
        out << appended;
        grown = true;
    };
    for (const auto& [name, content] : files) {
        grown = name != "grows.txt";
        zip.addFiles(name, ZipAllAttributes, "");
    }
    zip.close();

    std::string output;
    EXPECT_EQ(run("unzip -t " + shellQuoted(path("a.zip")), &output), 0) << output;
    EXPECT_EQ(run("7z t " + shellQuoted(path("a.zip")), &output), 0) << output;
    EXPECT_EQ(run("7z x -o" + shellQuoted(path("by7z")) + " " + shellQuoted(path("a.zip")), &output), 0) << output;
    expectTree(path("by7z"), files);
    fs::create_directories(path("bybsdtar"));
    EXPECT_EQ(run("bsdtar -x -C " + shellQuoted(path("bybsdtar")) + " -f " + shellQuoted(path("a.zip")), &output), 0)
        << output;
    expectTree(path("bybsdtar"), files);
}

TEST_F(InteropTest, EmptyArchivePassesUnzipAnd7z)
{
    ZipArchive zip;
    zip.fileName = path("empty.zip");
    zip.open();
    zip.close();
    std::string output;
    // unzip says "empty" with status 1 for an archive without entries; it must not see damage.
    EXPECT_LE(run("unzip -t " + shellQuoted(path("empty.zip")), &output), 1) << output;
    EXPECT_NE(output.find("empty"), std::string::npos) << output;
    EXPECT_EQ(run("7z t " + shellQuoted(path("empty.zip")), &output), 0) << output;
}

TEST_F(InteropTest, SplitArchiveWithClassicVolumeNamesPasses7z)
{
    const std::string content = textOf(150000) + randomBytes(200000);
    writeFile(path("src/part.bin"), content);
    ZipArchive zip;
    zip.volumeSize = 65536;
    zip.setSpanningMode(ZipSpanningMode::Splitting);
    zip.fileName = path("base.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    zip.addFiles("part.bin", ZipAllAttributes, "");
    zip.close();

    int volumes = 0;
    for (int k = 1; fs::exists(path("base_00" + std::to_string(k) + ".zip")); ++k) {
        char classic[32];
        std::snprintf(classic, sizeof classic, "base.z%02d", k);
        fs::rename(path("base_00" + std::to_string(k) + ".zip"), path(classic));
        ++volumes;
    }
    ASSERT_GE(volumes, 3);
    std::string output;
    EXPECT_EQ(run("7z t " + shellQuoted(path("base.zip")), &output), 0) << output;
    EXPECT_EQ(run("7z x -o" + shellQuoted(path("by7z")) + " " + shellQuoted(path("base.zip")), &output), 0) << output;
    EXPECT_EQ(readFile(path("by7z/part.bin")), content);

    // The engine reads the classic names as well.
    zip.fileName = path("base.zip");
    zip.baseDir = path("out");
    zip.open();
    zip.extractFiles("*.*", ZipAllAttributes, "");
    EXPECT_EQ(readFile(path("out/part.bin")), content);
}

TEST_F(InteropTest, ArchivesMadeByZipExtractCorrectly)
{
    const auto files = makeTree(path("src"));
    // Deflated, stored, streamed (data descriptors, no sizes in the local headers) and split.
    const std::vector<std::pair<std::string, std::string>> makers = {
        {"deflated", "zip -q -r ../deflated.zip ."},
        {"stored", "zip -q -r -0 ../stored.zip ."},
        {"streamed", "zip -q -r - . > ../streamed.zip"},
        {"split", "zip -q -r -s 64k ../split.zip ."},
    };
    for (const auto& [name, command] : makers) {
        std::string output;
        ASSERT_EQ(run("cd " + shellQuoted(path("src")) + " && " + command, &output), 0) << output;
        ZipArchive zip;
        zip.fileName = path(name + ".zip");
        zip.baseDir = path("out-" + name);
        FailureLog log;
        log.attach(zip);
        zip.open();
        EXPECT_EQ(zip.fileCount(), static_cast<int>(files.size())) << name;
        zip.extractFiles("*.*", ZipAllAttributes, "");
        EXPECT_TRUE(log.messages.empty()) << name << ": " << log.messages.front();
        expectTree(path("out-" + name), files);
        struct stat st { };
        ::stat(path("out-" + name + "/readonly.cfg").c_str(), &st);
        EXPECT_EQ(st.st_mode & 0777, 0444u) << name;
    }
}

} // namespace
} // namespace torvinel::archivetest
