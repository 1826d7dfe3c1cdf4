#include "discwright/DiscPath.h"

#include <algorithm>

namespace torvinel {

bool staysInsideFolder(std::string_view name)
{
    if (name.empty() || name.find('\0') != std::string_view::npos)
        return false;
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string_view part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (end == name.size())
            return true;
        start = end + 1;
    }
}

bool safeDiscPath(std::string_view path)
{
    return path.find('\\') == std::string_view::npos && staysInsideFolder(path);
}

} // namespace torvinel
