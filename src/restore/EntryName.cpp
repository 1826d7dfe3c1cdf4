#include "restore/internal/EntryName.h"

#include <algorithm>

#include "discwright/DiscPath.h"
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
    // A backslash is part of a name on POSIX; where drives have letters, a ':' would name a
    // drive or a stream.
    if (!staysInsideFolder(name) || (separator != '/' && name.find(':') != std::string::npos))
        return std::nullopt;
    return name;
}

} // namespace torvinel
