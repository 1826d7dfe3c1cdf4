#include <windows.h>

#include "platform/Platform.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

// Developers' trace lines go to the debugger.
void debugOutput(const std::string& text) { OutputDebugStringW(wide(text + "\n").c_str()); }

} // namespace torvinel::platform
