// Path identity and order on POSIX: byte order, case-sensitive (two files that differ only
// in letter case are two files).
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

} // namespace torvinel::platform
