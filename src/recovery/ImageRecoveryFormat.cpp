#include "recovery/ImageRecoveryFormat.h"

#include "recovery/internal/LittleEndianReader.h"

#include <isa-l/crc.h>

#include <algorithm>
#include <cstring>

#include "recovery/internal/SafeRecoveryName.h"

namespace torvinel {

namespace {

constexpr char Magic[8] = {'T', 'O', 'R', 'V', 'R', 'E', 'C', '2'};
constexpr std::size_t LayoutAt = 16;
constexpr std::size_t CopyAt = 108;
constexpr std::size_t IndexAt = 112;
constexpr std::size_t CrcAt = 12;
// Beyond any disc: bounds that keep the arithmetic on what a disc gives far from overflow.
constexpr uint64_t MaxMediumBlocks = uint64_t{1} << 36;
constexpr uint32_t MaxCopies = 64;
constexpr uint32_t MaxFixedBytes = 1u << 24;

uint64_t divideUp(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

class Writer {
public:
    explicit Writer(uint8_t* at) : m_at(at) { }
    void put(uint64_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            *m_at++ = static_cast<uint8_t>(value >> (8 * i));
    }

private:
    uint8_t* m_at;
};

using Reader = LittleEndianReader;

void putLayout(uint8_t* at, const ImageRecoveryLayout& layout)
{
    Writer out(at);
    out.put(ImageRecoveryVersion, 4);
    out.put(RecoveryBlockSize, 4);
    out.put(layout.sessionStart, 8);
    out.put(layout.protectedBlocks, 8);
    out.put(layout.recoveryBlocks, 8);
    out.put(layout.sessionBlocks, 8);
    out.put(static_cast<uint32_t>(layout.shape.dataShards), 4);
    out.put(static_cast<uint32_t>(layout.shape.parityShards), 4);
    out.put(layout.shape.width, 8);
    out.put(layout.fixedCopies, 4);
    out.put(layout.fixedChunks, 4);
    out.put(layout.crcBlocks, 8);
    out.put(layout.crcCopies, 4);
    out.put(layout.fixedBytes, 4);
    out.put(layout.fixedCrc, 4);
    out.put(layout.share, 4);
    out.put(static_cast<uint32_t>(layout.tail), 4);
}

std::optional<ImageRecoveryLayout> getLayout(const uint8_t* at)
{
    Reader in(at, CopyAt - LayoutAt);
    if (in.get(4) != ImageRecoveryVersion || in.get(4) != RecoveryBlockSize)
        return std::nullopt;
    ImageRecoveryLayout layout;
    layout.sessionStart = in.get(8);
    layout.protectedBlocks = in.get(8);
    layout.recoveryBlocks = in.get(8);
    layout.sessionBlocks = in.get(8);
    const uint64_t dataShards = in.get(4);
    const uint64_t parityShards = in.get(4);
    const uint64_t width = in.get(8);
    if (dataShards < 1 || parityShards < 1 || dataShards + parityShards > 255 || width < 1 || width > MaxMediumBlocks)
        return std::nullopt;
    layout.shape = {static_cast<int>(dataShards), static_cast<int>(parityShards), static_cast<uint32_t>(width)};
    if (layout.shape.width != width)
        return std::nullopt;
    layout.fixedCopies = static_cast<uint32_t>(in.get(4));
    layout.fixedChunks = static_cast<uint32_t>(in.get(4));
    layout.crcBlocks = in.get(8);
    layout.crcCopies = static_cast<uint32_t>(in.get(4));
    layout.fixedBytes = static_cast<uint32_t>(in.get(4));
    layout.fixedCrc = static_cast<uint32_t>(in.get(4));
    layout.share = static_cast<uint32_t>(in.get(4));
    const uint64_t tail = in.get(4);
    if (tail > static_cast<uint32_t>(SessionTail::IsoChecksums))
        return std::nullopt;
    layout.tail = static_cast<SessionTail>(tail);
    if (!layout.consistent())
        return std::nullopt;
    return layout;
}

} // namespace

uint32_t recoveryCrc(const uint8_t* data, std::size_t length) { return crc32_gzip_refl(0, data, length); }

uint32_t recoveryBlockCrc(const uint8_t* block) { return recoveryCrc(block, RecoveryBlockSize); }

bool ImageRecoveryLayout::consistent() const
{
    const uint64_t k = static_cast<uint64_t>(shape.dataShards);
    const uint64_t m = static_cast<uint64_t>(shape.parityShards);
    // At most half of data and parity together goes to parity.
    if (k < 1 || m < 1 || m > k || k + m > 255 || shape.width < 1)
        return false;
    if (fixedCopies < 1 || fixedCopies > MaxCopies || crcCopies < 1 || crcCopies > MaxCopies)
        return false;
    if (fixedBytes < 1 || fixedBytes > MaxFixedBytes || fixedChunks != divideUp(fixedBytes, MetadataPayloadBytes))
        return false;
    if (share < 1 || share > 50)
        return false;
    // Every product below stays under 2^48 once these hold.
    if (sessionStart > MaxMediumBlocks || sessionBlocks > MaxMediumBlocks || k * shape.width > MaxMediumBlocks)
        return false;
    if (protectedBlocks < 1 || protectedBlocks > dataEntries() || crcBlocks != divideUp(crcEntries(), CrcsPerBlock))
        return false;
    if (recoveryBlocks != parityBlocks() + metadataBlocks())
        return false;
    return protectedBlocks + recoveryBlocks <= sessionBlocks;
}

// Metadata block i lies at floor(i * a / b), a = T - 1 and b = M - 1 (a > b, as T > M): it lies
// at or before position exactly when i < (position + 1) * b / a.
uint64_t ImageRecoveryLayout::metadataUpTo(uint64_t position) const
{
    const uint64_t a = recoveryBlocks - 1;
    const uint64_t b = metadataBlocks() - 1;
    return std::min(metadataBlocks(), divideUp((position + 1) * b, a));
}

bool ImageRecoveryLayout::isMetadata(uint64_t position) const
{
    return metadataUpTo(position) > (position == 0 ? 0 : metadataUpTo(position - 1));
}

uint64_t ImageRecoveryLayout::metadataIndex(uint64_t position) const { return metadataUpTo(position) - 1; }

uint64_t ImageRecoveryLayout::parityIndex(uint64_t position) const { return position - metadataUpTo(position); }

uint64_t ImageRecoveryLayout::parityPosition(uint64_t parity) const
{
    // The first position that has parity + 1 parity positions up to it.
    uint64_t low = parity, high = std::min(recoveryBlocks - 1, parity + metadataBlocks());
    while (low < high) {
        const uint64_t middle = low + (high - low) / 2;
        if (middle + 1 - metadataUpTo(middle) >= parity + 1)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

ImageRecoveryLayout planImageRecovery(uint64_t maxProtected, uint32_t fixedBytes, int percent)
{
    ImageRecoveryLayout layout;
    maxProtected = std::max<uint64_t>(maxProtected, 1);
    layout.shape = recoveryShape(maxProtected, percent);
    layout.shape.width = static_cast<uint32_t>(divideUp(maxProtected, static_cast<uint64_t>(layout.shape.dataShards)));
    layout.share = static_cast<uint32_t>(std::clamp(percent, 1, 50));
    layout.fixedBytes = std::max<uint32_t>(fixedBytes, 1);
    layout.fixedChunks = static_cast<uint32_t>(divideUp(layout.fixedBytes, MetadataPayloadBytes));
    layout.crcBlocks = divideUp(layout.crcEntries(), CrcsPerBlock);
    layout.recoveryBlocks = layout.parityBlocks() + layout.metadataBlocks();
    return layout;
}

void writeMetadataHeader(uint8_t* block, const ImageRecoveryLayout& layout, MetadataKind kind, uint32_t copy,
                         uint64_t index)
{
    std::memset(block, 0, MetadataHeaderBytes);
    std::memcpy(block, Magic, sizeof Magic);
    Writer(block + 8).put(static_cast<uint32_t>(kind), 4);
    putLayout(block + LayoutAt, layout);
    Writer(block + CopyAt).put(copy, 4);
    Writer(block + IndexAt).put(index, 8);
    Writer(block + CrcAt).put(recoveryBlockCrc(block), 4);
}

std::optional<MetadataBlock> parseMetadataBlock(const uint8_t* block)
{
    if (std::memcmp(block, Magic, sizeof Magic) != 0)
        return std::nullopt;
    uint8_t copy[RecoveryBlockSize];
    std::memcpy(copy, block, RecoveryBlockSize);
    std::memset(copy + CrcAt, 0, 4);
    if (Reader(block + CrcAt, 4).get(4) != recoveryBlockCrc(copy))
        return std::nullopt;
    const auto layout = getLayout(block + LayoutAt);
    if (!layout)
        return std::nullopt;
    MetadataBlock parsed;
    parsed.layout = *layout;
    const uint64_t kind = Reader(block + 8, 4).get(4);
    parsed.copy = static_cast<uint32_t>(Reader(block + CopyAt, 4).get(4));
    parsed.index = Reader(block + IndexAt, 8).get(8);
    parsed.payload = block + MetadataHeaderBytes;
    if (kind == static_cast<uint32_t>(MetadataKind::FixedChunk)) {
        parsed.kind = MetadataKind::FixedChunk;
        if (parsed.copy >= layout->fixedCopies || parsed.index >= layout->fixedChunks)
            return std::nullopt;
    } else if (kind == static_cast<uint32_t>(MetadataKind::CrcBlock)) {
        parsed.kind = MetadataKind::CrcBlock;
        if (parsed.copy >= layout->crcCopies || parsed.index >= layout->crcBlocks)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    return parsed;
}

std::vector<uint8_t> serializeFixedPart(const RecoveryFixedPart& fixed)
{
    std::vector<uint8_t> out;
    const auto put = [&out](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    put(fixed.discName.size(), 2);
    out.insert(out.end(), fixed.discName.begin(), fixed.discName.end());
    put(fixed.files.size(), 4);
    for (const PlacedRecoveryFile& file : fixed.files) {
        put(file.name.size(), 2);
        out.insert(out.end(), file.name.begin(), file.name.end());
        put(file.block, 8);
        put(file.size, 8);
        out.insert(out.end(), file.md5.begin(), file.md5.end());
    }
    return out;
}

std::optional<RecoveryFixedPart> parseFixedPart(const uint8_t* bytes, std::size_t length,
                                                const ImageRecoveryLayout& layout)
{
    Reader in(bytes, length);
    RecoveryFixedPart fixed;
    if (!in.has(2))
        return std::nullopt;
    const auto discNameLength = static_cast<std::size_t>(in.get(2));
    if (!in.has(discNameLength + 4))
        return std::nullopt;
    const uint8_t* discName = in.take(discNameLength);
    fixed.discName.assign(discName, discName + discNameLength);
    if (!safeRecoveryName(fixed.discName) || fixed.discName.find('/') != std::string::npos)
        return std::nullopt;
    const uint64_t count = in.get(4);
    // Each file takes at least 34 bytes: the count is bounded by what is left.
    if (count > length / 34)
        return std::nullopt;
    uint64_t previousEnd = layout.sessionStart;
    for (uint64_t f = 0; f < count; ++f) {
        if (!in.has(2))
            return std::nullopt;
        const auto nameLength = static_cast<std::size_t>(in.get(2));
        if (!in.has(nameLength + 32))
            return std::nullopt;
        PlacedRecoveryFile file;
        const uint8_t* name = in.take(nameLength);
        file.name.assign(name, name + nameLength);
        file.block = in.get(8);
        file.size = in.get(8);
        std::memcpy(file.md5.data(), in.take(16), 16);
        // In block order, apart, and inside the protected blocks; every name a safe one, once.
        if (!safeRecoveryName(file.name) || file.block < previousEnd || file.block > layout.recoveryStart()
            || file.size > (layout.recoveryStart() - file.block) * RecoveryBlockSize)
            return std::nullopt;
        previousEnd = file.block + file.blocks();
        fixed.files.push_back(std::move(file));
    }
    if (!in.atEnd())
        return std::nullopt;
    std::vector<const std::string*> names;
    for (const auto& file : fixed.files)
        names.push_back(&file.name);
    std::ranges::sort(names, [](const std::string* a, const std::string* b) { return *a < *b; });
    if (std::adjacent_find(names.begin(), names.end(),
                           [](const std::string* a, const std::string* b) { return *a == *b; })
        != names.end())
        return std::nullopt;
    return fixed;
}

} // namespace torvinel
