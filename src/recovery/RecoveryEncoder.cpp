#include "recovery/RecoveryEncoder.h"

#include <isa-l/erasure_code.h>

#include <algorithm>
#include <cstring>

#include "recovery/internal/CodeMatrix.h"

namespace torvinel {

RecoveryEncoder::RecoveryEncoder(const RecoveryShape& shape, ParitySink sink)
    : m_shape(shape),
      m_sink(std::move(sink)),
      m_tables(parityTables(shape)),
      m_row(static_cast<std::size_t>(shape.width) * RecoveryBlockSize),
      m_parity(static_cast<std::size_t>(shape.stripeParityBlocks()) * RecoveryBlockSize)
{
}

RecoveryEncoder::~RecoveryEncoder() = default;

void RecoveryEncoder::add(const uint8_t* data, std::size_t length)
{
    while (length > 0) {
        const std::size_t take = std::min(length, m_row.size() - m_inRow);
        std::memcpy(m_row.data() + m_inRow, data, take);
        m_inRow += take;
        data += take;
        length -= take;
        if (m_inRow == m_row.size())
            encodeRow();
    }
}

void RecoveryEncoder::endFile()
{
    const std::size_t partial = m_inRow % RecoveryBlockSize;
    if (partial == 0)
        return;
    const std::size_t pad = RecoveryBlockSize - partial;
    std::memset(m_row.data() + m_inRow, 0, pad);
    m_inRow += pad;
    if (m_inRow == m_row.size())
        encodeRow();
}

// A row of the stripe adds its share to every parity row at once: the blocks side by side
// are independent codewords, so the row is one long vector for the library.
void RecoveryEncoder::encodeRow()
{
    m_blocks += m_inRow / RecoveryBlockSize;
    std::memset(m_row.data() + m_inRow, 0, m_row.size() - m_inRow);
    std::vector<uint8_t*> parity(static_cast<std::size_t>(m_shape.parityShards));
    for (int q = 0; q < m_shape.parityShards; ++q)
        parity[static_cast<std::size_t>(q)] = m_parity.data() + static_cast<std::size_t>(q) * m_row.size();
    ec_encode_data_update(static_cast<int>(m_row.size()), m_shape.dataShards, m_shape.parityShards, m_rowIndex,
                          m_tables.data(), m_row.data(), parity.data());
    m_inRow = 0;
    if (++m_rowIndex == m_shape.dataShards) {
        m_sink(m_parity.data(), m_parity.size());
        std::fill(m_parity.begin(), m_parity.end(), 0);
        m_rowIndex = 0;
    }
}

uint64_t RecoveryEncoder::finish()
{
    endFile();
    if (m_inRow > 0)
        encodeRow();
    // The rows of the stripe never fed are zero blocks: they add nothing to the parity.
    if (m_rowIndex > 0) {
        m_sink(m_parity.data(), m_parity.size());
        std::fill(m_parity.begin(), m_parity.end(), 0);
        m_rowIndex = 0;
    }
    return m_blocks;
}

} // namespace torvinel
