#include "backup/SizeText.h"

#include <cstdio>

namespace torvinel {

namespace {

std::string filesText(const SelectionSize& size)
{
    return countText(size.files) + (size.files == 1 ? " file, " : " files, ") + sizeText(size.bytes);
}

} // namespace

std::string countText(int64_t count)
{
    const std::string digits = std::to_string(count);
    const std::size_t sign = count < 0 ? 1 : 0;
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > sign && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

std::string sizeText(int64_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    // 1023.5 KB would print as "1024 KB": such a value is shown in the next unit.
    while (value >= 1023.5 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, value < 99.95 ? "%.1f %s" : "%.0f %s", value, units[unit]);
    return text;
}

std::string selectedText(const SelectionSize& size, const std::vector<DiscMedia>& media)
{
    if (size.files == 0)
        return "Selected: nothing";
    std::string text = "Selected: " + filesText(size);
    for (std::size_t i = 0; i < media.size(); ++i) {
        const int64_t discs = discsNeeded(size.bytes, media[i]);
        text += (i == 0 ? " \u2014 about " : " or ") + countText(discs) + " "
            + (discs == 1 ? media[i].one : media[i].several);
    }
    return text;
}

std::string countingText(const SelectionSize& size) { return "Counting\u2026 " + filesText(size) + " so far"; }

} // namespace torvinel
