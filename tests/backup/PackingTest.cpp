#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/Error.h"
#include "backup/BackupFixture.h"
#include "catalog/CatalogLine.h"
#include "catalog/FileDigest.h"
#include "catalog/Md5.h"

namespace torvinel {
namespace {

TEST(RoundUpToSectorTest, WholeSectors)
{
    const int64_t cases[][2] = {{0, 0},       {1, 2048},          {2048, 2048},
                                {2049, 4096}, {8388609, 8390656}, {int64_t(5) << 32, int64_t(5) << 32}};
    for (const auto& c : cases)
        EXPECT_EQ(roundUpToSector(c[0]), c[1]) << c[0];
}

// packFiles and the engine's events on a disc of a given room. The disc writer is a stand-in
// that records the burns (the staged names) and finishes the disc at each one.
class PackingTest : public test::BackupFixture {
protected:
    void SetUp() override
    {
        BackupFixture::SetUp();
        context = std::make_unique<BackupContext>(BackupContext{state,
                                                                view,
                                                                ZF,
                                                                *bits,
                                                                [this](const std::string& name, int64_t& free) {
                                                                    if (!name.empty()) {
                                                                        burns.push_back(stagedNames());
                                                                        free = 0;
                                                                    } else {
                                                                        free = room;
                                                                    }
                                                                    return BurnOutcome::Done;
                                                                },
                                                                {},
                                                                {},
                                                                {},
                                                                clock});
        packer = std::make_unique<BackupRun>(*context);
        packer->DiscId = "20240305001";
        packer->currentKind = 'n';
    }

    std::vector<std::string> stagedNames() const
    {
        std::vector<std::string> names;
        for (const auto& path : state.StagedFiles)
            names.push_back(path.substr(state.TempFolder.size() + 1));
        return names;
    }
    // Packs these files (in list order) onto a disc with this much room, asking no further disc.
    SortedList pack(const std::vector<std::string>& paths, int64_t discRoom)
    {
        SortedList list;
        for (const auto& p : paths)
            list.add(p);
        room = discRoom;
        state.DiscFreeBytes = discRoom;
        std::size_t position = 0;
        int resume = 0;
        packer->packFiles(list, position, false, resume);
        return list;
    }
    std::vector<std::string> staged(const std::string& name) const { return readLines(state.TempFolder + "/" + name); }

    std::unique_ptr<BackupContext> context;
    std::unique_ptr<BackupRun> packer;
    std::vector<std::vector<std::string>> burns;
    int64_t room = 0;
};

TEST_F(PackingTest, EightMebibytesGoInAnOrdinaryArchiveOneByteMoreIsSplit)
{
    const std::string exact = file("exact.zip", std::string(8388608, 'x'));
    pack({exact}, 100 << 20);
    EXPECT_EQ(stagedNames(), (std::vector<std::string>{"2024030500001rn.zip", "2024030500001rn.csv"}));
    // Stored as it is, and digested from the same read.
    const std::string line = staged("2024030500001rn.csv").at(0);
    EXPECT_EQ(line.substr(line.size() - 32), DigestHex(FileDigest(exact)));

    const std::string over = file("over.zip", std::string(8388609, 'x'));
    pack({over}, 100 << 20);
    EXPECT_EQ(stagedNames(),
              (std::vector<std::string>{"2024030500001rn.zip", "2024030500001rn.csv", "2024030500002rn_001.zip",
                                        "2024030500002rn_001.csv", "2024030500002rn.zip", "2024030500002rn.csv"}));
    EXPECT_EQ(staged("2024030500002rn_001.csv"), staged("2024030500002rn.csv"));
    EXPECT_EQ(CatalogPath(staged("2024030500002rn.csv").at(0)), over);
    EXPECT_TRUE(burns.empty());
}

TEST_F(PackingTest, AnArchiveTakesAtMost101Files)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 102; ++i)
        paths.push_back(file("f" + std::to_string(1000 + i), "x"));
    EXPECT_TRUE(pack(paths, 100 << 20).empty());
    EXPECT_EQ(staged("2024030500001rn.csv").size(), 101u);
    EXPECT_EQ(staged("2024030500002rn.csv").size(), 1u);
}

TEST_F(PackingTest, AnArchiveIsClosedOnceItGrowsPastEightMebibytes)
{
    const std::string a = file("a.zip", std::string(5 << 20, 'a'));
    const std::string b = file("b.zip", std::string(5 << 20, 'b'));
    const std::string c = file("c.zip", std::string(1, 'c'));
    pack({a, b, c}, 100 << 20);
    EXPECT_EQ(staged("2024030500001rn.csv").size(), 2u); // a and b: closed past 8 MiB
    EXPECT_EQ(staged("2024030500002rn.csv").size(), 1u);
}

