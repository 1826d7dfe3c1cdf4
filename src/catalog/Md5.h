#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace torvinel {

using Md5Digest = std::array<std::uint8_t, 16>;

// MD5 message digest (RFC 1321), fed in pieces of any size. After final() the object
// starts over with a fresh state.
class Md5 {
public:
    Md5() { reset(); }
    void reset();
    void update(const void* data, std::size_t length);
    Md5Digest final();

private:
    std::uint32_t m_state[4];
    std::uint64_t m_length = 0; // bytes fed so far
    std::uint8_t m_buffer[64];
    std::size_t m_buffered = 0;
};

// The digest of one piece of memory.
Md5Digest md5(const void* data, std::size_t length);

} // namespace torvinel
