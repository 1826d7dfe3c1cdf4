#include "restore/internal/EntryName.h"

#include <algorithm>
#include <string_view>

#include "platform/Platform.h"

namespace torvinel {

std::optional<std::string> entryNameOf(const std::string& path)
{
    const std::size_t prefix = platform::drivePrefixLength();
    const char separator = platform::pathSeparator();
    // "/" here, "C:\" where drives have letters.
    if (path.size() <= prefix || path[prefix - 1] != separator || (prefix > 1 && path[1] != ':'))
        return std::nullopt;
    std::string name = path.substr(prefix);
    if (separator != '/')
        std::replace(name.begin(), name.end(), separator, '/');
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string_view part(name.data() + start, end - start);
        if (part.empty() || part == "." || part == ".." || (separator != '/' && part.find(':') != part.npos))
            return std::nullopt;
        if (end == name.size())
            return name;
        start = end + 1;
    }
}

} // namespace torvinel
