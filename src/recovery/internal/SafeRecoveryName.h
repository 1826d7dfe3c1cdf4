#pragma once
#include <string_view>

#include "discwright/DiscPath.h"

namespace torvinel {

// Whether a name a recovery file gives for a file of the disc's folder ('/' between folders)
// stays inside that folder wherever it is written: not empty, relative, without an empty, "."
// or ".." part, a backslash, a colon (a drive elsewhere) or a control character (NUL included).
inline bool safeRecoveryName(std::string_view name)
{
    if (name.size() > 4096 || !staysInsideFolder(name))
        return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == ':' || c == 0x7f)
            return false;
    return true;
}

} // namespace torvinel
