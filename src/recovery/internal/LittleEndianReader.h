#pragma once
#include <cstddef>
#include <cstdint>

namespace torvinel {

// Reads little-endian fields one after the other from bytes a recovery file gave; the caller
// asks has() before each read.
class LittleEndianReader {
public:
    LittleEndianReader(const uint8_t* bytes, std::size_t length) : m_bytes(bytes), m_length(length) { }
    bool has(uint64_t n) const { return left() >= n; }
    std::size_t left() const { return m_length - m_at; }
    bool atEnd() const { return m_at == m_length; }
    std::size_t at() const { return m_at; }
    // REQUIRES: has(bytes)
    uint64_t get(int bytes)
    {
        uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<uint64_t>(m_bytes[m_at + static_cast<std::size_t>(i)]) << (8 * i);
        m_at += static_cast<std::size_t>(bytes);
        return value;
    }
    // REQUIRES: has(n)
    const uint8_t* take(std::size_t n)
    {
        const uint8_t* at = m_bytes + m_at;
        m_at += n;
        return at;
    }

private:
    const uint8_t* m_bytes;
    std::size_t m_length;
    std::size_t m_at = 0;
};

} // namespace torvinel
