// Ordinary archives: adding, extracting, settings, refusals and the table's messages.
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <utime.h>

#include "ArchiveTestSupport.h"
#include "archive/internal/DosTime.h"

namespace torvinel::archivetest {
namespace {

struct Source {
    std::string name;
    std::string content;
    mode_t mode;
};

class ArchiverTest : public ArchiveTest {
protected:
    // Packs files the way the program does: one add per file, a relative path below BaseDir.
    void pack(const std::vector<Source>& files, const std::string& archive)
    {
        ZipArchive zip;
        zip.fileName = archive;
        zip.open(ZipOpenMode::Create);
        zip.baseDir = path("src");
        for (const Source& f : files)
            zip.addFiles(f.name, ZipAllAttributes, "");
        zip.close();
    }
    void makeSources(const std::vector<Source>& files)
    {
        for (const Source& f : files) {
            writeFile(path("src/" + f.name), f.content);
            ::chmod(path("src/" + f.name).c_str(), f.mode);
            const struct utimbuf times {
                1700000000, 1700000000
            }; // an even second
            ::utime(path("src/" + f.name).c_str(), &times);
        }
    }
};

TEST_F(ArchiverTest, RoundTripKeepsBytesStampsAndModes)
{
    const std::vector<Source> files = {
        {"Data/Letters/a.doc", textOf(300000), 0644},
        {"Data/photo.JPG", randomBytes(70000), 0640},
        {"Data/noise.bin", randomBytes(50000, 3), 0600},
        {"empty.txt", "", 0644},
        {"readonly.txt", "keep me", 0444},
        {"Music/song.Mp3", textOf(1000), 0644},
    };
    makeSources(files);
    pack(files, path("a.zip"));

    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open();
    EXPECT_EQ(zip.fileCount(), 6);
    EXPECT_EQ(zip.size(), static_cast<int64_t>(fs::file_size(path("a.zip"))));
    for (const ZipEntry& e : zip.entries()) {
        // The no-compression masks match regardless of letter case.
        const bool masked = e.name.ends_with(".JPG") || e.name.ends_with(".Mp3");
        EXPECT_EQ(e.method, masked ? 0 : 8) << e.name;
        EXPECT_EQ(e.versionMadeBy >> 8, 3) << e.name; // Unix mode recorded
        EXPECT_EQ(e.flags & 0x0800, 0) << e.name;     // ASCII names stay unflagged
        if (e.name == "Data/Letters/a.doc") {
            EXPECT_LT(e.compressedSize, e.uncompressedSize / 4); // the text really is deflated
        }
    }
    zip.baseDir = path("out");
    ASSERT_TRUE(zip.extractFiles("*.*", ZipAllAttributes, ""));
    zip.close();

    for (const Source& f : files) {
        const std::string out = path("out/" + f.name);
        EXPECT_EQ(readFile(out), f.content) << f.name;
        struct stat st { };
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, f.mode) << f.name;
        EXPECT_EQ(st.st_mtime, 1700000000) << f.name;
    }
}

TEST_F(ArchiverTest, ExtractsOneEntryByItsPathAndReplacesAReadOnlyFile)
{
    const std::vector<Source> files = {{"Data/Letters/a.doc", "new text", 0444}, {"Data/Letters/b.doc", "other", 0644}};
    makeSources(files);
    pack(files, path("a.zip"));
    writeFile(path("R/c/Data/Letters/a.doc"), "old text that is longer");
    ::chmod(path("R/c/Data/Letters/a.doc").c_str(), 0444);

    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.baseDir = path("R/c");
    zip.open();
    zip.extractFiles("Data/Letters/a.doc", ZipAllAttributes, "");
    zip.close();

    EXPECT_EQ(readFile(path("R/c/Data/Letters/a.doc")), "new text");
    EXPECT_FALSE(fs::exists(path("R/c/Data/Letters/b.doc")));
    struct stat st { };
    ::stat(path("R/c/Data/Letters/a.doc").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(st.st_mtime, 1700000000);
}

TEST_F(ArchiverTest, ExtractEntryToTakesTheExactNameAndHandsOverItsContent)
{
    // Names a wildcard mask, letter case or a file name alone would also select.
    // The large one's content is handed over on another thread, the small one's in line.
    const std::vector<Source> files = {{"Data/a?.txt", textOf(300000), 0600},
                                       {"Data/ab.txt", "ab", 0644},
                                       {"Data/A?.txt", "upper", 0644},
                                       {"a?.txt", "top", 0644}};
    makeSources(files);
    pack(files, path("a.zip"));

    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open();
    EXPECT_TRUE(zip.findEntries("Data").empty()); // a folder is no file entry
    EXPECT_TRUE(zip.findEntries("Data/*.txt").empty());
    const std::vector<const ZipEntry*> found = zip.findEntries("Data/a?.txt");
    ASSERT_EQ(found.size(), 1u);
    fs::create_directories(path("elsewhere"));
    std::string seen;
    ASSERT_TRUE(zip.extractEntryTo(*found[0], path("elsewhere/copy"), [&](const unsigned char* data, std::size_t size) {
        seen.append(reinterpret_cast<const char*>(data), size);
    }));
    std::string seenSmall;
    ASSERT_TRUE(zip.extractEntryTo(*zip.findEntries("Data/ab.txt").at(0), path("elsewhere/ab"),
                                   [&](const unsigned char* data, std::size_t size) {
                                       seenSmall.append(reinterpret_cast<const char*>(data), size);
                                   }));
    // Another entry from the same open archive, over an existing file.
    writeFile(path("elsewhere/top"), "older and longer");
    ASSERT_TRUE(zip.extractEntryTo(*zip.findEntries("a?.txt").at(0), path("elsewhere/top")));
    zip.close();

    EXPECT_EQ(seen, files[0].content);
    EXPECT_EQ(seenSmall, "ab");
    EXPECT_EQ(readFile(path("elsewhere/copy")), files[0].content);
    EXPECT_EQ(readFile(path("elsewhere/top")), "top");
    EXPECT_EQ(std::distance(fs::directory_iterator(path("elsewhere")), fs::directory_iterator()), 3);
    struct stat st { };
    ASSERT_EQ(::stat(path("elsewhere/copy").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // not the mode a copy would give
    EXPECT_EQ(st.st_mtime, 1700000000);
}

TEST_F(ArchiverTest, BackupAndRestoreCallsUseThePathBelowTheRoot)
{
    // Packing passes BaseDir "/" and the path without its first character; restoring passes
    // the target's group folder and the same relative path.
    writeFile(path("src/Data/a.doc"), "alpha");
    const std::string relative = path("src/Data/a.doc").substr(1);
    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = "/";
    zip.addFiles(relative, ZipAllAttributes, "");
    EXPECT_EQ(zip.entries().at(0).name, relative);
    zip.close();
    zip.baseDir = path("target/r");
    zip.open();
    zip.extractFiles(relative, ZipAllAttributes, "");
    EXPECT_EQ(readFile(path("target/r/" + relative)), "alpha");
}

TEST_F(ArchiverTest, WildcardAddMakesFolderEntriesThatAreNotCounted)
{
    writeFile(path("src/Data/Letters/a.doc"), "a");
    writeFile(path("src/Data/Letters/b.doc"), "b");
    writeFile(path("src/Data/Sheets/c.xls"), "c");
    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    zip.addFiles("*.*", ZipAllAttributes, "");
    std::vector<std::string> names;
    for (const ZipEntry& e : zip.entries())
        names.push_back(e.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Data/", "Data/Letters/", "Data/Letters/a.doc", "Data/Letters/b.doc",
                                        "Data/Sheets/", "Data/Sheets/c.xls"}));
    EXPECT_EQ(zip.fileCount(), 3);
    zip.close();

    zip.fileName = path("a.zip");
    zip.open();
    EXPECT_EQ(zip.fileCount(), 3);
    zip.baseDir = path("R/c");
    zip.extractFiles("*.*", ZipAllAttributes, "");
    EXPECT_EQ(readFile(path("R/c/Data/Sheets/c.xls")), "c");
    EXPECT_TRUE(fs::is_directory(path("R/c/Data/Letters")));
}

TEST_F(ArchiverTest, ExclusionMaskAndAttributeFilterLeaveFilesOut)
{
    writeFile(path("src/keep.txt"), "k");
    writeFile(path("src/skip.log"), "s");
    writeFile(path("src/sub/deep.txt"), "d");
    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    zip.addFiles("*", ZipAllAttributes & ~0x10u, "*.log"); // no folder bit: no folder entries
    std::vector<std::string> names;
    for (const ZipEntry& e : zip.entries())
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"keep.txt", "sub/deep.txt"}));
}

