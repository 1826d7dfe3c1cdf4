// Recovery data over a whole session: written from a session's blocks, found again with or
// without its file tree, and repairing scattered, bursty and leading damage byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include "recovery/ImageRecoveryReader.h"
#include "recovery/ImageRecoveryWriter.h"
#include "recovery/ImageRepair.h"
#include "support/TempDir.h"

namespace torvinel {
namespace {

TEST(ImageRecoveryLayoutTest, MetadataSpreadsOverTheFileWithParityInTheRest)
{
    for (const auto& [protectedBlocks, percent] :
         std::vector<std::pair<uint64_t, int>>{{1, 12}, {300, 12}, {13'000, 12}, {100'000, 5}, {40'000, 50}}) {
        ImageRecoveryLayout layout = planImageRecovery(protectedBlocks, 3000, percent);
        layout.protectedBlocks = protectedBlocks;
        layout.sessionBlocks = protectedBlocks + layout.recoveryBlocks + 2;
        ASSERT_TRUE(layout.consistent()) << protectedBlocks;
        EXPECT_GE(layout.dataEntries(), protectedBlocks);
        EXPECT_LT(layout.dataEntries(), protectedBlocks + static_cast<uint64_t>(layout.shape.dataShards));
        // The first and last blocks are metadata, found again from any position.
        EXPECT_TRUE(layout.isMetadata(0));
        EXPECT_TRUE(layout.isMetadata(layout.recoveryBlocks - 1));
        uint64_t metadata = 0, parity = 0;
        for (uint64_t position = 0; position < layout.recoveryBlocks; ++position) {
            if (layout.isMetadata(position)) {
                EXPECT_EQ(layout.metadataIndex(position), metadata++);
            } else {
                ASSERT_EQ(layout.parityIndex(position), parity) << protectedBlocks;
                ASSERT_EQ(layout.parityPosition(parity), position) << protectedBlocks;
                ++parity;
            }
        }
        EXPECT_EQ(metadata, layout.metadataBlocks());
        EXPECT_EQ(parity, layout.parityBlocks());
    }
}

// A session in memory: protected blocks, the recovery file right after them, two tail blocks.
class Session {
public:
    Session(uint64_t protectedBlocks, int percent, uint64_t seed)
    {
        std::mt19937_64 random(seed);
        fixed.discName = "20261211001";
        // Files of a few sizes after 40 blocks of "file tree"; an empty one among them.
        uint64_t block = 40;
        int n = 0;
        while (block < protectedBlocks) {
            const uint64_t size = std::min<uint64_t>((random() % 300 + (n == 2 ? 0 : 1)) * 1000,
                                                     (protectedBlocks - block) * RecoveryBlockSize);
            fixed.files.push_back({"f" + std::to_string(n++) + ".zip", block, size, {}});
            block += (size + RecoveryBlockSize - 1) / RecoveryBlockSize;
        }
        layout = planImageRecovery(protectedBlocks, static_cast<uint32_t>(serializeFixedPart(fixed).size()), percent);
        layout.protectedBlocks = protectedBlocks;
        layout.sessionBlocks = protectedBlocks + layout.recoveryBlocks + 2;
        bytes.resize(layout.sessionBlocks * RecoveryBlockSize);
        for (std::size_t i = 0; i + 8 <= protectedBlocks * RecoveryBlockSize; i += 8) {
            const uint64_t v = random();
            std::memcpy(&bytes[i], &v, 8);
        }
        test::TempDir dir;
        const std::string target = dir.path("RECOVERY.DAT");
        crcs = writeImageRecovery(
            layout, fixed,
            [this] {
                return [this](uint64_t first, std::size_t count, uint8_t* out) {
                    std::memcpy(out, bytes.data() + first * RecoveryBlockSize, count * RecoveryBlockSize);
                };
            },
            target, 2);
        std::ifstream in(target, std::ios::binary);
        const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(file.size(), layout.recoveryBlocks * RecoveryBlockSize);
        std::memcpy(bytes.data() + protectedBlocks * RecoveryBlockSize, file.data(), file.size());
        original = bytes;
    }
    uint64_t blocks() const { return bytes.size() / RecoveryBlockSize; }
    void zero(uint64_t block) { std::memset(bytes.data() + block * RecoveryBlockSize, 0, RecoveryBlockSize); }
    void zeroRandom(double share, uint64_t seed)
    {
        std::mt19937_64 random(seed);
        std::vector<uint64_t> all(blocks());
        for (uint64_t b = 0; b < all.size(); ++b)
            all[b] = b;
        std::shuffle(all.begin(), all.end(), random);
        for (uint64_t i = 0; i < static_cast<uint64_t>(share * double(all.size())); ++i)
            zero(all[i]);
    }

    RecoveryFixedPart fixed;
    ImageRecoveryLayout layout;
    std::vector<uint8_t> bytes, original;
    std::vector<uint32_t> crcs;
};

// The session's bytes as a medium; the blocks in unreadable cannot be read, as a drive fails them.
class MemoryMedium : public MediumBlocks {
public:
    explicit MemoryMedium(const std::vector<uint8_t>& bytes) : m_bytes(bytes) { }
    uint64_t blocks() const override { return m_bytes.size() / RecoveryBlockSize; }
    void read(uint64_t first, std::size_t count, uint8_t* out, uint8_t* readable) override
    {
        for (std::size_t i = 0; i < count; ++i) {
            const uint64_t block = first + i;
            readable[i] = block < blocks() && !unreadable.contains(block);
            if (readable[i])
                std::memcpy(out + i * RecoveryBlockSize, m_bytes.data() + block * RecoveryBlockSize, RecoveryBlockSize);
            else
                std::memset(out + i * RecoveryBlockSize, 0, RecoveryBlockSize);
        }
    }
    std::set<uint64_t> unreadable;

private:
    const std::vector<uint8_t>& m_bytes;
};

// Repairs the session found on the medium without its file tree; true when every protected
// block came back as it was.
::testing::AssertionResult repairsWhole(Session& session, MemoryMedium& medium)
{
    const auto recovery = findImageRecovery(medium, session.fixed.discName);
    if (!recovery)
        return ::testing::AssertionFailure() << "no recovery data found";
    if (!(recovery->layout.protectedBlocks == session.layout.protectedBlocks))
        return ::testing::AssertionFailure() << "another layout";
    const auto damage = assessImage(*recovery, medium);
    if (!damage || !damage->recoverable())
        return ::testing::AssertionFailure() << "assessed as not recoverable";
    std::vector<uint8_t> repaired(session.layout.protectedBlocks * RecoveryBlockSize, 0);
    std::vector<uint8_t> put(session.layout.protectedBlocks, 0);
    const RepairCount count = repairImage(*recovery, medium, [&](uint64_t index, const uint8_t* block) {
        std::memcpy(repaired.data() + index * RecoveryBlockSize, block, RecoveryBlockSize);
        put[index] = 1;
    });
    if (!count.unrecoverable.empty())
        return ::testing::AssertionFailure() << count.unrecoverable.size() << " blocks beyond repair";
    if (std::find(put.begin(), put.end(), 0) != put.end())
        return ::testing::AssertionFailure() << "a block was never handed out";
    if (!std::equal(repaired.begin(), repaired.end(), session.original.begin()))
        return ::testing::AssertionFailure() << "a block came back wrong";
    return ::testing::AssertionSuccess() << count.rebuilt << " rebuilt";
}

TEST(ImageRecoveryTest, AWholeSessionIsFoundAgainWithItsFilesAndCrcs)
{
    Session session(5000, 12, 1);
    MemoryMedium medium(session.bytes);
    const auto recovery = findImageRecovery(medium);
    ASSERT_TRUE(recovery);
    ImageRecoveryLayout written = session.layout;
    const auto fixedBytes = serializeFixedPart(session.fixed);
    written.fixedCrc = recoveryCrc(fixedBytes.data(), fixedBytes.size());
    EXPECT_TRUE(recovery->layout == written);
    ASSERT_TRUE(recovery->fixed);
    EXPECT_EQ(*recovery->fixed, session.fixed);
    EXPECT_EQ(recovery->metadataLost, 0u);
    EXPECT_TRUE(std::all_of(recovery->crcKnown.begin(), recovery->crcKnown.end(), [](uint8_t k) { return k == 1; }));
    EXPECT_TRUE(std::equal(session.crcs.begin(), session.crcs.end(), recovery->crcs.begin()));
    const auto damage = assessImage(*recovery, medium);
    ASSERT_TRUE(damage);
    EXPECT_EQ(damage->lost, 0u);
    EXPECT_TRUE(damage->damagedFiles.empty());
}

TEST(ImageRecoveryTest, ScatteredBurstAndLeadingDamageOverTheWholeSessionIsRepairedByteForByte)
{
    struct Pattern {
        const char* name;
        double random;
        double rimBurst;  // share of the session zeroed at its end
        uint64_t leading; // blocks zeroed at its start
        bool unreadable;  // lost as a drive loses them, instead of zeroed
    };
    for (const Pattern& p :
         {Pattern{"5 % random", 0.05, 0, 0, false}, Pattern{"1 % random, 3 % rim", 0.01, 0.03, 0, false},
          Pattern{"file tree and 3 % random", 0.03, 0, 60, false}, Pattern{"5 % unreadable", 0.05, 0, 0, true}}) {
        for (uint64_t seed = 1; seed <= 3; ++seed) {
            Session session(13'000, 12, seed);
            MemoryMedium medium(session.bytes);
            if (p.unreadable) {
                std::mt19937_64 random(seed);
                while (medium.unreadable.size() < static_cast<std::size_t>(p.random * double(session.blocks())))
                    medium.unreadable.insert(random() % session.blocks());
            } else {
                session.zeroRandom(p.random, seed * 7);
            }
            const auto rim = static_cast<uint64_t>(p.rimBurst * double(session.blocks()));
            for (uint64_t b = session.blocks() - rim; b < session.blocks(); ++b)
                session.zero(b);
            for (uint64_t b = 0; b < p.leading; ++b)
                session.zero(b);
            EXPECT_TRUE(repairsWhole(session, medium)) << p.name << ", seed " << seed;
        }
    }
}

TEST(ImageRecoveryTest, BeyondTheLimitTheLostBlocksAreNamedAndTheRestComesBack)
{
    Session session(13'000, 12, 4);
    MemoryMedium medium(session.bytes);
    // A third of the blocks of the first file's stretch: too much for its codewords.
    const PlacedRecoveryFile& first = session.fixed.files.front();
    for (uint64_t b = first.block; b < first.block + first.blocks(); b += 2)
        session.zero(b);
    for (uint64_t b = 0; b < session.blocks(); b += 3)
        session.zero(b);
    const auto recovery = findImageRecovery(medium);
    ASSERT_TRUE(recovery);
    const auto damage = assessImage(*recovery, medium);
    ASSERT_TRUE(damage);
    EXPECT_FALSE(damage->recoverable());
    EXPECT_NE(std::find(damage->damagedFiles.begin(), damage->damagedFiles.end(), first.name),
              damage->damagedFiles.end());
    std::set<uint64_t> handedOut;
    const RepairCount count = repairImage(*recovery, medium, [&](uint64_t index, const uint8_t* block) {
        handedOut.insert(index);
        EXPECT_EQ(std::memcmp(block, session.original.data() + index * RecoveryBlockSize, RecoveryBlockSize), 0)
            << "block " << index;
    });
    EXPECT_FALSE(count.unrecoverable.empty());
    for (uint64_t index : count.unrecoverable)
        EXPECT_FALSE(handedOut.contains(index));
    EXPECT_EQ(handedOut.size() + count.unrecoverable.size(), session.layout.protectedBlocks);
}

TEST(ImageRecoveryTest, OneFilesCodewordsAloneRebuildIt)
{
    Session session(13'000, 12, 5);
    MemoryMedium medium(session.bytes);
    const PlacedRecoveryFile& file = session.fixed.files[1];
    for (uint64_t b = file.block; b < file.block + file.blocks(); b += 4)
        session.zero(b);
    const auto recovery = findImageRecovery(medium);
    ASSERT_TRUE(recovery);
    const uint64_t first = recovery->firstIndex(file);
    const auto wanted = codewordsOf(recovery->layout, first, file.blocks());
    std::set<uint64_t> handedOut;
    const RepairCount count = repairImage(
        *recovery, medium,
        [&](uint64_t index, const uint8_t* block) {
            handedOut.insert(index);
            EXPECT_EQ(std::memcmp(block, session.original.data() + index * RecoveryBlockSize, RecoveryBlockSize), 0);
        },
        wanted);
    EXPECT_TRUE(count.unrecoverable.empty());
    for (uint64_t i = first; i < first + file.blocks(); ++i)
        EXPECT_TRUE(handedOut.contains(i)) << i;
    EXPECT_LT(handedOut.size(), session.layout.protectedBlocks); // not the whole session read
}

TEST(ImageRecoveryTest, MetadataThatDoesNotHoldTogetherIsNotTaken)
{
    Session session(3000, 12, 6);
    const uint64_t at = session.layout.protectedBlocks; // the recovery file's first block
    const auto parsed = parseMetadataBlock(session.bytes.data() + at * RecoveryBlockSize);
    ASSERT_TRUE(parsed);
    struct Forgery {
        const char* name;
        void (*change)(ImageRecoveryLayout&);
    };
    for (const Forgery& f :
         {Forgery{"2^62 protected blocks", [](ImageRecoveryLayout& l) { l.protectedBlocks = 1ull << 62; }},
          Forgery{"more blocks than the code", [](ImageRecoveryLayout& l) { l.protectedBlocks = l.dataEntries() + 1; }},
          Forgery{"a codeword past the field", [](ImageRecoveryLayout& l) { l.shape.dataShards = 250; }},
          Forgery{"a recovery file of another size", [](ImageRecoveryLayout& l) { ++l.recoveryBlocks; }},
          Forgery{"a session shorter than its parts", [](ImageRecoveryLayout& l) { l.sessionBlocks = 1; }},
          Forgery{"2^40 codewords", [](ImageRecoveryLayout& l) { l.shape.width = 0xffffffffu; }}}) {
        ImageRecoveryLayout layout = parsed->layout;
        f.change(layout);
        uint8_t block[RecoveryBlockSize] = {};
        writeMetadataHeader(block, layout, MetadataKind::FixedChunk, 0, 0);
        EXPECT_FALSE(parseMetadataBlock(block)) << f.name;
    }
    // A fixed part whose names would leave the disc's folder, or whose files overlap.
    for (const std::string& name : {std::string("../x"), std::string("/etc/x"), std::string("a\\b"),
                                    std::string("a//b"), std::string("a/./b"), std::string("a\0b", 3), std::string()}) {
        RecoveryFixedPart fixed = session.fixed;
        fixed.files[1].name = name;
        const auto bytes = serializeFixedPart(fixed);
        EXPECT_FALSE(parseFixedPart(bytes.data(), bytes.size(), session.layout)) << name;
    }
    RecoveryFixedPart fixed = session.fixed;
    fixed.files[1].block = fixed.files[0].block;
    auto bytes = serializeFixedPart(fixed);
    EXPECT_FALSE(parseFixedPart(bytes.data(), bytes.size(), session.layout));
    fixed = session.fixed;
    fixed.files.back().size = 1ull << 60;
    bytes = serializeFixedPart(fixed);
    EXPECT_FALSE(parseFixedPart(bytes.data(), bytes.size(), session.layout));
}

} // namespace
} // namespace torvinel

namespace torvinel {
namespace {

// The code as the format's description gives it, worked out by hand: GF(2^8) with the
// polynomial 0x11D, parity q = sum of D_i / ((k + q) XOR i).
uint8_t fieldProduct(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    while (b) {
        if (b & 1)
            product ^= a;
        a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1D : 0));
        b >>= 1;
    }
    return product;
}

uint8_t fieldInverse(uint8_t a)
{
    for (int b = 1; b < 256; ++b)
        if (fieldProduct(a, static_cast<uint8_t>(b)) == 1)
            return static_cast<uint8_t>(b);
    return 0;
}

TEST(ImageRecoveryFormatTest, TheParityIsTheCodeTheFormatDescribes)
{
    Session session(700, 12, 9);
    const ImageRecoveryLayout& layout = session.layout;
    const int k = layout.shape.dataShards;
    const uint64_t width = layout.codewords();
    for (const uint64_t parity : {uint64_t{0}, layout.parityBlocks() / 2, layout.parityBlocks() - 1}) {
        const uint64_t q = parity / width, c = parity % width;
        const uint8_t* stored =
            session.original.data() + (layout.protectedBlocks + layout.parityPosition(parity)) * RecoveryBlockSize;
        for (const std::size_t byte : {std::size_t{0}, std::size_t{1234}, std::size_t{2047}}) {
            uint8_t sum = 0;
            for (int i = 0; i < k; ++i) {
                const uint64_t block = static_cast<uint64_t>(i) * width + c;
                const uint8_t data =
                    block < layout.protectedBlocks ? session.original[block * RecoveryBlockSize + byte] : 0;
                sum ^= fieldProduct(data, fieldInverse(static_cast<uint8_t>((k + static_cast<int>(q)) ^ i)));
            }
            EXPECT_EQ(sum, stored[byte]) << "parity " << parity << ", byte " << byte;
        }
    }
}

} // namespace
} // namespace torvinel
