#pragma once
#include <ctime>

// Broken-down local time from a moment, safe to call from any thread.
namespace torvinel::platform {

// False when local time cannot express the moment (parts are left as they were then).
[[nodiscard]] bool toLocalTime(std::time_t moment, std::tm& parts);

} // namespace torvinel::platform