TEST_F(ArchiverTest, MissingArchiveIsCreatedEmptyAndValid)
{
    ZipArchive zip;
    zip.fileName = path("new.zip");
    zip.baseDir = path("out");
    zip.open();
    EXPECT_TRUE(zip.extractFiles("*.*", ZipAllAttributes, ""));
    EXPECT_EQ(zip.fileCount(), 0);
    zip.close();
    zip.close(); // closing twice does nothing
    EXPECT_FALSE(fs::exists(path("out")));
    EXPECT_EQ(fs::file_size(path("new.zip")), 22u);
    zip.open();
    EXPECT_EQ(zip.fileCount(), 0);
}

TEST_F(ArchiverTest, ReadOnlyArchiveExtractsButRefusesAdds)
{
    makeSources({{"a.txt", "alpha", 0644}});
    pack({{"a.txt", "", 0}}, path("a.zip"));
    ::chmod(path("a.zip").c_str(), 0444);
    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open();
    EXPECT_TRUE(zip.isReadOnly());
    zip.baseDir = path("out");
    zip.extractFiles("*.*", ZipAllAttributes, "");
    EXPECT_EQ(readFile(path("out/a.txt")), "alpha");
    zip.baseDir = path("src");
    try {
        zip.addFiles("a.txt", ZipAllAttributes, "");
        FAIL() << "add on a read-only archive";
    } catch (const ZipError& e) {
        EXPECT_STREQ(e.what(), "ZF: File is open in read-only mode - Native error: 00032");
        EXPECT_EQ(e.errorCode(), 16);
    }
}

