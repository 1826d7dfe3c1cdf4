#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "recovery/RecoveryShape.h"

namespace torvinel {

// How much of what a disc's recovery data covers is lost, and whether its parity can rebuild
// all of it: a codeword rebuilds its lost data blocks as long as it lost no more of its data
// and parity blocks together than it has parity blocks. The blocks of the recovery data's own
// records count too (version 1: its header's two copies; one lost is made again from the
// other, which was read).
struct RecoveryDamage {
    uint64_t blocks = 0;                   // data, parity and the records' blocks together
    uint64_t lost = 0;                     // of them, lost
    uint64_t codewordsBeyondRepair = 0;    // that lost more than their parity rebuilds
    uint64_t lostParity = 0;               // of the lost blocks, those of the parity
    std::vector<std::string> damagedFiles; // the protected files with a lost block, in disc order
    uint64_t lostOutsideFiles = 0;         // lost blocks no file holds (the file tree), where known
    uint64_t lostMetadata = 0;             // of the lost blocks, those of the recovery data's own records

    bool recoverable() const { return codewordsBeyondRepair == 0; }
};

// Counts the lost blocks of each codeword of a disc of dataBlocks data blocks; each lost block
// is to be told once. Its result knows the data and parity blocks only.
class DamageTally {
public:
    DamageTally(const RecoveryShape& shape, uint64_t dataBlocks);

    void lostData(uint64_t index);
    void lostParity(uint64_t index);
    RecoveryDamage result() const;

private:
    RecoveryShape m_shape;
    uint64_t m_dataBlocks;
    std::vector<uint32_t> m_lost; // per codeword: stripe * width + column
    uint64_t m_lostBlocks = 0;
};

} // namespace torvinel
