#pragma once
#include <string>

namespace torvinel {

// printf-style formatting into a std::string, for the log and trace lines whose texts are
// fixed patterns ("Track size: %lld"). Pass 64-bit values with %lld and a long long cast.
#if defined(__GNUC__)
std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
#else
std::string Format(const char* pattern, ...);
#endif

// "Yes" or "No", as the session logs flags.
inline const char* YesNo(bool flag) { return flag ? "Yes" : "No"; }

} // namespace torvinel
