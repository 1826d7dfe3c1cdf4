#include "recovery/BlockRepair.h"

#include <isa-l/erasure_code.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "recovery/internal/CodeMatrix.h"

namespace torvinel {

namespace {

constexpr uint32_t GroupWidth = 64; // codewords read side by side at a time

// Products in the code's field, looked up.
class FieldProducts {
public:
    FieldProducts()
    {
        for (int a = 0; a < 256; ++a)
            for (int b = 0; b < 256; ++b)
                m_table[a][b] = gf_mul(static_cast<unsigned char>(a), static_cast<unsigned char>(b));
    }
    uint8_t operator()(uint8_t a, uint8_t b) const { return m_table[a][b]; }

private:
    uint8_t m_table[256][256];
};

// The coefficients that give a codeword's lost data blocks from the blocks it kept. With e
// data blocks lost, e kept parity blocks stand in for them: their equations, less what the
// kept data gives, are an e-by-e system in the lost blocks, so only that small matrix is
// inverted rather than one of k by k.
class Decoder {
public:
    explicit Decoder(const RecoveryShape& shape) : m_shape(shape), m_generator(generatorMatrix(shape)) { }

    // sources: the kept data rows, then the first e kept parity rows (k in all); lost: the e
    // lost data rows. Returns the library's tables, empty when the system cannot be solved.
    std::vector<uint8_t> tables(const std::vector<int>& sources, const std::vector<int>& lost) const
    {
        const std::size_t k = static_cast<std::size_t>(m_shape.dataShards);
        const std::size_t e = lost.size();
        const std::size_t keptData = k - e;
        const auto generator = [&](int row, int column) {
            return m_generator[static_cast<std::size_t>(row) * k + static_cast<std::size_t>(column)];
        };
        std::vector<uint8_t> system(e * e), inverse(e * e);
        for (std::size_t i = 0; i < e; ++i)
            for (std::size_t c = 0; c < e; ++c)
                system[i * e + c] = generator(sources[keptData + i], lost[c]);
        if (gf_invert_matrix(system.data(), inverse.data(), static_cast<int>(e)) != 0)
            return {};
        // Lost block c = sum over i of inverse[c][i] * (parity i + sum over kept data j of
        // generator[parity i][j] * data j); in this field adding and subtracting are one.
        std::vector<uint8_t> coefficients(e * k);
        for (std::size_t c = 0; c < e; ++c) {
            uint8_t* row = &coefficients[c * k];
            for (std::size_t j = 0; j < keptData; ++j) {
                uint8_t sum = 0;
                for (std::size_t i = 0; i < e; ++i)
                    sum ^= m_products(inverse[c * e + i], generator(sources[keptData + i], sources[j]));
                row[j] = sum;
            }
            for (std::size_t i = 0; i < e; ++i)
                row[keptData + i] = inverse[c * e + i];
        }
        std::vector<uint8_t> tables(32u * k * e);
        ec_init_tables(static_cast<int>(k), static_cast<int>(e), coefficients.data(), tables.data());
        return tables;
    }

private:
    RecoveryShape m_shape;
    std::vector<uint8_t> m_generator;
    FieldProducts m_products;
};

} // namespace

RepairCount repairBlocks(const RecoveryShape& shape, uint64_t dataBlocks, RecoveryBlocks& blocks)
{
    RepairCount count;
    const int k = shape.dataShards;
    const int m = shape.parityShards;
    const int rows = k + m;
    const auto decoder = std::make_unique<Decoder>(shape);
    const uint64_t stripes = shape.stripes(dataBlocks);
    // [row][codeword of the group]: the blocks, and whether each was kept.
    std::vector<uint8_t> group(static_cast<std::size_t>(rows) * GroupWidth * RecoveryBlockSize);
    std::vector<char> kept(static_cast<std::size_t>(rows) * GroupWidth);
    const auto block = [&](int row, uint32_t w) {
        return group.data() + (static_cast<std::size_t>(row) * GroupWidth + w) * RecoveryBlockSize;
    };
    std::vector<uint8_t> rebuilt(static_cast<std::size_t>(m) * RecoveryBlockSize);

    for (uint64_t s = 0; s < stripes; ++s) {
        const uint64_t dataBase = s * shape.stripeDataBlocks();
        const uint64_t parityBase = s * shape.stripeParityBlocks();
        for (uint32_t w0 = 0; w0 < shape.width; w0 += GroupWidth) {
            const uint32_t width = std::min(GroupWidth, shape.width - w0);
            std::vector<char> wanted(width);
            for (uint32_t w = 0; w < width; ++w)
                wanted[w] = blocks.wanted(s, w0 + w) ? 1 : 0;
            if (std::find(wanted.begin(), wanted.end(), 1) == wanted.end())
                continue;
            for (int r = 0; r < rows; ++r) {
                for (uint32_t w = 0; w < width; ++w) {
                    if (!wanted[w])
                        continue;
                    char& ok = kept[static_cast<std::size_t>(r) * GroupWidth + w];
                    if (r < k) {
                        const uint64_t index = dataBase + static_cast<uint64_t>(r) * shape.width + w0 + w;
                        // Beyond the data the stream was padded with zero blocks, known to all.
                        if (index >= dataBlocks) {
                            std::memset(block(r, w), 0, RecoveryBlockSize);
                            ok = 1;
                        } else {
                            ok = blocks.data(index, block(r, w)) ? 1 : 0;
                            count.lostData += ok ? 0 : 1;
                        }
                    } else {
                        ok = blocks.parity(parityBase + static_cast<uint64_t>(r - k) * shape.width + w0 + w, block(r, w))
                            ? 1
                            : 0;
                        count.lostParity += ok ? 0 : 1;
                    }
                }
            }
            for (uint32_t w = 0; w < width; ++w) {
                if (!wanted[w])
                    continue;
                std::vector<int> keptRows, lostData;
                for (int r = 0; r < rows; ++r) {
                    if (kept[static_cast<std::size_t>(r) * GroupWidth + w])
                        keptRows.push_back(r);
                    else if (r < k)
                        lostData.push_back(r);
                }
                const int lost = rows - static_cast<int>(keptRows.size());
                if (lost == m)
                    ++count.codewordsAtLimit;
                if (lostData.empty())
                    continue;
                const auto dataIndex = [&](int r) {
                    return dataBase + static_cast<uint64_t>(r) * shape.width + w0 + w;
                };
                // The kept rows ascend: the kept data rows, then as many parity rows as were lost.
                keptRows.resize(std::min<std::size_t>(keptRows.size(), static_cast<std::size_t>(k)));
                const std::vector<uint8_t> tables = static_cast<int>(keptRows.size()) == k
                    ? decoder->tables(keptRows, lostData)
                    : std::vector<uint8_t>();
                if (tables.empty()) {
                    for (int r : lostData)
                        count.unrecoverable.push_back(dataIndex(r));
                    continue;
                }
                std::vector<uint8_t*> sources(static_cast<std::size_t>(k)), outputs(lostData.size());
                for (int i = 0; i < k; ++i)
                    sources[static_cast<std::size_t>(i)] = block(keptRows[static_cast<std::size_t>(i)], w);
                for (std::size_t l = 0; l < lostData.size(); ++l)
                    outputs[l] = rebuilt.data() + l * RecoveryBlockSize;
                ec_encode_data(RecoveryBlockSize, k, static_cast<int>(lostData.size()),
                               const_cast<uint8_t*>(tables.data()), sources.data(), outputs.data());
                for (std::size_t l = 0; l < lostData.size(); ++l) {
                    blocks.rebuilt(dataIndex(lostData[l]), outputs[l]);
                    ++count.rebuilt;
                }
            }
        }
    }
    std::ranges::sort(count.unrecoverable);
    return count;
}

} // namespace torvinel
