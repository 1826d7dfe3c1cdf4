#include <windows.h>

#include "platform/Platform.h"

namespace torvinel::platform {

unsigned registerQueryCancelAutoPlay() { return RegisterWindowMessageW(L"QueryCancelAutoPlay"); }

} // namespace torvinel::platform
