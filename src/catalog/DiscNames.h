#pragma once
#include <string>
#include <string_view>

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

// Beside its archives each new disc carries an index in a folder of its own: Catalogs.zip,
// the catalogs and STATUS.INI of every disc filed before it (entries "<DiscId>/<file>"), and
// README.txt. Restore and adding a disc look only at the files of a disc's folder, never in it.
inline constexpr const char* DiscIndexFolder = "index";
inline constexpr const char* DiscIndexArchive = "Catalogs.zip";
inline constexpr const char* DiscIndexReadme = "README.txt";
// In Catalogs.zip beside the disc folders: the moment each file of it was written, to the
// second (a ZIP entry keeps only every other second), one line "<DiscId>/<file>,<Unix time>".
inline constexpr const char* DiscIndexTimes = "Times.txt";

// Names of a disc's files match without regard to letter case, as the discs' readers do.
bool sameDiscName(std::string_view a, std::string_view b);

// The number in a name's field of digits (a sequence or a volume number). Raises Error
// "'<field>' is not a valid integer value" when the field is empty, holds anything but the
// digits 0-9, or is too large.
int decimalField(const std::string& field);

// True when name is a DiscId: 11 digits whose first eight are a real calendar date.
bool isDiscId(const std::string& name);

// True when name is a catalog's name: an ArchiveName (its date a real one, its group a
// letter, its kind n, f or d), optionally "_" and a three-digit volume, then ".csv" (letter
// case of the extension ignored).
bool isCatalogName(const std::string& name);

// The DiscId that follows newest (the highest DiscId known, "20000101001" when there is
// none): the first of today when today is later than newest's day, else newest + 1 (a
// clock set back never gives a number again). Raises Error when newest is of today or
// later and its sequence is not a number, or when that day's 999 numbers are used up.
std::string nextDiscIdAfter(const std::string& newest, const std::string& today);

// The ArchiveName that follows last (the first 15 characters of the highest catalog name,
// "2000010100001AA." when there is none), as nextDiscIdAfter, for 99999.
std::string nextArchiveNameAfter(const std::string& last, const std::string& today, char group, char kind);

// The next DiscId: higher than every disc of the database and than the highest DiscId
// remembered in the settings (Status/HighestDiscId), which it then remembers as issued.
// Refreshes the run-wide DiscList and the DiscList control.
std::string NextDiscId(RunState& state, View& view, const Clock& clock = std::chrono::system_clock::now);

// Remembers discId in the settings (Status/HighestDiscId) when it is a DiscId higher than
// the one remembered, so that it is never issued again.
void rememberDiscId(const RunState& state, const std::string& discId);

// The next ArchiveName: its sequence runs on from the highest catalog staged in TempFolder
// or filed on any disc of the database (names not of the catalog form are passed over).
// Inside a backup run (RunState::RunArchiveNames engaged) the discs and TempFolder are looked
// up once; the run's own names are counted from then on.
std::string NextArchiveName(RunState& state, View& view, char group, char kind,
                            const Clock& clock = std::chrono::system_clock::now);
// A catalog the run has just filed into the database (its file name), for the run's lookup.
void noteFiledCatalog(RunState& state, const std::string& catalogName);

} // namespace torvinel
