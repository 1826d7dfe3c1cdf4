#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "app/View.h"

// Small file and date helpers every part of the program uses.
namespace torvinel {

// Waits until no other program uses the file. False at once when the file does not exist.
// While it is in use the user is asked, with Retry and Ignore, to close that program; Retry
// tests again (as often as the user wants), Ignore gives false. A file that cannot be
// opened at all (no permission) is not in use: no program's closing would help, so it
// gives false without asking, and the caller treats it like an ignored file. When it gives
// true and length is given, *length is the file's length as the last test found it.
bool WaitUntilFileFree(View& view, const std::string& path, int64_t* length = nullptr);

// Deletes everything inside folder (files and subfolders). True when nothing is left
// inside; an empty folder counts as emptied, a missing one does not.
bool EmptyFolder(const std::string& folder);

// The date as "yyyymmdd": the year in decimal, month and day with two digits each.
std::string DayStamp(int year, int month, int day);
std::string DayStamp(const std::chrono::year_month_day& date);

// The clock the program reads the date from; tests put a fixed moment in its place.
using Clock = std::function<std::chrono::system_clock::time_point()>;
// Today's date in local time.
std::chrono::year_month_day Today(const Clock& clock = std::chrono::system_clock::now);

// Free bytes where path lies (the drive of its first letter on Windows, the file system
// holding it on POSIX); 0 for a path that names no drive (Windows), -1 when it cannot be
// asked.
int64_t DriveFreeSpace(const std::string& path);

} // namespace torvinel
