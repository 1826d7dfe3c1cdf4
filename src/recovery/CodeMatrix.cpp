#include "recovery/internal/CodeMatrix.h"

#include <isa-l/erasure_code.h>

namespace torvinel {

std::vector<uint8_t> generatorMatrix(const RecoveryShape& shape)
{
    const int k = shape.dataShards;
    const int rows = k + shape.parityShards;
    std::vector<uint8_t> matrix(static_cast<std::size_t>(rows) * static_cast<std::size_t>(k));
    gf_gen_cauchy1_matrix(matrix.data(), rows, k);
    return matrix;
}

std::vector<uint8_t> parityTables(const RecoveryShape& shape)
{
    const int k = shape.dataShards;
    std::vector<uint8_t> matrix = generatorMatrix(shape);
    std::vector<uint8_t> tables(32u * static_cast<std::size_t>(k) * static_cast<std::size_t>(shape.parityShards));
    ec_init_tables(k, shape.parityShards, matrix.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(k),
                   tables.data());
    return tables;
}

} // namespace torvinel