// An archive kept inside another file (a disc image) reads as the part it is: what lies
// around it is not seen, and nothing is written.
TEST_F(ArchiverTest, ArchiveInsideAnotherFileReadsAsItsPart)
{
    const std::vector<Source> files = {{"a.doc", textOf(300000), 0644}, {"b.bin", randomBytes(5000), 0600}};
    makeSources(files);
    pack(files, path("a.zip"));
    pack({files[1]}, path("other.zip")); // a reader that looked past the part would find its end record
    const std::string before = randomBytes(6144, 9);
    const std::string archive = readFile(path("a.zip"));
    const std::string image = before + archive + readFile(path("other.zip"));
    writeFile(path("image.iso"), image);

    ZipArchive zip;
    zip.fileName = path("image.iso/a.zip");
    zip.openPart(path("image.iso"), before.size(), archive.size());
    EXPECT_TRUE(zip.isReadOnly());
    EXPECT_EQ(zip.fileCount(), 2);
    fs::create_directories(path("out"));
    for (const Source& f : files) {
        ASSERT_TRUE(zip.extractEntryTo(*zip.findEntries(f.name).at(0), path("out/" + f.name)));
        EXPECT_EQ(readFile(path("out/" + f.name)), f.content) << f.name;
    }
    zip.baseDir = path("src");
    EXPECT_THROW(zip.addFiles("a.doc", ZipAllAttributes, ""), ZipError);
    zip.close();
    EXPECT_EQ(readFile(path("image.iso")), image);

    // A part cut short lacks its end record.
    ZipArchive cut;
    cut.fileName = zip.fileName;
    EXPECT_THROW(cut.openPart(path("image.iso"), before.size(), archive.size() - 10), ZipError);
    EXPECT_FALSE(cut.isOpen());
}

TEST_F(ArchiverTest, RefusalsCarryTheirMessages)
{
    ZipArchive zip;
    const auto message = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    zip.fileName = path("folder/");
    EXPECT_EQ(message([&] { zip.open(ZipOpenMode::Create); }),
              "ZF: File name is blank. Specify appropriate file name - Native error: 00009");
    EXPECT_EQ(message([&] { zip.addFiles("x", ZipAllAttributes, ""); }),
              "ZF: Archive is not open - Native error: 00013");
    EXPECT_EQ(message([&] { zip.extractFiles("*.*", ZipAllAttributes, ""); }),
              "ZF: Archive is not open - Native error: 00013");
    EXPECT_EQ(message([&] { zip.size(); }), "ZF: Archive is not open - Native error: 00013");
    EXPECT_EQ(message([&] { zip.setCompressionMode(10); }), "Invalid compression mode. Mode must be in [0-9] range");
    writeFile(path("junk.zip"), "this is not an archive at all, just some text");
    zip.fileName = path("junk.zip");
    EXPECT_EQ(message([&] { zip.open(); }), "ZF: Archive is damaged. Open failed - Native error: 00048");
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    EXPECT_EQ(message([&] { zip.setSpanningMode(ZipSpanningMode::Splitting); }),
              "Cannot set spanning mode on open archive");
}

