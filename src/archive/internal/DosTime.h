#pragma once
#include <cstdint>
#include <ctime>

// DOS date and time as the ZIP headers carry them: local time, two-second steps, years
// 1980 to 2107.
namespace torvinel::dostime {

struct DosStamp {
    uint16_t date = 0x21; // 1980-01-01
    uint16_t time = 0;
};

// A moment as a DOS stamp in local time, clamped to 1980-01-01 00:00:00 .. 2107-12-31 23:59:58.
DosStamp fromTime(time_t moment);
// The moment a DOS stamp names in local time; -1 for an impossible stamp.
time_t toTime(DosStamp stamp);

} // namespace torvinel::dostime
