// Files read ahead of their add (prepareFile) and written later (addPrepared).
#include <sys/stat.h>
#include <utime.h>

#include "ArchiveTestSupport.h"

namespace torvinel::archivetest {
namespace {

class PreparedFileTest : public ArchiveTest {
protected:
    void SetUp() override
    {
        ArchiveTest::SetUp();
        const struct {
            const char* name;
            std::string content;
            mode_t mode;
        } files[] = {
            {"text.txt", textOf(300000, 3), 0644},
            {"photo.jpg", randomBytes(70000, 4), 0644}, // stored by mask
            {"empty", "", 0644},
            {"noise.bin", randomBytes(200000, 5), 0444},
            {"sub/\xc3\xa9t\xc3\xa9.txt", textOf(5000, 6), 0600},
            {"large.txt", textOf(3 << 20, 7), 0644},
        };
        for (const auto& f : files) {
            writeFile(path("src/" + std::string(f.name)), f.content);
            ::chmod(path("src/" + std::string(f.name)).c_str(), f.mode);
            const struct utimbuf times {
                1700000000, 1700000000
            };
            ::utime(path("src/" + std::string(f.name)).c_str(), &times);
            names.push_back(f.name);
            contents.push_back(f.content);
        }
    }
    void create(ZipArchive& zip, const std::string& name)
    {
        zip.fileName = path(name);
        zip.open(ZipOpenMode::Create);
        zip.baseDir = path("src");
    }