TEST_F(ArchiverTest, CompressionLevelAndModeFollowEachOther)
{
    ZipArchive zip;
    EXPECT_EQ(zip.compressionLevel(), ZipCompressionLevel::Normal);
    EXPECT_EQ(zip.compressionMode(), 6);
    const std::pair<int, ZipCompressionLevel> table[] = {
        {0, ZipCompressionLevel::None},   {1, ZipCompressionLevel::Fastest}, {3, ZipCompressionLevel::Fastest},
        {4, ZipCompressionLevel::Normal}, {6, ZipCompressionLevel::Normal},  {7, ZipCompressionLevel::Max},
        {9, ZipCompressionLevel::Max}};
    for (const auto& [mode, level] : table) {
        zip.setCompressionMode(mode);
        EXPECT_EQ(zip.compressionLevel(), level) << mode;
    }
    zip.setCompressionLevel(ZipCompressionLevel::Max);
    EXPECT_EQ(zip.compressionMode(), 9);
    zip.setCompressionLevel(ZipCompressionLevel::None);
    EXPECT_EQ(zip.compressionMode(), 0);
    // Mode 0 stores everything.
    writeFile(path("src/a.txt"), textOf(10000));
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    zip.addFiles("a.txt", ZipAllAttributes, "");
    EXPECT_EQ(zip.entries().at(0).method, 0);
}

TEST_F(ArchiverTest, MissingFileGoesToTheFailureHandlerAndLeavesTheArchiveAsItWas)
{
    makeSources({{"a.txt", "alpha", 0644}});
    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    zip.addFiles("a.txt", ZipAllAttributes, "");
    const std::string before = readFile(path("a.zip"));

    // The program's handler turns the report into its own error.
    zip.onProcessFileFailure = [](ZipArchive&, const std::string&, ZipOperation, int, int code,
                                  const std::string& message, ZipFailureAction&) {
        throw Error("Error: " + message + " errorcode :" + std::to_string(code));
    };
    try {
        zip.addFiles("gone.txt", ZipAllAttributes, "");
        FAIL() << "a missing file was added";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Error: ZF: File \"" + path("src/gone.txt") + "\" not found - Native error: 00011 errorcode :6");
    }
    EXPECT_EQ(readFile(path("a.zip")), before);
    EXPECT_EQ(zip.fileCount(), 1);

    // Without a handler the engine's own error is raised.
    zip.onProcessFileFailure = nullptr;
    EXPECT_THROW(zip.addFiles("gone.txt", ZipAllAttributes, ""), ZipError);
    // With ZipFailureAction::Ignore the file is left out and the rest goes on.
    FailureLog log;
    log.attach(zip);
    EXPECT_TRUE(zip.addFiles("gone.txt", ZipAllAttributes, ""));
    ASSERT_EQ(log.codes, std::vector<int>{6});
    EXPECT_EQ(log.files, std::vector<std::string>{"gone.txt"});
    zip.close();
    zip.open();
    EXPECT_EQ(zip.fileCount(), 1);
}

TEST_F(ArchiverTest, FailureInTheMiddleOfAnAddUndoesTheWholeAdd)
{
    writeFile(path("src/first.txt"), textOf(5000));
    writeFile(path("src/more/one.txt"), textOf(3000000, 2));
    writeFile(path("src/more/two.txt"), textOf(3000000, 3));
    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    zip.addFiles("first.txt", ZipAllAttributes, "");
    const std::string before = readFile(path("a.zip"));

    // A handler that fails half-way through the second file of the add.
    zip.onFileProgress = [](ZipArchive&, const std::string& name, double percent, ZipOperation, ZipProgressPhase phase,
                            bool&) {
        if (name == "more/two.txt" && phase == ZipProgressPhase::Process && percent > 10)
            throw Error("stopped");
    };
    EXPECT_THROW(zip.addFiles("more/*.txt", ZipAllAttributes, ""), Error);
    EXPECT_EQ(readFile(path("a.zip")), before);
    EXPECT_EQ(zip.fileCount(), 1);

    // Cancelling through the flag also keeps nothing of the call.
    zip.onFileProgress = [](ZipArchive&, const std::string&, double, ZipOperation, ZipProgressPhase phase,
                            bool& cancel) { cancel = phase == ZipProgressPhase::Process; };
    EXPECT_FALSE(zip.addFiles("more/*.txt", ZipAllAttributes, ""));
    EXPECT_EQ(readFile(path("a.zip")), before);

    zip.onFileProgress = nullptr;
    EXPECT_TRUE(zip.addFiles("more/*.txt", ZipAllAttributes, ""));
    EXPECT_EQ(zip.fileCount(), 3);
}

