#include "recovery/RecoveryDamage.h"

#include <algorithm>

namespace torvinel {

DamageTally::DamageTally(const RecoveryShape& shape, uint64_t dataBlocks)
    : m_shape(shape), m_dataBlocks(dataBlocks), m_lost(shape.stripes(dataBlocks) * shape.width, 0)
{
}

// Data block i lies in row (i mod stripe) / width of its stripe, in the column i mod width.
void DamageTally::lostData(uint64_t index)
{
    if (index >= m_dataBlocks)
        return;
    const uint64_t stripe = index / m_shape.stripeDataBlocks();
    ++m_lost[stripe * m_shape.width + index % m_shape.width];
    ++m_lostBlocks;
}

// The parity rows of a stripe keep the columns of its data rows.
void DamageTally::lostParity(uint64_t index)
{
    const uint64_t stripe = index / m_shape.stripeParityBlocks();
    if (stripe >= m_lost.size() / std::max<uint64_t>(m_shape.width, 1))
        return;
    ++m_lost[stripe * m_shape.width + index % m_shape.width];
    ++m_lostBlocks;
}

RecoveryDamage DamageTally::result() const
{
    RecoveryDamage damage;
    damage.blocks = m_dataBlocks + m_shape.parityBlocks(m_dataBlocks);
    damage.lost = m_lostBlocks;
    for (const uint32_t lost : m_lost)
        damage.codewordsBeyondRepair += lost > static_cast<uint32_t>(m_shape.parityShards) ? 1 : 0;
    return damage;
}

} // namespace torvinel
