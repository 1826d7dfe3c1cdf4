#pragma once
#include <cstdint>
#include <vector>

#include "recovery/RecoveryShape.h"

namespace torvinel {

// Where a repair reads the blocks of a disc and puts the ones it rebuilds. A block is lost
// when it cannot be read or fails its check; the repair asks for every block once.
class RecoveryBlocks {
public:
    virtual ~RecoveryBlocks() = default;
    // Data block index (of dataBlocks) into out; false when it is lost.
    virtual bool data(uint64_t index, uint8_t* out) = 0;
    // Parity block index into out; false when it is lost.
    virtual bool parity(uint64_t index, uint8_t* out) = 0;
    // A lost data block, rebuilt.
    virtual void rebuilt(uint64_t index, const uint8_t* block) = 0;
    // Whether the codeword at column of stripe is to be read and rebuilt at all; one left
    // out is neither read nor counted.
    virtual bool wanted(uint64_t stripe, uint32_t column)
    {
        static_cast<void>(stripe);
        static_cast<void>(column);
        return true;
    }
};

struct RepairCount {
    uint64_t lostData = 0;
    uint64_t lostParity = 0;
    uint64_t rebuilt = 0;
    uint64_t codewordsAtLimit = 0;         // that lost exactly as many blocks as they can
    std::vector<uint64_t> unrecoverable;    // data blocks lost beyond repair, ascending
};

// Rebuilds every lost data block whose codeword kept at least dataShards of its blocks.
// Reads the stripes a group of side-by-side codewords at a time, so memory stays small.
RepairCount repairBlocks(const RecoveryShape& shape, uint64_t dataBlocks, RecoveryBlocks& blocks);

} // namespace torvinel