// An append whose last write (its data and the new directory, at commit) fails keeps the
// archive as it was, on disk and in the engine's directory, and the next add goes on from it.
TEST_F(ArchiverTest, AnAppendThatFailsAtItsCommitLeavesTheArchiveAsItWas)
{
    writeFile(path("src/first.txt"), textOf(5000));
    writeFile(path("src/second.bin"), randomBytes(20000, 9));
    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    ASSERT_TRUE(zip.addFiles("first.txt"));
    const std::string before = readFile(path("a.zip"));

    // The file may not grow by much: the write of the new entry fails with EFBIG.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = before.size() + 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(zip.addFiles("second.bin"), ZipError);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(readFile(path("a.zip")), before);
    ASSERT_EQ(zip.entries().size(), 1u);
    EXPECT_EQ(zip.entries()[0].name, "first.txt");
    // Another file in the failed one's place: nothing of the failed entry may be listed.
    writeFile(path("src/third.txt"), "third");
    ASSERT_TRUE(zip.addFiles("third.txt"));
    ASSERT_TRUE(zip.addFiles("second.bin"));
    zip.close();
    ZipArchive reader;
    reader.fileName = path("a.zip");
    reader.open();
    ASSERT_EQ(reader.entries().size(), 3u);
    EXPECT_EQ(reader.entries()[1].name, "third.txt");
    EXPECT_EQ(reader.entries()[1].uncompressedSize, 5u);
    EXPECT_EQ(reader.entries()[2].name, "second.bin");
}

TEST_F(ArchiverTest, AddingTheSameNameAgainReplacesTheEntry)
{
    writeFile(path("src/a.txt"), randomBytes(40000));
    writeFile(path("src/b.txt"), "bee");
    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    zip.addFiles("a.txt", ZipAllAttributes, "");
    zip.addFiles("b.txt", ZipAllAttributes, "");
    writeFile(path("src/a.txt"), "short now");
    ::chmod(path("a.zip").c_str(), 0640);
    std::vector<ZipOperation> operations;
    zip.onFileProgress = [&](ZipArchive&, const std::string&, double, ZipOperation op, ZipProgressPhase phase, bool&) {
        if (phase == ZipProgressPhase::Start)
            operations.push_back(op);
    };
    zip.addFiles("a.txt", ZipAllAttributes, "");
    EXPECT_EQ(operations, std::vector<ZipOperation>{ZipOperation::Update});
    EXPECT_EQ(zip.fileCount(), 2);
    EXPECT_LT(zip.size(), 1000); // the old data is gone, not left as dead space
    EXPECT_EQ(fs::status(path("a.zip")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    zip.baseDir = path("out");
    zip.extractFiles("*.*", ZipAllAttributes, "");
    EXPECT_EQ(readFile(path("out/a.txt")), "short now");
    EXPECT_EQ(readFile(path("out/b.txt")), "bee");
}

TEST_F(ArchiverTest, ProgressRunsFromStartToEndForAddAndExtract)
{
    writeFile(path("src/dir/big.txt"), textOf(5 << 20));
    ZipArchive zip;
    std::vector<std::tuple<std::string, double, ZipOperation, ZipProgressPhase>> events;
    zip.onFileProgress = [&](ZipArchive&, const std::string& name, double percent, ZipOperation op,
                             ZipProgressPhase phase, bool&) { events.emplace_back(name, percent, op, phase); };
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    zip.addFiles("dir/big.txt", ZipAllAttributes, "");
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events.front(),
              std::make_tuple(std::string("dir/big.txt"), 0.0, ZipOperation::Add, ZipProgressPhase::Start));
    EXPECT_EQ(events.back(),
              std::make_tuple(std::string("dir/big.txt"), 100.0, ZipOperation::Add, ZipProgressPhase::End));
    double last = 0;
    for (std::size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(std::get<3>(events[i]), ZipProgressPhase::Process);
        EXPECT_GE(std::get<1>(events[i]), last);
        last = std::get<1>(events[i]);
    }
    events.clear();
    zip.baseDir = path("out");
    zip.extractFiles("*.*", ZipAllAttributes, "");
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(std::get<2>(events.front()), ZipOperation::Extract);
    EXPECT_EQ(std::get<3>(events.back()), ZipProgressPhase::End);
}

// A cancel inside a large entry stops within the next buffer, not at the entry's end, and
// leaves no partial file; the entries finished before it stay.
TEST_F(ArchiverTest, CancelInsideALargeEntryStopsAndLeavesNoPartialFile)
{
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"big.txt", textOf(24 << 20)},      // deflated
        {"big.JPG", randomBytes(24 << 20)}, // stored
    };
    writeFile(path("src/first.txt"), "kept");
    for (const auto& [name, content] : entries)
        writeFile(path("src/" + name), content);
    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    zip.addFiles("first.txt", ZipAllAttributes, "");
    for (const auto& entry : entries)
        zip.addFiles(entry.first, ZipAllAttributes, "");

    for (const auto& [name, content] : entries) {
        SCOPED_TRACE(name);
        const std::string out = path("out-" + name);
        int chunks = 0;
        double reached = 0;
        zip.onFileProgress = [&](ZipArchive&, const std::string& entry, double percent, ZipOperation,
                                 ZipProgressPhase phase, bool& cancel) {
            if (entry != name || phase != ZipProgressPhase::Process)
                return;
            ++chunks;
            reached = percent;
            cancel = true; // after the first chunk
        };
        zip.baseDir = out;
        EXPECT_FALSE(zip.extractFiles("*.*", ZipAllAttributes, ""));
        EXPECT_EQ(chunks, 1);
        EXPECT_LT(reached, 10.0); // a buffer or two of 24 MiB
        EXPECT_FALSE(fs::exists(out + "/" + name));
        EXPECT_EQ(readFile(out + "/first.txt"), "kept");
    }
}

