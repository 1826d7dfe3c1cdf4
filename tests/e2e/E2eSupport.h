#pragma once
#include <cstdint>
#include <string>

#include "support/CliRunner.h"

namespace torvinel::test {

// Bytes that do not compress (a fixed pseudo-random sequence), so file sizes on the discs
// are predictable.
inline std::string incompressible(std::size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    for (auto& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

} // namespace torvinel::test
