#include "archive/internal/DosTime.h"

#include "platform/LocalTime.h"

namespace torvinel::dostime {

DosStamp fromTime(time_t moment)
{
    struct tm t { };
    if (!platform::toLocalTime(moment, t)) // beyond what local time can express
        t.tm_year = moment < 0 ? 1970 - 1900 : 3000 - 1900;
    int year = t.tm_year + 1900;
    int month = t.tm_mon + 1, day = t.tm_mday, hour = t.tm_hour, minute = t.tm_min, second = t.tm_sec;
    if (year < 1980) {
        year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    } else if (year > 2107) {
        year = 2107, month = 12, day = 31, hour = 23, minute = 59, second = 58;
    }
    if (second > 59)
        second = 59; // a leap second
    DosStamp stamp;
    stamp.date = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
    stamp.time = static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
    return stamp;
}

time_t toTime(DosStamp stamp)
{
    struct tm t { };
    t.tm_year = ((stamp.date >> 9) & 0x7F) + 1980 - 1900;
    t.tm_mon = ((stamp.date >> 5) & 0x0F) - 1;
    t.tm_mday = stamp.date & 0x1F;
    t.tm_hour = (stamp.time >> 11) & 0x1F;
    t.tm_min = (stamp.time >> 5) & 0x3F;
    t.tm_sec = (stamp.time & 0x1F) * 2;
    if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59)
        return -1;
    t.tm_isdst = -1;
    return mktime(&t);
}

} // namespace torvinel::dostime
