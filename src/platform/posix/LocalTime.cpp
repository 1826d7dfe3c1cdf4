#include "platform/LocalTime.h"

namespace torvinel::platform {

bool toLocalTime(std::time_t moment, std::tm& parts) { return localtime_r(&moment, &parts) != nullptr; }

} // namespace torvinel::platform
