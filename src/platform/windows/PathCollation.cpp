// Path identity and order on Windows: ordinal comparison with the letters folded to one
// case (no locale word sort, so the lines of one folder stay one contiguous block).
#include "platform/Platform.h"

namespace torvinel::platform {

namespace {
inline unsigned char fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }
} // namespace

char pathSeparator() { return '\\'; }

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '\\')
        return folder + name;
    return folder + "\\" + name;
}

std::size_t drivePrefixLength() { return 3; }

char groupLetter(std::string_view path)
{
    if (path.empty())
        return 'd';
    const unsigned char c = path[0];
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
}

int comparePaths(std::string_view a, std::string_view b)
{
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = fold(a[i]), y = fold(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool samePath(std::string_view a, std::string_view b) { return comparePaths(a, b) == 0; }

std::size_t pathMismatch(std::string_view a, std::string_view b, std::size_t from)
{
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    std::size_t i = from;
    while (i < n && fold(a[i]) == fold(b[i]))
        ++i;
    return i;
}

} // namespace torvinel::platform
