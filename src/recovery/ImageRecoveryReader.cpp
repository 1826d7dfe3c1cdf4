#include "recovery/ImageRecoveryReader.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace torvinel {

namespace {

constexpr std::size_t ReadRun = 256; // blocks read at a time

// Metadata blocks as they come, kept by the layout they carry: the first sound copy of each
// chunk and CRC block, and the positions they were found at.
struct Found {
    uint64_t blocks = 0;
    std::map<uint64_t, std::vector<uint8_t>> chunks;
    std::map<uint64_t, std::vector<uint8_t>> crcBlocks;
};

std::vector<uint8_t> key(const ImageRecoveryLayout& layout)
{
    uint8_t block[RecoveryBlockSize] = {};
    writeMetadataHeader(block, layout, MetadataKind::FixedChunk, 0, 0);
    return {block + 16, block + 108};
}

} // namespace

bool isImageRecoveryBlock(const uint8_t* block) { return parseMetadataBlock(block).has_value(); }

std::optional<ImageRecovery> readImageRecovery(MediumBlocks& recoveryFile)
{
    std::map<std::vector<uint8_t>, std::pair<ImageRecoveryLayout, Found>> byLayout;
    std::vector<uint8_t> run(ReadRun * RecoveryBlockSize);
    std::vector<uint8_t> readable(ReadRun);
    const uint64_t total = recoveryFile.blocks();
    for (uint64_t first = 0; first < total; first += ReadRun) {
        const auto count = static_cast<std::size_t>(std::min<uint64_t>(ReadRun, total - first));
        recoveryFile.read(first, count, run.data(), readable.data());
        for (std::size_t i = 0; i < count; ++i) {
            if (!readable[i])
                continue;
            const auto block = parseMetadataBlock(run.data() + i * RecoveryBlockSize);
            // A recovery file far longer than the blocks it was read from is none: what a
            // layout claims sizes the tables made from it.
            if (!block || block->layout.recoveryBlocks > 2 * total + 64)
                continue;
            auto& [layout, found] = byLayout[key(block->layout)];
            layout = block->layout;
            ++found.blocks;
            auto& kept = block->kind == MetadataKind::FixedChunk ? found.chunks : found.crcBlocks;
            if (!kept.count(block->index))
                kept[block->index].assign(block->payload, block->payload + MetadataPayloadBytes);
        }
    }
    if (byLayout.empty())
        return std::nullopt;
    const auto winner = std::max_element(byLayout.begin(), byLayout.end(), [](const auto& a, const auto& b) {
        return a.second.second.blocks < b.second.second.blocks;
    });
    const auto& [layout, found] = winner->second;

    ImageRecovery recovery;
    recovery.layout = layout;
    recovery.metadataLost = layout.metadataBlocks() - std::min(layout.metadataBlocks(), found.blocks);
    recovery.crcs.assign(layout.crcEntries(), 0);
    recovery.crcKnown.assign(layout.crcEntries(), 0);
    for (const auto& [index, payload] : found.crcBlocks) {
        const uint64_t from = index * CrcsPerBlock;
        const uint64_t to = std::min<uint64_t>(from + CrcsPerBlock, layout.crcEntries());
        for (uint64_t e = from; e < to; ++e) {
            const uint8_t* at = payload.data() + (e - from) * 4;
            recovery.crcs[e] = static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8
                | static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
            recovery.crcKnown[e] = 1;
        }
    }
    if (found.chunks.size() == layout.fixedChunks) {
        std::vector<uint8_t> bytes;
        bytes.reserve(uint64_t{layout.fixedChunks} * MetadataPayloadBytes);
        for (const auto& [index, payload] : found.chunks)
            bytes.insert(bytes.end(), payload.begin(), payload.end());
        bytes.resize(layout.fixedBytes);
        if (recoveryCrc(bytes.data(), bytes.size()) == layout.fixedCrc)
            recovery.fixed = parseFixedPart(bytes.data(), bytes.size(), layout);
    }
    return recovery;
}

std::optional<ImageRecovery> findImageRecovery(MediumBlocks& medium, const std::string& discName)
{
    const uint64_t total = medium.blocks();
    std::vector<uint8_t> run(ReadRun * RecoveryBlockSize);
    std::vector<uint8_t> readable(ReadRun);
    std::vector<uint64_t> tried; // recovery files already read, by their first block
    const auto tryRun = [&](uint64_t first, std::size_t count) -> std::optional<ImageRecovery> {
        medium.read(first, count, run.data(), readable.data());
        for (std::size_t i = 0; i < count; ++i) {
            if (!readable[i])
                continue;
            const auto block = parseMetadataBlock(run.data() + i * RecoveryBlockSize);
            if (!block || block->layout.sessionStart + block->layout.sessionBlocks > 2 * total + 64)
                continue;
            const uint64_t start = block->layout.recoveryStart();
            if (std::find(tried.begin(), tried.end(), start) != tried.end())
                continue;
            tried.push_back(start);
            auto slice = mediumSlice(medium, start, block->layout.recoveryBlocks);
            auto recovery = readImageRecovery(*slice);
            if (recovery && (discName.empty() || !recovery->fixed || recovery->fixed->discName == discName))
                return recovery;
        }
        return std::nullopt;
    };
    const uint64_t tailFrom = total - std::min<uint64_t>(total, 64);
    if (auto recovery = tryRun(tailFrom, static_cast<std::size_t>(total - tailFrom)))
        return recovery;
    for (uint64_t first = 0; first < tailFrom; first += ReadRun)
        if (auto recovery = tryRun(first, static_cast<std::size_t>(std::min<uint64_t>(ReadRun, tailFrom - first))))
            return recovery;
    return std::nullopt;
}

} // namespace torvinel