    std::vector<std::string> names;
    std::vector<std::string> contents;
};

// The bytes of an archive must not depend on whether its files were read ahead, by how many
// threads they were deflated, or in which archive of the engine they were read.
TEST_F(PreparedFileTest, EntriesAreTheBytesOfOrdinaryAddsWhateverTheThreads)
{
    ZipArchive sequential;
    create(sequential, "sequential.zip");
    for (const std::string& name : names)
        ASSERT_TRUE(sequential.addFiles(name));
    sequential.close();
    const std::string expected = readFile(path("sequential.zip"));

    for (const unsigned threads : {1u, 3u}) {
        // One read ahead of each add, as a backup packs.
        ZipArchive zip;
        zip.prepareThreads = threads;
        create(zip, "interleaved.zip");
        std::unique_ptr<ZipPreparedFile> ahead = zip.prepareFile(names[0]);
        for (std::size_t i = 0; i < names.size(); ++i) {
            ASSERT_TRUE(ahead) << names[i];
            std::unique_ptr<ZipPreparedFile> current = std::move(ahead);
            if (i + 1 < names.size())
                ahead = zip.prepareFile(names[i + 1]);
            EXPECT_TRUE(zip.addPrepared(*current));
        }
        zip.close();
        EXPECT_EQ(readFile(path("interleaved.zip")), expected) << threads << " threads";

        // All of them read while another archive was open, and written into the next one;
        // each content shown to its inspector (on a worker) before its entry is written,
        // stored files too, and the entries unchanged by it.
        create(zip, "other.zip");
        std::vector<std::unique_ptr<ZipPreparedFile>> prepared;
        std::vector<std::string> inspected(names.size(), "not inspected");
        for (std::size_t i = 0; i < names.size(); ++i)
            prepared.push_back(zip.prepareFile(names[i], [&inspected, i](const std::vector<unsigned char>& content) {
                inspected[i].assign(content.begin(), content.end());
            }));
        zip.close();
        create(zip, "next.zip");
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_TRUE(zip.addPrepared(*prepared[i]));
            EXPECT_EQ(inspected[i], contents[i]) << names[i];
        }
        zip.close();
        EXPECT_EQ(readFile(path("next.zip")), expected) << threads << " threads";
    }
}

// The caller digests the content from the read that prepares it, as from an add's own read;
// writing the entry later reads nothing and raises no event.
TEST_F(PreparedFileTest, EventsComeFromThePrepareAndTheEntryKeepsWhatItRead)
{
    ZipArchive zip;
    create(zip, "a.zip");
    std::string seen;
    std::vector<ZipProgressPhase> phases;
    zip.onFileData = [&](const unsigned char* data, std::size_t size) {
        seen.append(reinterpret_cast<const char*>(data), size);
    };
    zip.onFileProgress = [&](ZipArchive&, const std::string& name, double, ZipOperation operation,
                             ZipProgressPhase phase, bool&) {
        EXPECT_EQ(name, "large.txt");
        EXPECT_EQ(operation, ZipOperation::Add);
        if (phases.empty() || phases.back() != phase)
            phases.push_back(phase);
    };
    std::unique_ptr<ZipPreparedFile> prepared = zip.prepareFile("large.txt");
    ASSERT_TRUE(prepared);
    EXPECT_EQ(seen, contents[5]);
    EXPECT_EQ(
        phases,
        (std::vector<ZipProgressPhase>{ZipProgressPhase::Start, ZipProgressPhase::Process, ZipProgressPhase::End}));

    // Changed after its read: the entry is what was read, whole and sound.
    writeFile(path("src/large.txt"), "changed since");
    seen.clear();
    phases.clear();
    EXPECT_TRUE(zip.addPrepared(*prepared));
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(phases.empty());
    zip.baseDir = path("out");
    zip.onFileProgress = nullptr;
    ASSERT_TRUE(zip.extractFiles("*.*"));
    EXPECT_EQ(readFile(path("out/large.txt")), contents[5]);
}

// Nothing to prepare: null, no report, and the archive untouched; addFiles meets the failure
// and reports it when the file's turn comes.
TEST_F(PreparedFileTest, WhatCannotBePreparedIsNullAndNotReported)
{
    writeFile(path("src/limit.bin"), std::string(16u << 20, 'x'));
    writeFile(path("src/under.bin"), std::string((16u << 20) - 1, 'x'));
    ZipArchive zip;
    create(zip, "a.zip");
    ASSERT_TRUE(zip.addFiles("text.txt"));
    const std::string before = readFile(path("a.zip"));
    int reports = 0;
    zip.onProcessFileFailure = [&](ZipArchive&, const std::string&, ZipOperation, int, int, const std::string&,
                                   ZipFailureAction& action) {
        ++reports;
        action = ZipFailureAction::Ignore;
    };
    bool cancelAt = false;
    ZipProgressPhase cancelPhase = ZipProgressPhase::Start;
    zip.onFileProgress = [&](ZipArchive&, const std::string&, double, ZipOperation, ZipProgressPhase phase,
                             bool& cancel) { cancel = cancelAt && phase == cancelPhase; };
    const struct {
        const char* name;
        std::string file;
        bool cancel;
        ZipProgressPhase phase;
    } cases[] = {
        {"missing", "gone.txt", false, {}},
        {"folder", "sub", false, {}},
        {"the archive itself", "../a.zip", false, {}},
        {"WholeEntryLimit", "limit.bin", false, {}},
        {"cancelled at the start", "text.txt", true, ZipProgressPhase::Start},
        {"cancelled at the end", "text.txt", true, ZipProgressPhase::End},
    };
    for (const auto& c : cases) {
        cancelAt = c.cancel;
        cancelPhase = c.phase;
        EXPECT_EQ(zip.prepareFile(c.file), nullptr) << c.name;
    }
    cancelAt = false;
    EXPECT_NE(zip.prepareFile("under.bin"), nullptr); // one byte less is prepared
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(readFile(path("a.zip")), before);
}

TEST_F(PreparedFileTest, ASplitArchiveRefusesAPreparedFile)
{
    ZipArchive zip;
    create(zip, "a.zip");
    std::unique_ptr<ZipPreparedFile> prepared = zip.prepareFile("text.txt");
    ASSERT_TRUE(prepared);
    zip.close();

    zip.setSpanningMode(ZipSpanningMode::Splitting);
    zip.onRequestBlankVolume = [](ZipArchive&, int, std::string&, bool&) {};
    create(zip, "split.zip");
    EXPECT_THROW(zip.addPrepared(*prepared), ZipError);
}

} // namespace
} // namespace torvinel::archivetest