TEST_F(PackingTest, RoomIsCountedInSectors)
{
    const struct {
        const char* name;
        int64_t size;
        int64_t room;
        bool fits;
    } cases[] = {
        {"zero", 0, 1, true},
        {"exact", 3 * 2048, 3 * 2048, true},
        {"one byte more", 3 * 2048 + 1, 3 * 2048, false},
    };
    for (const auto& c : cases) {
        state.StagedFiles.clear();
        state.StagedBytes = 0;
        std::filesystem::remove_all(state.TempFolder);
        std::filesystem::create_directories(state.TempFolder);
        const std::string path = file("f", std::string(static_cast<std::size_t>(c.size), 'x'));
        view.clearCalls();
        pack({path}, c.room);
        EXPECT_EQ(state.StagedFiles.size(), c.fits ? 2u : 0u) << c.name;
        // Nothing is staged, so a further disc of this size would not take it either.
        EXPECT_EQ(view.has("setText BackupProgress MessageText Warning: Too large for an empty disk: " + path),
                  !c.fits);
    }
}

TEST_F(PackingTest, AFullDiscIsBurntBeforeTheFileThatDoesNotFitAndNoFurtherDiscIsAskedFor)
{
    const std::string a = file("a.zip", std::string(3000, 'a'));
    const std::string b = file("b.zip", std::string(5000, 'b'));
    const SortedList left = pack({a, b}, 8192);
    ASSERT_EQ(burns.size(), 1u);
    EXPECT_EQ(burns[0], (std::vector<std::string>{"2024030500001rn.zip", "2024030500001rn.csv"}));
    EXPECT_EQ(left.lines(), std::vector<std::string>{b});
    EXPECT_EQ(filed("20240305001"), (std::vector<std::string>{"2024030500001rn.csv", "STATUS.INI"}));
    EXPECT_TRUE(tempEmpty());
    EXPECT_FALSE(bits->isSet(a));
    EXPECT_TRUE(bits->isSet(b));
}

TEST_F(PackingTest, ANameWithWildcardCharactersIsAddedAloneNotItsLookAlikes)
{
    const std::string star = file("a*b.txt", "star");
    file("axb.txt", "look-alike");
    file("a?b.txt", "question");
    pack({star}, 100 << 20);
    ZipArchive reader;
    reader.fileName = state.TempFolder + "/2024030500001rn.zip";
    reader.open();
    ASSERT_EQ(reader.entries().size(), 1u);
    EXPECT_EQ("/" + reader.entries()[0].name, star);
}

// A split file's line is the one of the read that packs it, in the catalog of every volume.
TEST_F(PackingTest, EveryVolumeOfASplitFileCarriesTheLineOfThePackingRead)
{
    const std::string content = test::incompressible(20000000);
    const std::string big = file("big.zip", content);
    pack({big}, 100 << 20);
    const std::string expected = formatCatalogLine(big, *platform::lastWriteStamp(big), 20000000,
                                                   DigestHex(md5(content.data(), content.size())));
    for (const char* name : {"2024030500001rn_001.csv", "2024030500001rn_002.csv", "2024030500001rn.csv"})
        EXPECT_EQ(staged(name), std::vector<std::string>{expected}) << name;
}

// Another program writes to a file while the engine reads it: what was read is no version of
// the file, so no line may claim it, no archive may hold it, and the next run must take it.
struct WriteDuringRead {
    const char* name;
    std::size_t size; // over 8 MiB: split
    void (*write)(const std::string& path);
};

class ChangedWhileRead : public PackingTest, public ::testing::WithParamInterface<WriteDuringRead> { };

const WriteDuringRead writesDuringRead[] = {
    {"SameSizeAndStamp", 3 << 20, [](const std::string& p) { test::overwriteInPlace(p, "CHANGED"); }},
    {"Truncated", 3 << 20, [](const std::string& p) { std::filesystem::resize_file(p, 1 << 20); }},
    {"SplitSameSizeAndStamp", 20000000,
     [](const std::string& p) { test::overwriteInPlace(p, "CHANGED"); }},
    {"SplitGrown", 20000000, [](const std::string& p) { std::ofstream(p, std::ios::binary | std::ios::app) << "more"; }},
    {"SplitGone", 20000000, [](const std::string& p) { std::filesystem::remove(p); }},
};

