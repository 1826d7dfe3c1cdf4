#include "catalog/DiscNames.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "app/Error.h"
#include "app/IniFile.h"
#include "catalog/DiscListing.h"
#include "platform/Platform.h"

namespace torvinel {

bool sameDiscName(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b,
                              [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

int decimalField(const std::string& field)
{
    int value = 0;
    const bool digits = !field.empty() && field.find_first_not_of("0123456789") == std::string::npos;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (!digits || error != std::errc() || end != field.data() + field.size())
        throw Error("'" + field + "' is not a valid integer value");
    return value;
}

namespace {

struct Numbered {
    std::string day;
    int sequence;
};

// The day and sequence that follow name: the first of today when today is later than
// name's day, else the next sequence of name's day, so that a clock set back does not hand
// out a name again.
Numbered nextNumber(const std::string& name, const std::string& today, std::size_t digits, int highest,
                    const char* exhausted)
{
    if (today.size() != 8 || name.compare(0, 8, today) < 0)
        return {today, 1};
    const std::string field = name.size() > 8 ? name.substr(8, digits) : std::string();
    const int value = decimalField(field);
    // A longer number would break the fixed-width names, and with them the order of discs
    // and catalogs: refuse instead of handing out a name that sorts before its elders.
    if (value >= highest)
        throw Error(exhausted);
    return {name.substr(0, 8), value + 1};
}

bool digitsAt(const std::string& name, std::size_t from, std::size_t count)
{
    if (name.size() < from + count)
        return false;
    for (std::size_t i = from; i < from + count; ++i)
        if (name[i] < '0' || name[i] > '9')
            return false;
    return true;
}

// True when the first eight characters of name are a date of the calendar.
bool realDate(const std::string& name)
{
    if (!digitsAt(name, 0, 8))
        return false;
    const int year = std::stoi(name.substr(0, 4));
    const int month = std::stoi(name.substr(4, 2));
    const int day = std::stoi(name.substr(6, 2));
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return false;
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

const char* const highestDiscIdKey = "HighestDiscId";

std::string rememberedDiscId(const RunState& state)
{
    const std::string remembered = IniReadOrCreateString(state.settingsFile(), "Status", highestDiscIdKey, "");
    return isDiscId(remembered) ? remembered : std::string();
}

} // namespace

bool isDiscId(const std::string& name)
{
    return name.size() == discIdLength && digitsAt(name, 0, discIdLength) && realDate(name);
}

bool isCatalogName(const std::string& name)
{
    std::size_t end = archiveNameLength;
    if (name.size() < end || !realDate(name) || !digitsAt(name, 8, 5) || !isLetter(name[13]))
        return false;
    const char kind = static_cast<char>(name[14] | 0x20);
    if (kind != 'n' && kind != 'f' && kind != 'd')
        return false;
    if (name.size() > end && name[end] == '_') {
        if (!digitsAt(name, end + 1, 3))
            return false;
        end += 4;
    }
    return name.size() == end + 4 && platform::matchesMask(name.substr(end), ".csv");
}

std::string nextDiscIdAfter(const std::string& newest, const std::string& today)
{
    const auto next = nextNumber(newest, today, 3, 999, "No more disc numbers are free for today");
    char text[8];
    std::snprintf(text, sizeof text, "%03d", next.sequence);
    return next.day + text;
}

std::string nextArchiveNameAfter(const std::string& last, const std::string& today, char group, char kind)
{
    const auto next = nextNumber(last, today, 5, 99999, "No more archive numbers are free for today");
    char text[8];
    std::snprintf(text, sizeof text, "%05d", next.sequence);
    return next.day + text + group + kind;
}

std::string NextDiscId(RunState& state, View& view, const Clock& clock)
{
    ListDiscs(state, view);
    std::string newest = std::max(rememberedDiscId(state), std::string("20000101001"));
    // Folders that are no disc number would give a wrong successor, or none at all.
    for (const auto& disc : state.DiscList.lines())
        if (isDiscId(disc))
            newest = std::max(newest, disc);
    const std::string next = nextDiscIdAfter(newest, DayStamp(Today(clock)));
    rememberDiscId(state, next);
    return next;
}

void rememberDiscId(const RunState& state, const std::string& discId)
{
    if (isDiscId(discId) && discId > rememberedDiscId(state))
        IniWriteString(state.settingsFile(), "Status", highestDiscIdKey, discId);
}

namespace {

// Day and sequence decide; group and kind do not count.
constexpr std::size_t numberedLength = 13;

// highest becomes the archive name of catalogName when that is a catalog's and numbered higher.
void raiseTo(std::string& highest, const std::string& catalogName)
{
    if (isCatalogName(catalogName)
        && (highest.empty() || catalogName.compare(0, numberedLength, highest, 0, numberedLength) > 0))
        highest = catalogName.substr(0, archiveNameLength);
}

// The highest catalog name in folder, when it is above highest.
void raiseToHighestIn(RunState& state, const std::string& folder, std::string& highest)
{
    ListFiles(platform::joinPath(folder, "2*.csv"), state.ScratchNames);
    for (const auto& name : state.ScratchNames.lines())
        raiseTo(highest, name);
}

// The highest archive name filed on any disc: after a clock set back or an added disc it
// need not be on the newest.
std::string highestFiledArchive(RunState& state, View& view)
{
    std::string highest;
    ListDiscs(state, view);
    for (const auto& disc : state.DiscList.lines())
        raiseToHighestIn(state, platform::joinPath(state.DatabaseFolder, disc), highest);
    return highest;
}

} // namespace

void noteFiledCatalog(RunState& state, const std::string& catalogName)
{
    // Not looked up yet: the lookup will find it on its disc.
    if (state.RunArchiveNames && state.RunArchiveNames->lookedUp)
        raiseTo(state.RunArchiveNames->filed, catalogName);
}

std::string NextArchiveName(RunState& state, View& view, char group, char kind, const Clock& clock)
{
    RunState::ArchiveNames names;
    RunState::ArchiveNames& known = state.RunArchiveNames ? *state.RunArchiveNames : names;
    if (!known.lookedUp) {
        known.filed = highestFiledArchive(state, view);
        raiseToHighestIn(state, state.TempFolder, known.staged);
        // Inside a run, what comes into TempFolder from now on is named here first.
        known.lookedUp = state.RunArchiveNames.has_value();
    }
    std::string last = known.staged;
    if (!known.filed.empty())
        raiseTo(last, known.filed + ".csv");
    const std::string name =
        nextArchiveNameAfter(last.empty() ? "2000010100001AA." : last, DayStamp(Today(clock)), group, kind);
    raiseTo(known.staged, name + ".csv");
    return name;
}

} // namespace torvinel
