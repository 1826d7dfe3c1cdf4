// Path identity and order on POSIX: byte order, case-sensitive (two files that differ only
// in letter case are two files).
#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/Platform.h"

namespace torvinel::platform {

char pathSeparator() { return '/'; }

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::size_t drivePrefixLength() { return 1; }

char groupLetter(std::string_view) { return 'r'; }

int comparePaths(std::string_view a, std::string_view b)
{
    const int c = std::memcmp(a.data(), b.data(), a.size() < b.size() ? a.size() : b.size());
    if (c != 0)
        return c;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool samePath(std::string_view a, std::string_view b) { return a == b; }

std::size_t pathMismatch(std::string_view a, std::string_view b, std::size_t from)
{
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    std::size_t i = from;
    // Eight bytes at a time: the first differing byte is the lowest set byte of the XOR.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) {
            const std::uint64_t diff = x ^ y;
            return i
                + static_cast<std::size_t>(std::endian::native == std::endian::little ? std::countr_zero(diff)
                                                                                      : std::countl_zero(diff))
                / 8;
        }
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

} // namespace torvinel::platform
