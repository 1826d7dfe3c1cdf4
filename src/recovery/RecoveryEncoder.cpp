#include "recovery/RecoveryEncoder.h"

#include <isa-l/erasure_code.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "recovery/internal/CodeMatrix.h"

namespace torvinel {

RecoveryEncoder::RecoveryEncoder(const RecoveryShape& shape, uint64_t dataBlocks)
    : m_shape(shape), m_dataBlocks(dataBlocks), m_tables(parityTables(shape))
{
}

void RecoveryEncoder::encode(const std::function<DataRead()>& reader, const ParityWrite& write, unsigned threads) const
{
    const uint64_t bandsPerStripe = (m_shape.width + BandColumns - 1) / BandColumns;
    const uint64_t bands = m_shape.stripes(m_dataBlocks) * bandsPerStripe;
    std::atomic<uint64_t> next = 0;
    std::atomic<bool> failed = false;
    std::exception_ptr error;
    std::mutex errorLock;
    const auto work = [&] {
        std::vector<uint8_t> row(static_cast<std::size_t>(BandColumns) * RecoveryBlockSize);
        std::vector<uint8_t> parity(row.size() * static_cast<std::size_t>(m_shape.parityShards));
        try {
            const DataRead read = reader();
            for (uint64_t band = next++; band < bands && !failed; band = next++)
                encodeBand(band, read, write, row, parity);
        } catch (...) {
            const std::lock_guard lock(errorLock);
            if (!error)
                error = std::current_exception();
            failed = true;
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < std::max(threads, 1u); ++i)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
    if (error)
        std::rethrow_exception(error);
}

// Each row's blocks of the band add their share to the band's parity rows, which stay small
// enough for the caches while all the stripe's rows pass.
void RecoveryEncoder::encodeBand(uint64_t band, const DataRead& read, const ParityWrite& write,
                                 std::vector<uint8_t>& row, std::vector<uint8_t>& parity) const
{
    const uint64_t bandsPerStripe = (m_shape.width + BandColumns - 1) / BandColumns;
    const uint64_t stripe = band / bandsPerStripe;
    const uint64_t column = band % bandsPerStripe * BandColumns;
    const auto columns = static_cast<std::size_t>(std::min<uint64_t>(BandColumns, m_shape.width - column));
    const std::size_t bytes = columns * RecoveryBlockSize;
    const auto parityShards = static_cast<std::size_t>(m_shape.parityShards);
    std::fill_n(parity.begin(), parityShards * bytes, uint8_t{0});
    std::vector<uint8_t*> parityRows(parityShards);
    for (std::size_t q = 0; q < parityShards; ++q)
        parityRows[q] = parity.data() + q * bytes;

    const uint64_t stripeStart = stripe * m_shape.stripeDataBlocks();
    for (int r = 0; r < m_shape.dataShards; ++r) {
        const uint64_t first = stripeStart + static_cast<uint64_t>(r) * m_shape.width + column;
        if (first >= m_dataBlocks)
            break; // the rows no data reaches are zero blocks: they add nothing
        const auto present = static_cast<std::size_t>(std::min<uint64_t>(columns, m_dataBlocks - first));
        read(first, present, row.data());
        std::memset(row.data() + present * RecoveryBlockSize, 0, bytes - present * RecoveryBlockSize);
        // The library only reads the tables, but takes them without const.
        ec_encode_data_update(static_cast<int>(bytes), m_shape.dataShards, m_shape.parityShards, r,
                              const_cast<uint8_t*>(m_tables.data()), row.data(), parityRows.data());
    }
    const uint64_t parityStart = stripe * m_shape.stripeParityBlocks();
    for (std::size_t q = 0; q < parityShards; ++q)
        write(parityStart + q * m_shape.width + column, columns, parityRows[q]);
}

} // namespace torvinel
