#pragma once
#include <cstdint>

namespace torvinel {

// The bytes of a recovery block: a disc's sector.
inline constexpr int RecoveryBlockSize = 2048;

// How a disc's data blocks are grouped into Reed-Solomon codewords. The data, taken as one
// stream of blocks, is cut into stripes of dataShards rows of width blocks each; the blocks of
// a row belong to width different codewords side by side, so a run of consecutive bad
// sectors up to a row long costs each codeword of the stripe one block only. Each codeword
// has dataShards data blocks (one per row) and parityShards parity blocks, which the stripe's
// parity rows hold in the same side-by-side order.
struct RecoveryShape {
    int dataShards = 0;   // k, at most 255 - parityShards
    int parityShards = 0; // m: a codeword survives the loss of any m of its k + m blocks
    uint32_t width = 0;   // codewords side by side in a stripe

    uint64_t stripeDataBlocks() const { return static_cast<uint64_t>(dataShards) * width; }
    uint64_t stripeParityBlocks() const { return static_cast<uint64_t>(parityShards) * width; }
    uint64_t stripes(uint64_t dataBlocks) const
    {
        return stripeDataBlocks() == 0 ? 0 : (dataBlocks + stripeDataBlocks() - 1) / stripeDataBlocks();
    }
    uint64_t parityBlocks(uint64_t dataBlocks) const { return stripes(dataBlocks) * stripeParityBlocks(); }

    bool operator==(const RecoveryShape&) const = default;
};

// The widest stripe: its parity rows are held in memory while a stripe is encoded
// (parityShards * width blocks, 124 MiB at most).
inline constexpr uint32_t RecoveryMaxWidth = 2048;

// The shape for up to dataBlocks blocks of data when percent (1 to 50) of the room of data and
// parity together goes to parity. Codewords are as long as the field allows (255 blocks) and
// as many sit side by side as the data fills, up to RecoveryMaxWidth, the stripes as even as
// can be; less data than one codeword takes gives one codeword of that many blocks. The
// parity is then about percent of the whole, at most one codeword's parity per stripe more.
RecoveryShape recoveryShape(uint64_t dataBlocks, int percent);

} // namespace torvinel
