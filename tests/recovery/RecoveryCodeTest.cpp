#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <random>
#include <set>

#include "recovery/BlockRepair.h"
#include "recovery/RecoveryEncoder.h"
#include "recovery/RecoveryShape.h"

namespace torvinel {
namespace {

TEST(RecoveryShapeTest, CodewordsFillTheFieldAndTheParityShareIsNeverBelowTheSetting)
{
    struct Case {
        uint64_t dataBlocks;
        int percent;
        int k, m;
        uint32_t width;
    };
    for (const Case& c : {Case{2'000'000, 12, 224, 31, 1786}, Case{20'000, 12, 224, 31, 90}, Case{10, 12, 10, 2, 1},
                          Case{1, 12, 1, 1, 1}, Case{1'000'000, 50, 127, 127, 1969}, Case{50'000, 1, 252, 3, 199},
                          Case{50'000, 90, 127, 127, 394}}) {
        const RecoveryShape shape = recoveryShape(c.dataBlocks, c.percent);
        EXPECT_EQ(shape.dataShards, c.k) << c.dataBlocks << " " << c.percent;
        EXPECT_EQ(shape.parityShards, c.m) << c.dataBlocks << " " << c.percent;
        EXPECT_EQ(shape.width, c.width) << c.dataBlocks << " " << c.percent;
        EXPECT_LE(shape.dataShards + shape.parityShards, 255);
        EXPECT_GE(shape.parityShards * 100, std::min(c.percent, 50) * (shape.dataShards + shape.parityShards) - 100);
        // The parity of all stripes stays within one codeword's per stripe of the share asked.
        const double ideal = double(c.dataBlocks) * shape.parityShards / shape.dataShards;
        EXPECT_LE(double(shape.parityBlocks(c.dataBlocks)), ideal + double(shape.parityShards) * double(shape.stripes(c.dataBlocks)))
            << c.dataBlocks << " " << c.percent;
    }
}

// Data and parity in memory, some blocks lost.
class MemoryBlocks : public RecoveryBlocks {
public:
    MemoryBlocks(std::vector<uint8_t> data, std::vector<uint8_t> parity) : m_data(std::move(data)), m_parity(std::move(parity)) { }
    bool data(uint64_t index, uint8_t* out) override
    {
        if (lostData.contains(index))
            return false;
        std::memcpy(out, m_data.data() + index * RecoveryBlockSize, RecoveryBlockSize);
        return true;
    }
    bool parity(uint64_t index, uint8_t* out) override
    {
        if (lostParity.contains(index))
            return false;
        std::memcpy(out, m_parity.data() + index * RecoveryBlockSize, RecoveryBlockSize);
        return true;
    }
    void rebuilt(uint64_t index, const uint8_t* block) override
    {
        rebuiltBlocks[index].assign(block, block + RecoveryBlockSize);
    }
    std::set<uint64_t> lostData, lostParity;
    std::map<uint64_t, std::vector<uint8_t>> rebuiltBlocks;

private:
    std::vector<uint8_t> m_data, m_parity;
};

struct Encoded {
    std::vector<uint8_t> data; // padded to whole blocks
    std::vector<uint8_t> parity;
    uint64_t blocks = 0;
};

// Files of odd sizes, each padded to whole blocks as on a disc, encoded on three threads.
Encoded encode(const RecoveryShape& shape, const std::vector<std::size_t>& fileSizes, uint32_t seed)
{
    std::mt19937 random(seed);
    Encoded out;
    for (std::size_t size : fileSizes) {
        std::vector<uint8_t> file(size);
        for (auto& byte : file)
            byte = static_cast<uint8_t>(random());
        file.resize((size + RecoveryBlockSize - 1) / RecoveryBlockSize * RecoveryBlockSize, 0);
        out.data.insert(out.data.end(), file.begin(), file.end());
    }
    out.blocks = out.data.size() / RecoveryBlockSize;
    out.parity.resize(shape.parityBlocks(out.blocks) * RecoveryBlockSize);
    std::vector<std::atomic<int>> reads(out.blocks), writes(shape.parityBlocks(out.blocks));
    const auto reader = [&]() -> RecoveryEncoder::DataRead {
        return [&](uint64_t first, std::size_t count, uint8_t* data) {
            for (std::size_t i = 0; i < count; ++i)
                ++reads.at(first + i);
            std::memcpy(data, out.data.data() + first * RecoveryBlockSize, count * RecoveryBlockSize);
        };
    };
    RecoveryEncoder(shape, out.blocks)
        .encode(
            reader,
            [&](uint64_t first, std::size_t count, const uint8_t* parity) {
                for (std::size_t i = 0; i < count; ++i)
                    ++writes.at(first + i);
                std::memcpy(out.parity.data() + first * RecoveryBlockSize, parity, count * RecoveryBlockSize);
            },
            3);
    // Every block read once, every parity block written once.
    EXPECT_TRUE(std::ranges::all_of(reads, [](const auto& n) { return n == 1; }));
    EXPECT_TRUE(std::ranges::all_of(writes, [](const auto& n) { return n == 1; }));
    return out;
}

TEST(RecoveryCodeTest, ScatteredLossesAndABurstAreRebuiltByteForByte)
{
    const std::vector<std::size_t> files = {5'000'000, 1, 2048, 12'345'678, 700'000, 4'000'000, 3};
    uint64_t total = 0;
    for (std::size_t size : files)
        total += (size + RecoveryBlockSize - 1) / RecoveryBlockSize;
    const RecoveryShape shape = recoveryShape(total, 12);
    const Encoded encoded = encode(shape, files, 1);
    ASSERT_EQ(encoded.blocks, total);
    ASSERT_EQ(encoded.parity.size(), shape.parityBlocks(total) * RecoveryBlockSize);

    MemoryBlocks blocks(encoded.data, encoded.parity);
    std::mt19937 random(2);
    for (uint64_t i = 0; i < total / 20; ++i) // 5 % of the data, at random
        blocks.lostData.insert(random() % total);
    const uint64_t burst = random() % (total - total / 100);
    for (uint64_t i = burst; i < burst + total / 100; ++i) // and 1 % in one run
        blocks.lostData.insert(i);
    const uint64_t parityBlocks = shape.parityBlocks(total);
    for (uint64_t i = 0; i < parityBlocks / 20; ++i)
        blocks.lostParity.insert(random() % parityBlocks);

    const RepairCount count = repairBlocks(shape, total, blocks);
    EXPECT_EQ(count.lostData, blocks.lostData.size());
    EXPECT_EQ(count.lostParity, blocks.lostParity.size());
    EXPECT_EQ(count.rebuilt, blocks.lostData.size());
    EXPECT_TRUE(count.unrecoverable.empty());
    ASSERT_EQ(blocks.rebuiltBlocks.size(), blocks.lostData.size());
    for (const auto& [index, block] : blocks.rebuiltBlocks)
        ASSERT_EQ(std::memcmp(block.data(), encoded.data.data() + index * RecoveryBlockSize, RecoveryBlockSize), 0)
            << index;
}

TEST(RecoveryCodeTest, ACodewordThatLostTooMuchIsNamedAndTheOthersAreStillRebuilt)
{
    const std::vector<std::size_t> files = {3'000'000};
    const uint64_t total = (files[0] + RecoveryBlockSize - 1) / RecoveryBlockSize;
    const RecoveryShape shape = recoveryShape(total, 12);
    ASSERT_GT(shape.width, 1u);
    const Encoded encoded = encode(shape, files, 3);
    MemoryBlocks blocks(encoded.data, encoded.parity);
    // Codeword 0 of the first stripe loses parityShards + 1 data blocks (a row apart), codeword
    // 1 exactly parityShards: beyond the limit, and at it.
    std::set<uint64_t> beyond;
    for (int r = 0; r <= shape.parityShards; ++r)
        beyond.insert(static_cast<uint64_t>(r) * shape.width);
    blocks.lostData = beyond;
    for (int r = 0; r < shape.parityShards; ++r)
        blocks.lostData.insert(static_cast<uint64_t>(r) * shape.width + 1);

    const RepairCount count = repairBlocks(shape, total, blocks);
    EXPECT_EQ(count.unrecoverable, std::vector<uint64_t>(beyond.begin(), beyond.end()));
    EXPECT_EQ(count.rebuilt, static_cast<uint64_t>(shape.parityShards));
    EXPECT_EQ(count.codewordsAtLimit, 1u);
    for (const auto& [index, block] : blocks.rebuiltBlocks)
        EXPECT_EQ(std::memcmp(block.data(), encoded.data.data() + index * RecoveryBlockSize, RecoveryBlockSize), 0);
}

} // namespace
} // namespace torvinel
