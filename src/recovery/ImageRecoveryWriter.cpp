#include "recovery/ImageRecoveryWriter.h"

#include <algorithm>
#include <cstring>

#include "app/Error.h"
#include "platform/File.h"

namespace torvinel {

namespace {

// The order the metadata blocks take through the file: FixedCopies groups, each a copy of the
// fixed part and then its share of the CRC blocks, copy after copy.
struct MetadataItem {
    MetadataKind kind;
    uint32_t copy;
    uint64_t index;
};

std::vector<MetadataItem> metadataOrder(const ImageRecoveryLayout& layout)
{
    std::vector<MetadataItem> items;
    items.reserve(layout.metadataBlocks());
    const uint64_t crcStream = uint64_t{layout.crcCopies} * layout.crcBlocks;
    for (uint32_t group = 0; group < layout.fixedCopies; ++group) {
        for (uint32_t chunk = 0; chunk < layout.fixedChunks; ++chunk)
            items.push_back({MetadataKind::FixedChunk, group, chunk});
        const uint64_t from = crcStream * group / layout.fixedCopies;
        const uint64_t to = crcStream * (group + 1) / layout.fixedCopies;
        for (uint64_t s = from; s < to; ++s)
            items.push_back(
                {MetadataKind::CrcBlock, static_cast<uint32_t>(s / layout.crcBlocks), s % layout.crcBlocks});
    }
    return items;
}

} // namespace

std::vector<uint32_t> writeImageRecovery(ImageRecoveryLayout layout, const RecoveryFixedPart& fixed,
                                         const std::function<RecoveryEncoder::DataRead()>& reader,
                                         const std::string& target, unsigned threads)
{
    const auto writeFailed = [&target] { return Error("Could not write " + target); };
    const std::vector<uint8_t> fixedBytes = serializeFixedPart(fixed);
    if (fixedBytes.size() != layout.fixedBytes)
        throw Error("The recovery data of " + target + " was planned for another file list");
    layout.fixedCrc = recoveryCrc(fixedBytes.data(), fixedBytes.size());
    if (!layout.consistent())
        throw Error("The recovery data of " + target + " does not fit its session");

    platform::File out = platform::File::open(target, platform::FileMode::Create);
    if (!out.isOpen() || !out.truncate(layout.recoveryBlocks * RecoveryBlockSize))
        throw writeFailed();

    std::vector<uint32_t> crcs(layout.crcEntries());
    const uint64_t protectedBlocks = layout.protectedBlocks;
    // Rows past the protected blocks are zero blocks; the code counts them as such.
    const std::vector<uint8_t> zeros(RecoveryBlockSize, 0);
    std::fill(crcs.begin() + static_cast<std::ptrdiff_t>(protectedBlocks),
              crcs.begin() + static_cast<std::ptrdiff_t>(layout.dataEntries()), recoveryBlockCrc(zeros.data()));
    const auto countingReader = [&]() -> RecoveryEncoder::DataRead {
        RecoveryEncoder::DataRead read = reader();
        return [read, &crcs](uint64_t first, std::size_t count, uint8_t* data) {
            read(first, count, data);
            for (std::size_t i = 0; i < count; ++i)
                crcs[first + i] = recoveryBlockCrc(data + i * RecoveryBlockSize);
        };
    };
    // A run of parity blocks is cut where metadata lies between.
    const RecoveryEncoder::ParityWrite writeParity = [&](uint64_t first, std::size_t count, const uint8_t* parity) {
        uint64_t position = layout.parityPosition(first);
        for (std::size_t i = 0; i < count;) {
            while (layout.isMetadata(position))
                ++position;
            std::size_t run = 1;
            while (i + run < count && !layout.isMetadata(position + run))
                ++run;
            for (std::size_t j = i; j < i + run; ++j)
                crcs[layout.dataEntries() + first + j] = recoveryBlockCrc(parity + j * RecoveryBlockSize);
            const std::size_t bytes = run * RecoveryBlockSize;
            if (out.writeAt(parity + i * RecoveryBlockSize, bytes, position * RecoveryBlockSize)
                != static_cast<int64_t>(bytes))
                throw writeFailed();
            i += run;
            position += run;
        }
    };
    RecoveryEncoder(layout.shape, protectedBlocks).encode(countingReader, writeParity, std::max(threads, 1u));

    std::vector<uint8_t> block(RecoveryBlockSize);
    const std::vector<MetadataItem> order = metadataOrder(layout);
    const uint64_t metadata = layout.metadataBlocks();
    for (uint64_t i = 0; i < metadata; ++i) {
        // Metadata block i lies at floor(i * (T - 1) / (M - 1)).
        const uint64_t position = i * (layout.recoveryBlocks - 1) / (metadata - 1);
        const MetadataItem& item = order[i];
        uint8_t* payload = block.data() + MetadataHeaderBytes;
        std::memset(payload, 0, MetadataPayloadBytes);
        if (item.kind == MetadataKind::FixedChunk) {
            const uint64_t from = item.index * MetadataPayloadBytes;
            std::memcpy(payload, fixedBytes.data() + from,
                        std::min<uint64_t>(MetadataPayloadBytes, fixedBytes.size() - from));
        } else {
            const uint64_t from = item.index * CrcsPerBlock;
            for (uint64_t e = from; e < std::min<uint64_t>(from + CrcsPerBlock, crcs.size()); ++e)
                for (int b = 0; b < 4; ++b)
                    payload[(e - from) * 4 + static_cast<uint64_t>(b)] = static_cast<uint8_t>(crcs[e] >> (8 * b));
        }
        writeMetadataHeader(block.data(), layout, item.kind, item.copy, item.index);
        if (out.writeAt(block.data(), block.size(), position * RecoveryBlockSize) != static_cast<int64_t>(block.size()))
            throw writeFailed();
    }
    if (!out.close())
        throw writeFailed();
    crcs.resize(protectedBlocks);
    return crcs;
}

} // namespace torvinel
