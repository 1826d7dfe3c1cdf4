#include "catalog/Md5.h"

#include <cstring>

namespace torvinel {

namespace {

inline std::uint32_t rotl(std::uint32_t v, int s) { return (v << s) | (v >> (32 - s)); }

inline std::uint32_t load32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// Each step adds the message word and constant first: that part does not wait for the
// previous step's result, so only the round function, the rotation and one add sit on the
// dependency chain. G is written as a sum of two disjoint masks for the same reason.
#define MD5_F(a, b, c, d, x, t, s)                                                                                     \
    a += (x) + (t);                                                                                                    \
    a += (d) ^ ((b) & ((c) ^ (d)));                                                                                    \
    a = rotl(a, s) + (b);
#define MD5_G(a, b, c, d, x, t, s)                                                                                     \
    a += (x) + (t) + ((c) & ~(d));                                                                                     \
    a += (b) & (d);                                                                                                    \
    a = rotl(a, s) + (b);
#define MD5_H(a, b, c, d, x, t, s)                                                                                     \
    a += (x) + (t);                                                                                                    \
    a += (b) ^ (c) ^ (d);                                                                                              \
    a = rotl(a, s) + (b);
#define MD5_I(a, b, c, d, x, t, s)                                                                                     \
    a += (x) + (t);                                                                                                    \
    a += (c) ^ ((b) | ~(d));                                                                                           \
    a = rotl(a, s) + (b);

void compress(std::uint32_t state[4], const std::uint8_t* data, std::size_t blocks)
{
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; blocks > 0; --blocks, data += 64) {
        const std::uint32_t x0 = load32(data), x1 = load32(data + 4), x2 = load32(data + 8), x3 = load32(data + 12),
                            x4 = load32(data + 16), x5 = load32(data + 20), x6 = load32(data + 24),
                            x7 = load32(data + 28), x8 = load32(data + 32), x9 = load32(data + 36),
                            x10 = load32(data + 40), x11 = load32(data + 44), x12 = load32(data + 48),
                            x13 = load32(data + 52), x14 = load32(data + 56), x15 = load32(data + 60);
        const std::uint32_t aa = a, bb = b, cc = c, dd = d;

        MD5_F(a, b, c, d, x0, 0xd76aa478, 7)
        MD5_F(d, a, b, c, x1, 0xe8c7b756, 12)
        MD5_F(c, d, a, b, x2, 0x242070db, 17)
        MD5_F(b, c, d, a, x3, 0xc1bdceee, 22)
        MD5_F(a, b, c, d, x4, 0xf57c0faf, 7)
        MD5_F(d, a, b, c, x5, 0x4787c62a, 12)
        MD5_F(c, d, a, b, x6, 0xa8304613, 17)
        MD5_F(b, c, d, a, x7, 0xfd469501, 22)
        MD5_F(a, b, c, d, x8, 0x698098d8, 7)
        MD5_F(d, a, b, c, x9, 0x8b44f7af, 12)
        MD5_F(c, d, a, b, x10, 0xffff5bb1, 17)
        MD5_F(b, c, d, a, x11, 0x895cd7be, 22)
        MD5_F(a, b, c, d, x12, 0x6b901122, 7)
        MD5_F(d, a, b, c, x13, 0xfd987193, 12)
        MD5_F(c, d, a, b, x14, 0xa679438e, 17)
        MD5_F(b, c, d, a, x15, 0x49b40821, 22)

        MD5_G(a, b, c, d, x1, 0xf61e2562, 5)
        MD5_G(d, a, b, c, x6, 0xc040b340, 9)
        MD5_G(c, d, a, b, x11, 0x265e5a51, 14)
        MD5_G(b, c, d, a, x0, 0xe9b6c7aa, 20)
        MD5_G(a, b, c, d, x5, 0xd62f105d, 5)
        MD5_G(d, a, b, c, x10, 0x02441453, 9)
        MD5_G(c, d, a, b, x15, 0xd8a1e681, 14)
        MD5_G(b, c, d, a, x4, 0xe7d3fbc8, 20)
        MD5_G(a, b, c, d, x9, 0x21e1cde6, 5)
        MD5_G(d, a, b, c, x14, 0xc33707d6, 9)
        MD5_G(c, d, a, b, x3, 0xf4d50d87, 14)
        MD5_G(b, c, d, a, x8, 0x455a14ed, 20)
        MD5_G(a, b, c, d, x13, 0xa9e3e905, 5)
        MD5_G(d, a, b, c, x2, 0xfcefa3f8, 9)
        MD5_G(c, d, a, b, x7, 0x676f02d9, 14)
        MD5_G(b, c, d, a, x12, 0x8d2a4c8a, 20)

        MD5_H(a, b, c, d, x5, 0xfffa3942, 4)
        MD5_H(d, a, b, c, x8, 0x8771f681, 11)
        MD5_H(c, d, a, b, x11, 0x6d9d6122, 16)
        MD5_H(b, c, d, a, x14, 0xfde5380c, 23)
        MD5_H(a, b, c, d, x1, 0xa4beea44, 4)
        MD5_H(d, a, b, c, x4, 0x4bdecfa9, 11)
        MD5_H(c, d, a, b, x7, 0xf6bb4b60, 16)
        MD5_H(b, c, d, a, x10, 0xbebfbc70, 23)
        MD5_H(a, b, c, d, x13, 0x289b7ec6, 4)
        MD5_H(d, a, b, c, x0, 0xeaa127fa, 11)
        MD5_H(c, d, a, b, x3, 0xd4ef3085, 16)
        MD5_H(b, c, d, a, x6, 0x04881d05, 23)
        MD5_H(a, b, c, d, x9, 0xd9d4d039, 4)
        MD5_H(d, a, b, c, x12, 0xe6db99e5, 11)
        MD5_H(c, d, a, b, x15, 0x1fa27cf8, 16)
        MD5_H(b, c, d, a, x2, 0xc4ac5665, 23)

        MD5_I(a, b, c, d, x0, 0xf4292244, 6)
        MD5_I(d, a, b, c, x7, 0x432aff97, 10)
        MD5_I(c, d, a, b, x14, 0xab9423a7, 15)
        MD5_I(b, c, d, a, x5, 0xfc93a039, 21)
        MD5_I(a, b, c, d, x12, 0x655b59c3, 6)
        MD5_I(d, a, b, c, x3, 0x8f0ccc92, 10)
        MD5_I(c, d, a, b, x10, 0xffeff47d, 15)
        MD5_I(b, c, d, a, x1, 0x85845dd1, 21)
        MD5_I(a, b, c, d, x8, 0x6fa87e4f, 6)
        MD5_I(d, a, b, c, x15, 0xfe2ce6e0, 10)
        MD5_I(c, d, a, b, x6, 0xa3014314, 15)
        MD5_I(b, c, d, a, x13, 0x4e0811a1, 21)
        MD5_I(a, b, c, d, x4, 0xf7537e82, 6)
        MD5_I(d, a, b, c, x11, 0xbd3af235, 10)
        MD5_I(c, d, a, b, x2, 0x2ad7d2bb, 15)
        MD5_I(b, c, d, a, x9, 0xeb86d391, 21)

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

} // namespace

void Md5::reset()
{
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
    m_length = 0;
    m_buffered = 0;
}

void Md5::update(const void* data, std::size_t length)
{
    if (length == 0)
        return;
    auto bytes = static_cast<const std::uint8_t*>(data);
    m_length += length;
    if (m_buffered > 0) {
        const std::size_t take = length < 64 - m_buffered ? length : 64 - m_buffered;
        std::memcpy(m_buffer + m_buffered, bytes, take);
        m_buffered += take;
        bytes += take;
        length -= take;
        if (m_buffered < 64)
            return;
        compress(m_state, m_buffer, 1);
        m_buffered = 0;
    }
    if (length >= 64) {
        compress(m_state, bytes, length / 64);
        bytes += length / 64 * 64;
        length %= 64;
    }
    if (length > 0) {
        std::memcpy(m_buffer, bytes, length);
        m_buffered = length;
    }
}

Md5Digest Md5::final()
{
    const std::uint64_t bits = m_length * 8;
    std::uint8_t pad[72] = {0x80};
    const std::size_t padLength = (m_buffered < 56 ? 56 : 120) - m_buffered;
    for (int i = 0; i < 8; ++i)
        pad[padLength + i] = std::uint8_t(bits >> (8 * i));
    update(pad, padLength + 8);

    Md5Digest digest;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = std::uint8_t(m_state[i] >> (8 * j));
    reset();
    return digest;
}

Md5Digest md5(const void* data, std::size_t length)
{
    Md5 hash;
    hash.update(data, length);
    return hash.final();
}

} // namespace torvinel
