#include "discwriter/TextFormat.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace torvinel {

std::string Format(const char* pattern, ...)
{
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text;
    if (size > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(size) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), pattern, again);
        text.assign(buffer.data(), static_cast<std::size_t>(size));
    }
    va_end(again);
    return text;
}

} // namespace torvinel