TEST_F(ArchiverTest, NonAsciiNamesAreUtf8WithTheFlagAndOtherBytesStayAsTheyAre)
{
    const std::string utf8 = "Gr\xc3\xbc\xc3\x9f"
                             "e/na\xc3\xafve \xe2\x82\xac.txt"; // Grüße/naïve €.txt
    const std::string raw = "caf\x82.txt";                      // not UTF-8: kept as the file system's bytes
    const std::string backslash = "back\\slash.txt";            // an ordinary character on POSIX
    writeFile(path("src/" + utf8), "utf");
    writeFile(path("src/" + raw), "raw");
    writeFile(path("src/" + backslash), "bs");
    ZipArchive zip;
    zip.fileName = path("a.zip");
    zip.open(ZipOpenMode::Create);
    zip.baseDir = path("src");
    zip.addFiles(utf8, ZipAllAttributes, "");
    zip.addFiles(raw, ZipAllAttributes, "");
    zip.addFiles(backslash, ZipAllAttributes, "");
    EXPECT_EQ(zip.entries().at(0).flags & 0x0800, 0x0800);
    EXPECT_EQ(zip.entries().at(1).flags & 0x0800, 0);
    zip.baseDir = path("out");
    zip.extractFiles(raw, ZipAllAttributes, "");
    zip.extractFiles(utf8, ZipAllAttributes, "");
    zip.extractFiles(backslash, ZipAllAttributes, "");
    zip.close();
    EXPECT_EQ(readFile(path("out/" + backslash)), "bs");
    EXPECT_EQ(readFile(path("out/" + utf8)), "utf");
    EXPECT_EQ(readFile(path("out/" + raw)), "raw");

    // The same entries from a DOS host: unflagged names are code page 437 (0x82 is "é") and
    // "\" separates folders.
    std::string bytes = readFile(path("a.zip"));
    const std::string signature("PK\x01\x02", 4);
    for (std::size_t at = bytes.find(signature); at != std::string::npos; at = bytes.find(signature, at + 1))
        bytes[at + 5] = 0; // host byte of "version made by"
    writeFile(path("dos.zip"), bytes);
    zip.fileName = path("dos.zip");
    zip.baseDir = path("dos");
    zip.open();
    zip.extractFiles("*.*", ZipAllAttributes, "");
    EXPECT_EQ(readFile(path("dos/caf\xc3\xa9.txt")), "raw");
    EXPECT_EQ(readFile(path("dos/back/slash.txt")), "bs");
    EXPECT_EQ(readFile(path("dos/" + utf8)), "utf");
}

} // namespace
} // namespace torvinel::archivetest
