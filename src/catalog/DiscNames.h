#pragma once
#include <string>

#include "app/FileHelpers.h"
#include "app/RunState.h"
#include "app/View.h"

namespace torvinel {

// DiscId: yyyymmdd of the day the disc was started and a three-digit sequence of that day
// ("20240305001"). ArchiveName: yyyymmdd, a five-digit sequence of the day, the group
// letter and the kind letter ("2024030500013rn"); its catalog is ArchiveName.csv, the
// catalog of split volume k is ArchiveName_kkk.csv.
inline constexpr std::size_t discIdLength = 11;
inline constexpr std::size_t archiveNameLength = 15;

// The number in a name's field of digits (a sequence or a volume number). Raises Error
// "'<field>' is not a valid integer value" when the field is empty, holds anything but the
// digits 0-9, or is too large.
int decimalField(const std::string& field);

// The DiscId that follows newest (the newest disc's DiscId, "20000101001" when there is
// none) on the day today. Raises Error when newest is of today and its sequence is not a
// number, or when the day's 999 numbers are used up.
std::string nextDiscIdAfter(const std::string& newest, const std::string& today);

// The ArchiveName that follows last (the first 15 characters of the newest catalog name,
// "2000010100001AA." when there is none). Raises Error as nextDiscIdAfter, for 99999.
std::string nextArchiveNameAfter(const std::string& last, const std::string& today, char group, char kind);

// The next DiscId after the newest disc of the database (refreshes the run-wide DiscList and the DiscList control).
std::string NextDiscId(RunState& state, View& view, const Clock& clock = std::chrono::system_clock::now);

// The next ArchiveName: its sequence runs on from the newest catalog staged in TempFolder,
// else from the newest catalog of the newest disc that has any.
std::string NextArchiveName(RunState& state, View& view, char group, char kind,
                            const Clock& clock = std::chrono::system_clock::now);

} // namespace torvinel
