// A disc's recovery file as a damaged disc may give it: its header found from either copy,
// written again and read back the same, and the damage it tells counted over it.
//
// Input: the recovery file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "recovery/RecoveryData.h"
#include "support/FuzzFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace torvinel;
    const RecoveryFileRead read = [&](uint64_t offset, std::size_t length, uint8_t* out) {
        if (offset > size || length > size - offset)
            return false;
        std::memcpy(out, data + offset, length);
        return true;
    };
    const auto header = readRecoveryHeader(read, size);
    if (!header)
        return 0;
    uint64_t blocks = 0;
    for (const ProtectedFile& file : header->files)
        blocks += file.blocks();
    TORVINEL_FUZZ_CHECK(blocks == header->dataBlocks());
    TORVINEL_FUZZ_CHECK(header->parityBlocks() == header->shape.parityBlocks(header->dataBlocks()));

    const std::vector<uint8_t> stored = serializeHeader(*header);
    TORVINEL_FUZZ_CHECK(stored.size() == headerBytes(header->files, header->dataBlocks(), header->parityBlocks()));
    const auto again = parseHeader(stored.data(), stored.size());
    TORVINEL_FUZZ_CHECK(again && again->files.size() == header->files.size() && again->dataCrcs == header->dataCrcs
                        && again->parityCrcs == header->parityCrcs);

    // Every data block reads as zeros: the count may not reach past what the header covers.
    const ProtectedBlockRead zeros = [](std::size_t, uint64_t, uint8_t* out) {
        std::memset(out, 0, RecoveryBlockSize);
        return true;
    };
    const RecoveryDamage damage = assessDamage(*header, zeros, read, {});
    TORVINEL_FUZZ_CHECK(damage.blocks == header->dataBlocks() + header->parityBlocks());
    TORVINEL_FUZZ_CHECK(damage.lost <= damage.blocks);
    return 0;
}
