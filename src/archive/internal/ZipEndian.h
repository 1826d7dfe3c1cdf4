#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Explicit little-endian encoding and decoding of the ZIP records' fields. Callers check
// that offset + width lies inside the buffer before decoding.
namespace torvinel::zipformat {

inline uint16_t get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t get32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
        | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t get64(const unsigned char* p)
{
    return static_cast<uint64_t>(get32(p)) | (static_cast<uint64_t>(get32(p + 4)) << 32);
}

inline void put16(unsigned char* p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void put32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void put64(unsigned char* p, uint64_t v)
{
    put32(p, static_cast<uint32_t>(v));
    put32(p + 4, static_cast<uint32_t>(v >> 32));
}

// Appending encoders for records built in a byte string.
inline void append16(std::string& out, uint16_t v)
{
    unsigned char b[2];
    put16(b, v);
    out.append(reinterpret_cast<const char*>(b), 2);
}

inline void append32(std::string& out, uint32_t v)
{
    unsigned char b[4];
    put32(b, v);
    out.append(reinterpret_cast<const char*>(b), 4);
}

inline void append64(std::string& out, uint64_t v)
{
    unsigned char b[8];
    put64(b, v);
    out.append(reinterpret_cast<const char*>(b), 8);
}

} // namespace torvinel::zipformat
