#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "recovery/RecoveryShape.h"

namespace torvinel {

// Computes the parity of a stream of data blocks (RecoveryShape), reading the blocks where
// they lie. A stripe is worked in bands of a few columns: the band's blocks of every row are
// read, and its parity is then complete. A wide stripe's parity rows would not fit in the
// processor's caches if each row were fed whole; a band's do, and bands are independent, so
// several threads share the work.
class RecoveryEncoder {
public:
    // Reads data blocks [first, first + count) of the stream into out, count * RecoveryBlockSize
    // bytes. Each block is asked for once. Called from several threads at once.
    using DataRead = std::function<void(uint64_t first, std::size_t count, uint8_t* out)>;
    // Takes parity blocks [first, first + count) of the parity stream (stripe after stripe, each
    // stripe's parity rows in order, the side-by-side codewords within a row). Each block is
    // given once. Called from several threads at once.
    using ParityWrite = std::function<void(uint64_t first, std::size_t count, const uint8_t* parity)>;

    RecoveryEncoder(const RecoveryShape& shape, uint64_t dataBlocks);

    // Encodes every stripe on threads threads (1 or more), each reading through the function
    // reader() gives it (so each may keep files open of its own). The rows of the last stripe
    // that no data reaches count as zero blocks and are not read. An exception thrown by a
    // read or a write stops the work and is raised here once every thread has ended.
    void encode(const std::function<DataRead()>& reader, const ParityWrite& write, unsigned threads) const;

    // The columns of a band: 32 KiB of each row.
    static constexpr uint32_t BandColumns = 16;

private:
    void encodeBand(uint64_t band, const DataRead& read, const ParityWrite& write, std::vector<uint8_t>& rows,
                    std::vector<uint8_t>& parity) const;

    RecoveryShape m_shape;
    uint64_t m_dataBlocks;
    std::vector<uint8_t> m_tables; // the parity rows' coefficients, expanded for the library
};

} // namespace torvinel
