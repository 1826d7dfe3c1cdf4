#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "app/Error.h"
#include "recovery/RecoveryData.h"
#include "support/RecoveryHeaderBytes.h"
#include "support/TempDir.h"

namespace torvinel {
namespace {

std::string bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The files below folder, by their names there.
std::set<std::string> filesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (!entry.is_directory())
            names.insert(std::filesystem::relative(entry.path(), folder).generic_string());
    return names;
}

// A disc folder with files of awkward sizes, its recovery file, and a damaged reading of both.
class RecoveryFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::mt19937 random(5);
        for (const auto& [name, size] : std::vector<std::pair<std::string, std::size_t>>{
                 {"2026121000001rn.zip", 3'000'001}, {"2026121000001rn.csv", 300}, {"STATUS.INI", 0},
                 {"index/Catalogs.zip", 40'000}, {"2026121000002rn.zip", 1'500'000}}) {
            std::string bytes(size, '\0');
            for (auto& c : bytes)
                c = static_cast<char>(random());
            dir.write("disc/" + name, bytes);
            files.push_back({name, size, {}});
            files.back().md5[0] = static_cast<uint8_t>(size); // carried, not checked here
        }
        writeRecoveryFile(dir / "disc", files, 12, dir / "RECOVERY.DAT");
        recovery = bytesOf(dir / "RECOVERY.DAT");
        for (const auto& file : files)
            contents.push_back(bytesOf(dir / ("disc/" + file.name)));
    }
    // Reads as a damaged disc would: the blocks in `bad` of the data stream come back wrong.
    DiscRepair repair(const std::set<std::pair<std::size_t, uint64_t>>& bad, const std::string& recoveryFile)
    {
        const auto header = readRecoveryHeader(reader(recoveryFile), recoveryFile.size());
        EXPECT_TRUE(header);
        if (!header)
            return {};
        return repairDisc(*header, damagedData(bad), reader(recoveryFile), dir / "out");
    }
    ProtectedBlockRead damagedData(const std::set<std::pair<std::size_t, uint64_t>>& bad,
                                   std::set<std::pair<std::size_t, uint64_t>>* read = nullptr)
    {
        return [this, bad, read](std::size_t file, uint64_t block, uint8_t* out) {
            if (read)
                read->insert({file, block});
            std::memset(out, 0, RecoveryBlockSize);
            const std::string& content = contents[file];
            const std::size_t at = block * RecoveryBlockSize;
            std::memcpy(out, content.data() + at, std::min<std::size_t>(RecoveryBlockSize, content.size() - at));
            if (bad.contains({file, block}))
                out[block % RecoveryBlockSize] ^= 0x40; // read wrong: only its CRC tells
            return true;
        };
    }
    static RecoveryFileRead reader(const std::string& bytes)
    {
        return [&bytes](uint64_t offset, std::size_t length, uint8_t* out) {
            if (offset + length > bytes.size())
                return false;
            std::memcpy(out, bytes.data() + offset, length);
            return true;
        };
    }

    test::TempDir dir;
    std::vector<ProtectedFile> files;
    std::vector<std::string> contents;
    std::string recovery;
};

TEST_F(RecoveryFileTest, ADamagedDiscAndADamagedFirstHeaderAreRepairedByteForByte)
{
    std::set<std::pair<std::size_t, uint64_t>> bad;
    std::mt19937 random(9);
    for (int i = 0; i < 120; ++i) // about 5 % of the 2,258 data blocks
        bad.insert({0, random() % 1465});
    for (uint64_t b = 100; b < 123; ++b) // a burst of 1 %
        bad.insert({4, b});
    bad.insert({3, 19}); // the index's last, partly filled block
    std::string damaged = recovery;
    for (std::size_t i = 100; i < 4000; ++i) // the first copy of the header
        damaged[i] = 0;

    const DiscRepair result = repair(bad, damaged);
    EXPECT_EQ(result.count.lostData, bad.size());
    EXPECT_EQ(result.count.rebuilt, bad.size());
    EXPECT_EQ(result.lostMetadata, 2u); // the two blocks of the first copy zeroed
    EXPECT_TRUE(result.lostFiles.empty());
    for (std::size_t f = 0; f < files.size(); ++f)
        EXPECT_TRUE(bytesOf(dir / ("out/" + files[f].name)) == contents[f]) << files[f].name;
}

TEST_F(RecoveryFileTest, FilesBeyondRepairAreNamedAndTheRestComeBackWhole)
{
    // Every block of the second archive's first stripe rows read wrong: far beyond the parity.
    std::set<std::pair<std::size_t, uint64_t>> bad;
    for (uint64_t b = 0; b < 700; ++b)
        bad.insert({4, b});
    const DiscRepair result = repair(bad, recovery);
    EXPECT_EQ(result.lostFiles, std::vector<std::string>{"2026121000002rn.zip"});
    EXPECT_FALSE(result.count.unrecoverable.empty());
    for (std::size_t f = 0; f < 4; ++f)
        EXPECT_TRUE(bytesOf(dir / ("out/" + files[f].name)) == contents[f]) << files[f].name;
    EXPECT_EQ(bytesOf(dir / ("out/" + files[4].name)).size(), contents[4].size());
}

// The count of what is lost, made without decoding, must agree with what a repair then does.
TEST_F(RecoveryFileTest, TheDamageCountTellsAheadWhetherTheRepairWillSucceed)
{
    const auto header = readRecoveryHeader(reader(recovery), recovery.size());
    ASSERT_TRUE(header);
    const uint64_t parityOffset = headerBytes(files, header->dataBlocks(), header->parityBlocks());
    const uint64_t m = static_cast<uint64_t>(header->shape.parityShards);
    const uint64_t width = header->shape.width;
    // Blocks i and i + width lie in one codeword; i and i + 1 side by side in two.
    const auto column = [&](uint64_t first, uint64_t count, uint64_t step) {
        std::set<std::pair<std::size_t, uint64_t>> bad;
        for (uint64_t i = 0; i < count; ++i)
            bad.insert({0, first + i * step});
        return bad;
    };
    struct Case {
        const char* what;
        std::set<std::pair<std::size_t, uint64_t>> bad;
        std::set<uint64_t> badParity; // parity blocks, of the stream of them
        std::vector<bool> knownSound;
        uint64_t lost;
        uint64_t beyondRepair;
    };
    const std::vector<Case> cases{
        {"a codeword at its limit", column(5, m, width), {}, {}, m, 0},
        {"one block past it", column(5, m + 1, width), {}, {}, m + 1, 1},
        {"a lost parity block of the same codeword counts",
         column(5, m, width), {5}, {}, m + 1, 1},
        {"a parity block of another codeword does not", column(5, m, width), {6}, {}, m + 1, 0},
        {"a run across the row costs each codeword one", column(0, 3 * width, 1), {}, {}, 3 * width, 0},
        {"files proved sound are not read", column(5, m + 1, width), {}, {true}, 0, 0},
    };
    for (const Case& c : cases) {
        std::string spoiled = recovery;
        for (const uint64_t p : c.badParity)
            spoiled[parityOffset + p * RecoveryBlockSize + 7] ^= 1;
        const RecoveryDamage damage = assessDamage(*header, damagedData(c.bad), reader(spoiled), c.knownSound);
        EXPECT_EQ(damage.blocks, header->dataBlocks() + header->parityBlocks() + 2 * parityOffset / RecoveryBlockSize)
            << c.what;
        EXPECT_EQ(damage.lostMetadata, 0u) << c.what;
        EXPECT_EQ(damage.lost, c.lost) << c.what;
        EXPECT_EQ(damage.codewordsBeyondRepair, c.beyondRepair) << c.what;
        if (c.knownSound.empty()) {
            const DiscRepair repaired = repairDisc(*header, damagedData(c.bad), reader(spoiled), dir / "out");
            EXPECT_EQ(damage.recoverable(), repaired.lostFiles.empty()) << c.what;
        }
    }
}

// A file rebuilt alone: only the codewords that hold its blocks are read, and no other file
// is written.
TEST_F(RecoveryFileTest, OneFileIsRebuiltFromItsOwnCodewordsOnly)
{
    const auto header = readRecoveryHeader(reader(recovery), recovery.size());
    ASSERT_TRUE(header);
    std::set<std::pair<std::size_t, uint64_t>> read;
    const DiscRepair result =
        repairFiles(*header, damagedData({{1, 0}, {0, 3}}, &read), reader(recovery), {1}, dir / "one");
    EXPECT_TRUE(result.lostFiles.empty());
    EXPECT_EQ(result.count.rebuilt, 1u); // the catalog's one block, not the archive's in another codeword
    EXPECT_TRUE(bytesOf(dir / ("one/" + files[1].name)) == contents[1]);
    EXPECT_FALSE(std::filesystem::exists(dir / ("one/" + files[0].name)));
    EXPECT_LE(read.size(), static_cast<std::size_t>(header->shape.dataShards));
}

TEST_F(RecoveryFileTest, AHeaderIsFoundFromEitherCopyAndNeverFromBrokenOnes)
{
    std::string noEnd = recovery;
    for (std::size_t i = noEnd.size() - 5000; i < noEnd.size(); ++i)
        noEnd[i] = 0;
    const auto header = readRecoveryHeader(reader(noEnd), noEnd.size());
    ASSERT_TRUE(header);
    // Block CRCs are zlib's CRC-32, as on the discs written so far.
    EXPECT_EQ(header->dataCrcs[0], crc32(0, reinterpret_cast<const Bytef*>(contents[0].data()), RecoveryBlockSize));
    std::string neither = noEnd;
    neither[50] ^= 1;
    EXPECT_FALSE(readRecoveryHeader(reader(neither), neither.size()));
    EXPECT_FALSE(readRecoveryHeader(reader(std::string(100, 'x')), 100));

    // Shapes no writer makes, their CRC right: refused, however the counts would add up.
    for (const RecoveryShape shape : {RecoveryShape{1448234836, 826492242, 1}, RecoveryShape{200, 56, 1},
                                      RecoveryShape{0, 3, 1}, RecoveryShape{3, 3, RecoveryMaxWidth + 1}}) {
        RecoveryHeader odd;
        odd.shape = shape;
        const std::vector<uint8_t> bytes = serializeHeader(odd);
        EXPECT_FALSE(parseHeader(bytes.data(), bytes.size())) << shape.dataShards << "+" << shape.parityShards;
    }
}

// Headers no writer makes, their CRCs right: each is refused whole, so none of its names is
// ever written or read and none of its counts ever allocated.
TEST_F(RecoveryFileTest, HostileHeadersAreRefused)
{
    const auto header = readRecoveryHeader(reader(recovery), recovery.size());
    ASSERT_TRUE(header);
    const auto renamed = [&](std::size_t file, const std::string& name) {
        RecoveryHeader hostile = *header;
        hostile.files[file].name = name;
        const std::vector<uint8_t> bytes = serializeHeader(hostile);
        return std::string(bytes.begin(), bytes.end());
    };
    struct Case {
        const char* what;
        std::string bytes;
    };
    const std::vector<Case> cases{
        {"an absolute name", renamed(0, "/tmp/victim")},
        {"a name that climbs out", renamed(1, "../victim")},
        {"a name that climbs out of a folder", renamed(3, "index/../../victim")},
        {"a backslash", renamed(1, "..\\victim")},
        {"a NUL", renamed(1, std::string("victim\0.csv", 11))},
        {"an empty part", renamed(3, "index//Catalogs.zip")},
        {"an empty last part", renamed(3, "index/")},
        {"an empty name", renamed(2, "")},
        {"a name twice", renamed(1, files[0].name)},
        {"a name twice, letter case aside", renamed(1, "2026121000001RN.ZIP")},
        {"the recovery file's own name", renamed(2, "recovery.dat")},
        {"a file that is another's folder", renamed(2, "index")},
        {"2^62 data blocks", test::wrappingRecoveryHeader()},
        {"a size whose blocks would wrap round to none",
         test::recoveryHeaderBytes({1, 1, 1}, {{"a.zip", ~uint64_t{0}, {}}}, 0, 0, 0)},
        {"more blocks than CRCs", test::recoveryHeaderBytes({1, 1, 1}, {{"a.zip", 100 * 2048, {}}}, 100, 100, 10)},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(parseHeader(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size())) << c.what;
        EXPECT_FALSE(readRecoveryHeader(reader(c.bytes), c.bytes.size())) << c.what;
    }
}

// A repair writes each file beside its place and moves it there when done: a repair that
// fails part way leaves the folder as it was, and a file not rebuilt whole never takes the
// place of one there.
TEST_F(RecoveryFileTest, ARepairNeverLeavesAPartUnderAFilesName)
{
    const auto header = readRecoveryHeader(reader(recovery), recovery.size());
    ASSERT_TRUE(header);
    dir.write("out/2026121000002rn.zip", "kept");
    dir.write("out/2026121000001rn.csv", "replaced");
    const std::set<std::string> before = filesIn(dir / "out");

    const ProtectedBlockRead sound = damagedData({});
    int reads = 0;
    const ProtectedBlockRead failing = [&](std::size_t file, uint64_t block, uint8_t* out) {
        if (++reads > 500)
            throw Error("Could not read the disc"); // as a read error raised, or a cancel
        return sound(file, block, out);
    };
    EXPECT_THROW(repairDisc(*header, failing, reader(recovery), dir / "out"), Error);
    EXPECT_EQ(filesIn(dir / "out"), before);
    EXPECT_EQ(bytesOf(dir / "out/2026121000002rn.zip"), "kept");
    EXPECT_EQ(bytesOf(dir / "out/2026121000001rn.csv"), "replaced");

    std::set<std::pair<std::size_t, uint64_t>> bad;
    for (uint64_t b = 0; b < 700; ++b)
        bad.insert({4, b});
    const DiscRepair result = repairDisc(*header, damagedData(bad), reader(recovery), dir / "out");
    EXPECT_EQ(result.lostFiles, std::vector<std::string>{"2026121000002rn.zip"});
    EXPECT_EQ(bytesOf(dir / "out/2026121000002rn.zip"), "kept");
    EXPECT_TRUE(bytesOf(dir / ("out/" + files[1].name)) == contents[1]);

    // A file its check refuses is not rebuilt either.
    const DiscRepair checked = repairDisc(*header, sound, reader(recovery), dir / "checked",
                                          [](std::size_t file, const std::string&) { return file != 1; });
    EXPECT_EQ(checked.lostFiles, std::vector<std::string>{files[1].name});
    EXPECT_EQ(filesIn(dir / "out").size(), files.size());
    EXPECT_EQ(filesIn(dir / "checked").size(), files.size());
}

// The burn computes the parity on one processor fewer than the machine has: the file must not
// depend on how many.
TEST_F(RecoveryFileTest, TheFileIsTheSameWhateverTheThreads)
{
    for (unsigned threads : {1u, 3u}) {
        writeRecoveryFile(dir / "disc", files, 12, dir / "again.dat", threads);
        EXPECT_EQ(bytesOf(dir / "again.dat"), recovery) << threads << " threads";
    }
}

// A file that is not as it was listed (changed since, or gone) would give parity for bytes
// the disc does not carry: the recovery file is refused instead.
TEST_F(RecoveryFileTest, AFileNotAsListedIsNotProtected)
{
    const std::string archive = dir / "disc/2026121000002rn.zip";
    const std::string whole = contents[4];
    for (const std::string& now : {whole.substr(0, whole.size() - 1), whole + "x", std::string()}) {
        SCOPED_TRACE(now.size());
        if (now.empty())
            std::filesystem::remove(archive);
        else
            dir.write("disc/2026121000002rn.zip", now);
        try {
            writeRecoveryFile(dir / "disc", files, 12, dir / "again.dat");
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()), "Could not read " + archive);
        }
    }
}

} // namespace
} // namespace torvinel
