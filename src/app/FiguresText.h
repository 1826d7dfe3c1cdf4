#pragma once
#include <chrono>
#include <cstdint>
#include <string>

namespace torvinel {

// How sizes and durations read in progress lines and run summaries.

// Decimal units, three significant figures from kB on: 0 -> "0 B", 999 -> "999 B",
// 1234 -> "1.23 kB", 12345678 -> "12.3 MB", 4700000000 -> "4.70 GB".
std::string bytesText(int64_t bytes);
// Whole seconds as m:ss, or h:mm:ss from an hour on: 5 -> "0:05", 3725 -> "1:02:05".
std::string durationText(std::chrono::seconds duration);
// "1 file", "12 files".
std::string filesText(int64_t files);

} // namespace torvinel
