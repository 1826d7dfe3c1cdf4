#pragma once
#include <cstdint>
#include <string>

namespace torvinel::test {

// A text as one word for the shell, whatever it holds.
inline std::string shellQuoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

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
