#include <windows.h>

#include "platform/Platform.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

bool replaceFile(const std::string& temporary, const std::string& target)
{
    return MoveFileExW(wide(temporary).c_str(), wide(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
        != 0;
}

} // namespace torvinel::platform
