#pragma once
#include <algorithm>
#include <string_view>

namespace torvinel {

// Whether a name a recovery file gives for a file of the disc's folder ('/' between folders)
// stays inside that folder wherever it is written: not empty, relative, without an empty, "."
// or ".." part, a backslash, a colon (a drive elsewhere) or a control character (NUL included).
inline bool safeRecoveryName(std::string_view name)
{
    if (name.empty() || name.size() > 4096)
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string_view part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        for (const char c : part)
            if (static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == ':' || c == 0x7f)
                return false;
        if (end == name.size())
            return true;
        start = end + 1;
    }
}

} // namespace torvinel
