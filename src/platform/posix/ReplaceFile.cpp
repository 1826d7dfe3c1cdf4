#include <cstdio>

#include "platform/Platform.h"

namespace torvinel::platform {

bool replaceFile(const std::string& temporary, const std::string& target)
{
    return std::rename(temporary.c_str(), target.c_str()) == 0;
}

} // namespace torvinel::platform
