#pragma once
#include <chrono>
#include <string>
#include <vector>

#include "app/SortedList.h"

namespace torvinel {

// The record of every disc check, DiscHealth.csv in the application folder (outside the
// database, so that adding or removing a disc leaves it alone). One line per check, oldest
// first, each ended by CR LF:
//
//   <when>,<DiscId>,<result>,<damaged archives>
//
//   when      local date and time of the check, ISO 8601 to the second: 2026-12-10T14:03:22
//   result    sound, damaged or unreadable
//   damaged   the file names of the damaged archives of a damaged disc, separated by spaces
//
// A later line for a disc replaces what an earlier one said of it.
inline constexpr const char* discHealthFile = "DiscHealth.csv";

enum class DiscCondition { Sound, Damaged, Unreadable };

struct DiscCheck {
    std::string when;
    std::string discId;
    DiscCondition condition = DiscCondition::Sound;
    std::vector<std::string> damagedArchives;
};

// "sound", "damaged", "unreadable".
std::string conditionName(DiscCondition condition);
// A moment as the record writes it: local time, "2026-12-10T14:03:22".
std::string checkTime(std::chrono::system_clock::time_point moment);

// The checks recorded in appFolder, oldest first; none when there is no record. Lines that
// do not read as a check (a record edited by hand) are skipped. Raises Error("Could not read
// <file>") when the record exists but cannot be read.
std::vector<DiscCheck> readDiscChecks(const std::string& appFolder);

// Adds a check at the end of the record: the whole record is written anew beside it, put on
// the device and renamed over it, so a crash leaves every earlier line in place. Raises
// Error("Could not write <file>").
void recordDiscCheck(const std::string& appFolder, const DiscCheck& check);

// The last check of each disc, in the order of those checks (the least recently checked
// disc first).
std::vector<DiscCheck> lastChecks(const std::vector<DiscCheck>& checks);

// The disc of discs (DiscIds, oldest first) to check next: the oldest one never checked,
// else the one whose last check is the oldest. "" when discs is empty.
std::string nextDiscToCheck(const SortedList& discs, const std::vector<DiscCheck>& checks);

// The discs whose last check found them damaged.
SortedList damagedDiscs(const std::vector<DiscCheck>& checks);

} // namespace torvinel
