#pragma once
#include <functional>
#include <string>

namespace torvinel {

// Today's local date as DayStamp writes it (yyyymmdd). The names of discs and archives
// start with it; tests pin the day by passing a clock of their own.
using Clock = std::function<std::string()>;

std::string systemToday();

} // namespace torvinel
