#include "app/FiguresText.h"

#include <cstdio>

namespace torvinel {

std::string bytesText(int64_t bytes)
{
    if (bytes < 1000 && bytes > -1000)
        return std::to_string(bytes) + " B";
    static const char* const units[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1000.0;
    int unit = 0;
    // Rounded before the unit is chosen, so 999,999 reads "1.00 MB" and not "1000 kB".
    while (unit < 5 && (value >= 999.5 || value <= -999.5)) {
        value /= 1000.0;
        ++unit;
    }
    const double magnitude = value < 0 ? -value : value;
    const char* format = magnitude >= 99.95 ? "%.0f %s" : magnitude >= 9.995 ? "%.1f %s" : "%.2f %s";
    char text[32];
    std::snprintf(text, sizeof text, format, value, units[unit]);
    return text;
}

std::string durationText(std::chrono::seconds duration)
{
    const long long total = duration.count() < 0 ? 0 : static_cast<long long>(duration.count());
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    return text;
}

std::string filesText(int64_t files) { return files == 1 ? "1 file" : std::to_string(files) + " files"; }

} // namespace torvinel