TEST_P(ChangedWhileRead, LeavesNoLineNoCopyAndTheFileMarked)
{
    const std::string a = file("a.zip", test::incompressible(GetParam().size));
    const std::string b = file("b.txt", "beta");
    bits->clear(a); // as a file in rotation: only the write marks it
    whileReading(a, [&] { GetParam().write(a); });
    EXPECT_TRUE(pack({a, b}, 100 << 20).empty());

    const std::string warning = "Warning: File changed while it was read: " + a;
    EXPECT_TRUE(view.has("setText BackupProgress MessageText " + warning)) << view.dump();
    EXPECT_TRUE(logHas(warning));
    EXPECT_TRUE(bits->isSet(a));
    // Staged are b's archive and its catalog, and nothing else is left to burn.
    std::vector<std::string> inTemp;
    for (const auto& entry : std::filesystem::directory_iterator(state.TempFolder))
        if (entry.path().filename() != "status.ini")
            inTemp.push_back(entry.path().filename().string());
    std::sort(inTemp.begin(), inTemp.end());
    std::vector<std::string> names = stagedNames();
    std::sort(names.begin(), names.end());
    ASSERT_EQ(inTemp, names);
    ASSERT_EQ(inTemp.size(), 2u);
    ASSERT_EQ(staged(inTemp[0]).size(), 1u);
    EXPECT_EQ(CatalogPath(staged(inTemp[0])[0]), b);
    ZipArchive reader;
    reader.fileName = state.TempFolder + "/" + inTemp[1];
    reader.open();
    ASSERT_EQ(reader.entries().size(), 1u);
    EXPECT_EQ("/" + reader.entries()[0].name, b);
}

INSTANTIATE_TEST_SUITE_P(Writes, ChangedWhileRead, ::testing::ValuesIn(writesDuringRead),
                         [](const auto& info) { return std::string(info.param.name); });

// The file after the one being added is read ahead, while the engine deflates: a write
// during that read leaves it out as a write during the add's own read does, and a change
// after it has the file read again at its turn, so that the entry and its line hold the file
// as it is then.
struct WriteAroundReadAhead {
    const char* name;
    bool duringReadAhead; // else while the file before it is read, after its read-ahead
    void (*write)(const std::string& path);
    const char* packed; // what the archive and the line hold of it; nullptr: left out
    bool changedWarning;
};

class ReadAhead : public PackingTest, public ::testing::WithParamInterface<WriteAroundReadAhead> { };

const WriteAroundReadAhead writesAroundReadAhead[] = {
    {"WrittenWhileReadAhead", true, [](const std::string& p) { test::overwriteInPlace(p, "CHANGED"); }, nullptr, true},
    {"SameSizeAndStampAfterReadAhead", false, [](const std::string& p) { test::overwriteInPlace(p, "CHANGED"); },
     "CHANGEDcontent", false},
    {"RewrittenAfterReadAhead", false,
     [](const std::string& p) { std::ofstream(p, std::ios::binary | std::ios::trunc) << "new, longer content"; },
     "new, longer content", false},
    {"GoneAfterReadAhead", false, [](const std::string& p) { std::filesystem::remove(p); }, nullptr, false},
};

TEST_P(ReadAhead, TheEntryAndTheLineHoldTheFileAsItsOwnReadFoundIt)
{
    const std::string a = file("a.txt", "alpha");
    const std::string b = file("b.txt", "before-content");
    bits->clear(b); // as a file in rotation: only the write marks it
    whileReading(GetParam().duringReadAhead ? b : a, [&] { GetParam().write(b); });
    EXPECT_TRUE(pack({a, b}, 100 << 20).empty());

    const std::vector<std::string> lines = staged("2024030500001rn.csv");
    ZipArchive reader;
    reader.fileName = state.TempFolder + "/2024030500001rn.zip";
    reader.open();
    reader.baseDir = dir / "out";
    ASSERT_TRUE(reader.extractFiles("*.*"));
    const std::string extracted = dir / "out" + b;
    if (GetParam().packed) {
        ASSERT_EQ(lines.size(), 2u);
        const std::string content = GetParam().packed;
        std::ifstream in(extracted, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content);
        EXPECT_EQ(lines[1],
                  formatCatalogLine(b, *platform::lastWriteStamp(b), static_cast<int64_t>(content.size()),
                                    DigestHex(md5(content.data(), content.size()))));
        EXPECT_FALSE(bits->isSet(b));
    } else {
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(CatalogPath(lines[0]), a);
        EXPECT_FALSE(std::filesystem::exists(extracted));
    }
    const std::string warning = "Warning: File changed while it was read: " + b;
    EXPECT_EQ(view.has("setText BackupProgress MessageText " + warning), GetParam().changedWarning) << view.dump();
    EXPECT_EQ(logHas(warning), GetParam().changedWarning);
    EXPECT_EQ(packer->notBackedUp().size(), GetParam().changedWarning ? 1u : 0u);
    if (GetParam().changedWarning) {
        EXPECT_TRUE(bits->isSet(b));
    }
}

