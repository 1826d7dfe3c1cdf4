// A disc's recovery file as a damaged disc may give it: its header found from either copy,
// written again and read back the same, and the damage it tells counted over it.
//
// Each input is tried as it is and again with the CRC of both header copies put right: a
// mutation of the header's fields would otherwise fail the CRC, and nothing behind that check
// (what is done with the counts, sizes, shape and names of a header read) would be reached.
//
// Input: the recovery file.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "recovery/RecoveryData.h"
#include "support/FuzzFiles.h"

namespace {

using namespace torvinel;

uint64_t field(const uint8_t* bytes, std::size_t at, int size)
{
    uint64_t value = 0;
    for (int i = size; i-- > 0;)
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

// Puts right the CRC of the header copy copy[0, length), where the copy's own fields say its
// content ends as the writer lays it out: the fixed part (44 bytes; the file count at 28, the
// data blocks at 32, the parity blocks at 40), each file's entry, a CRC per block. The fields
// are taken as they are, unchecked, so a count that wraps the sum round is followed too.
void putCrcRight(uint8_t* copy, std::size_t length)
{
    constexpr std::size_t Fixed = 44;
    if (length < Fixed)
        return;
    uint64_t at = Fixed;
    const uint64_t files = field(copy, 28, 4);
    for (uint64_t f = 0; f < files && at <= length - 4; ++f)
        at += 4 + field(copy, static_cast<std::size_t>(at), 4) + 8 + 16;
    at += 4 * (field(copy, 32, 8) + field(copy, 40, 4));
    if (at > length || length - at < 4)
        return;
    const uint32_t crc = static_cast<uint32_t>(crc32_z(0, copy, static_cast<std::size_t>(at)));
    for (int i = 0; i < 4; ++i)
        copy[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
}

void readBack(const uint8_t* data, std::size_t size)
{
    const RecoveryFileRead read = [&](uint64_t offset, std::size_t length, uint8_t* out) {
        if (offset > size || length > size - offset)
            return false;
        std::memcpy(out, data + offset, length);
        return true;
    };
    const auto header = readRecoveryHeader(read, size);
    if (!header)
        return;
    uint64_t blocks = 0;
    for (const ProtectedFile& file : header->files)
        blocks += file.blocks();
    TORVINEL_FUZZ_CHECK(blocks == header->dataBlocks());
    TORVINEL_FUZZ_CHECK(header->parityBlocks() == header->shape.parityBlocks(header->dataBlocks()));

    const std::vector<uint8_t> stored = serializeHeader(*header);
    const uint64_t headerLength = headerBytes(header->files, header->dataBlocks(), header->parityBlocks());
    TORVINEL_FUZZ_CHECK(stored.size() == headerLength);
    const auto again = parseHeader(stored.data(), stored.size());
    TORVINEL_FUZZ_CHECK(again && again->files.size() == header->files.size() && again->dataCrcs == header->dataCrcs
                        && again->parityCrcs == header->parityCrcs);

    // Every data block reads as zeros: the count may not reach past what the header covers.
    const ProtectedBlockRead zeros = [](std::size_t, uint64_t, uint8_t* out) {
        std::memset(out, 0, RecoveryBlockSize);
        return true;
    };
    const RecoveryDamage damage = assessDamage(*header, zeros, read, {});
    TORVINEL_FUZZ_CHECK(damage.blocks
                        == header->dataBlocks() + header->parityBlocks() + 2 * headerLength / RecoveryBlockSize);
    TORVINEL_FUZZ_CHECK(damage.lost <= damage.blocks);
    TORVINEL_FUZZ_CHECK(damage.lostMetadata <= 2 * headerLength / RecoveryBlockSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    readBack(data, size);
    // Both copies are as long as the file's last 8 bytes say, one at its start, one at its end.
    if (size < 8)
        return 0;
    const uint64_t length = field(data, size - 8, 8);
    if (length == 0 || length > size)
        return 0;
    std::vector<uint8_t> mended(data, data + size);
    putCrcRight(mended.data(), static_cast<std::size_t>(length));
    putCrcRight(mended.data() + size - length, static_cast<std::size_t>(length));
    if (!std::equal(mended.begin(), mended.end(), data))
        readBack(mended.data(), mended.size());
    return 0;
}
