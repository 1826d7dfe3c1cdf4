// Wildcard masks as file listings understand them, the same on every platform: "*" matches
// any run of characters, "?" exactly one, letters match without regard to case, and "*.*"
// means every name (also names without a dot).
#include "platform/Platform.h"

namespace torvinel::platform {

namespace {

unsigned char folded(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// Length of the character starting at name[i]: a UTF-8 lead byte takes its continuation
// bytes along, so that "?" stands for one letter of a non-ASCII name; a stray byte is one.
std::size_t characterLength(std::string_view name, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(name[i]);
    const std::size_t length = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
    if (i + length > name.size())
        return 1;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(name[i + k]) & 0xC0) != 0x80)
            return 1;
    return length;
}

} // namespace

bool matchesMask(std::string_view name, std::string_view mask)
{
    if (mask == "*.*")
        mask = "*";
    // Greedy matching that returns to the last "*" on a mismatch: linear in practice and
    // never worse than name length times mask length.
    std::size_t n = 0, m = 0;
    std::size_t starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && mask[m] == '?') {
            n += characterLength(name, n);
            ++m;
        } else if (m < mask.size() && folded(mask[m]) == folded(name[n])) {
            ++n;
            ++m;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            starName += characterLength(name, starName);
            n = starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

} // namespace torvinel::platform
