#include <cstdio>

#include "platform/Platform.h"

namespace torvinel::platform {

// Developers' trace lines go to standard error, one write per line.
void debugOutput(const std::string& text) { std::fputs((text + "\n").c_str(), stderr); }

} // namespace torvinel::platform
