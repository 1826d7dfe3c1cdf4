#pragma once
#include <cstdint>
#include <functional>

#include "recovery/BlockRepair.h"
#include "recovery/ImageRecoveryReader.h"
#include "recovery/MediumBlocks.h"
#include "recovery/RecoveryDamage.h"

namespace torvinel {

// Takes a protected block of the session (index from the session's start), read whole or rebuilt.
using RepairedBlock = std::function<void(uint64_t index, const uint8_t* block)>;

// Repairs the session of recovery on medium (blocks at their places on the medium): reads each
// protected and parity block of the codewords wanted (all when wanted is empty) once, takes a
// block that cannot be read, fails its CRC or whose CRC was lost as lost, rebuilds what the
// parity allows and hands every protected block of those codewords that is whole to put, in
// no particular order. Blocks beyond repair are listed in the count's unrecoverable.
RepairCount repairImage(const ImageRecovery& recovery, MediumBlocks& medium, const RepairedBlock& put,
                        const std::function<bool(uint64_t codeword)>& wanted = {});

// The codewords that hold protected blocks [first, first + count).
std::function<bool(uint64_t codeword)> codewordsOf(const ImageRecoveryLayout& layout, uint64_t first, uint64_t count);

// Reads every protected and parity block once and tells how much is lost and whether the
// parity rebuilds it all; the files of the fixed part with a lost block are named, and lost
// metadata and blocks outside every file counted. nullopt when cancelled (asked now and then)
// said true.
std::optional<RecoveryDamage> assessImage(const ImageRecovery& recovery, MediumBlocks& medium,
                                          const std::function<bool()>& cancelled = {});

} // namespace torvinel
