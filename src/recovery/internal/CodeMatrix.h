#pragma once
#include <cstdint>
#include <vector>

#include "recovery/RecoveryShape.h"

namespace torvinel {

// The code's generator: k + m rows of k coefficients, the first k the identity (the data
// blocks themselves), the last m those of the parity blocks (a Cauchy matrix, so any k of
// the k + m rows can be inverted).
std::vector<uint8_t> generatorMatrix(const RecoveryShape& shape);
// The parity rows' coefficients expanded for the library's encoder.
std::vector<uint8_t> parityTables(const RecoveryShape& shape);

} // namespace torvinel