INSTANTIATE_TEST_SUITE_P(Writes, ReadAhead, ::testing::ValuesIn(writesAroundReadAhead),
                         [](const auto& info) { return std::string(info.param.name); });

// Several files are read ahead at once: one rewritten or deleted after its read-ahead, while
// an earlier file is read, is read again (or left out) at its turn, and the files around it
// keep their own content and lines.
struct ChangeAfterReadAhead {
    const char* name;
    void (*write)(const std::string& path);
    const char* packed; // what the archive and the line hold of it; nullptr: left out
};

class ReadAheadOfSeveral : public PackingTest, public ::testing::WithParamInterface<ChangeAfterReadAhead> { };

const ChangeAfterReadAhead changesAfterReadAhead[] = {
    {"Rewritten", [](const std::string& p) { std::ofstream(p, std::ios::binary | std::ios::trunc) << "new, longer"; },
     "new, longer"},
    {"Deleted", [](const std::string& p) { std::filesystem::remove(p); }, nullptr},
};

TEST_P(ReadAheadOfSeveral, EachFileHoldsWhatItHoldsAtItsTurn)
{
    std::vector<std::string> paths;
    for (const char* name : {"a", "b", "c", "d", "e"})
        paths.push_back(file(name, std::string(name) + "-content"));
    const std::string changed = paths[3];
    whileReading(paths[0], [&] { GetParam().write(changed); });
    EXPECT_TRUE(pack(paths, 100 << 20).empty());

    ZipArchive reader;
    reader.fileName = state.TempFolder + "/2024030500001rn.zip";
    reader.open();
    std::vector<std::string> lines;
    for (const std::string& path : paths) {
        std::string content = path.substr(path.size() - 1) + "-content";
        if (path == changed) {
            if (!GetParam().packed)
                continue;
            content = GetParam().packed;
        }
        lines.push_back(formatCatalogLine(path, *platform::lastWriteStamp(path), static_cast<int64_t>(content.size()),
                                          DigestHex(md5(content.data(), content.size()))));
        const std::vector<const ZipEntry*> found = reader.findEntries(path.substr(1));
        ASSERT_EQ(found.size(), 1u) << path;
        std::string extracted;
        ASSERT_TRUE(reader.extractEntryTo(*found[0], dir / "out", [&](const unsigned char* d, std::size_t n) {
            extracted.append(reinterpret_cast<const char*>(d), n);
        }));
        EXPECT_EQ(extracted, content) << path;
    }
    EXPECT_EQ(reader.fileCount(), static_cast<int>(lines.size()));
    EXPECT_EQ(staged("2024030500001rn.csv"), lines);
}

INSTANTIATE_TEST_SUITE_P(Changes, ReadAheadOfSeveral, ::testing::ValuesIn(changesAfterReadAhead),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PackingTest, EngineEvents)
{
    const std::string a = file("a", "alpha");
    ZipFailureAction action = ZipFailureAction::Abort;
    try {
        packer->onProcessFileFailure(a, 25, "ZF: Write to stream error - Native error: 00046", action);
        FAIL() << "a failure on a readable file ends the run";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Error: ZF: Write to stream error - Native error: 00046 errorcode :25");
    }
    packer->onProcessFileFailure(dir / "data/gone", 12, "ZF: Cannot open file", action);
    EXPECT_EQ(action, ZipFailureAction::Ignore); // gone since it was tested: skipped, not fatal

    view.clearCalls();
    const struct {
        double percent;
        ZipOperation operation;
        const char* shown;
    } progress[] = {{55.55, ZipOperation::Add, "setPosition BackupProgress ExtraBar 556"},
                    {0, ZipOperation::Add, "setPosition BackupProgress ExtraBar 0"},
                    {100, ZipOperation::Add, nullptr},
                    {40, ZipOperation::Extract, nullptr}};
    for (const auto& p : progress) {
        view.clearCalls();
        packer->onFileProgress(p.percent, p.operation);
        EXPECT_EQ(view.countPrefix("setPosition BackupProgress ExtraBar"), p.shown ? 1 : 0) << p.percent;
        if (p.shown) {
            EXPECT_TRUE(view.has(p.shown));
        }
    }
}

} // namespace
} // namespace torvinel
