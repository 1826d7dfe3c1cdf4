#include <windows.h>

#include "platform/Platform.h"

namespace torvinel::platform {

bool replaceFile(const std::string& temporary, const std::string& target)
{
    return MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

} // namespace torvinel::platform
