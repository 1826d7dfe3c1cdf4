#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "recovery/RecoveryShape.h"

namespace torvinel {

// Computes the parity of a stream of data blocks, stripe after stripe (RecoveryShape), with
// memory for one stripe's parity rows and one data row. The data is fed in pieces of any
// size; endFile() pads to a whole block, as a file on a disc ends on a sector boundary.
class RecoveryEncoder {
public:
    // Receives each stripe's parity rows, parityShards * width blocks, in order.
    using ParitySink = std::function<void(const uint8_t* parity, std::size_t bytes)>;

    RecoveryEncoder(const RecoveryShape& shape, ParitySink sink);
    ~RecoveryEncoder();
    RecoveryEncoder(const RecoveryEncoder&) = delete;
    RecoveryEncoder& operator=(const RecoveryEncoder&) = delete;

    void add(const uint8_t* data, std::size_t length);
    void endFile();
    // Pads the last stripe with zero blocks and hands on its parity. Returns the data blocks fed.
    uint64_t finish();

private:
    void encodeRow();

    RecoveryShape m_shape;
    ParitySink m_sink;
    std::vector<uint8_t> m_tables; // the parity rows' coefficients, expanded for the library
    std::vector<uint8_t> m_row;
    std::size_t m_inRow = 0; // bytes of m_row filled
    int m_rowIndex = 0;      // of the stripe being encoded
    std::vector<uint8_t> m_parity;
    uint64_t m_blocks = 0;
};

} // namespace torvinel
