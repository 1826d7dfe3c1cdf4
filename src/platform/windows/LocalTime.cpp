#include "platform/LocalTime.h"

namespace torvinel::platform {

bool toLocalTime(std::time_t moment, std::tm& parts) { return localtime_s(&parts, &moment) == 0; }

} // namespace torvinel::platform
