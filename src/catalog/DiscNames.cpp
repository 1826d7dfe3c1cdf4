#include "catalog/DiscNames.h"

#include <charconv>
#include <cstdio>

#include "app/Error.h"
#include "catalog/DiscListing.h"
#include "platform/Platform.h"

namespace torvinel {

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

// The sequence that follows the one in the digits after name's date when name is of today;
// 1 when it is of another day.
int nextSequence(const std::string& name, const std::string& today, std::size_t digits, int highest,
                 const char* exhausted)
{
    if (name.compare(0, 8, today) != 0 || today.size() != 8)
        return 1;
    const std::string field = name.size() > 8 ? name.substr(8, digits) : std::string();
    const int value = decimalField(field);
    // A longer number would break the fixed-width names, and with them the order of discs
    // and catalogs: refuse instead of handing out a name that sorts before its elders.
    if (value >= highest)
        throw Error(exhausted);
    return value + 1;
}

} // namespace

std::string nextDiscIdAfter(const std::string& newest, const std::string& today)
{
    const int sequence = nextSequence(newest, today, 3, 999, "No more disc numbers are free for today");
    char text[8];
    std::snprintf(text, sizeof text, "%03d", sequence);
    return today + text;
}

std::string nextArchiveNameAfter(const std::string& last, const std::string& today, char group, char kind)
{
    const int sequence = nextSequence(last, today, 5, 99999, "No more archive numbers are free for today");
    char text[8];
    std::snprintf(text, sizeof text, "%05d", sequence);
    return today + text + group + kind;
}

std::string NextDiscId(RunState& state, View& view, const Clock& clock)
{
    ListDiscs(state, view);
    const std::string newest = state.DiscList.empty() ? std::string("20000101001") : state.DiscList.back();
    return nextDiscIdAfter(newest, DayStamp(Today(clock)));
}

std::string NextArchiveName(RunState& state, View& view, char group, char kind, const Clock& clock)
{
    std::string last = "2000010100001AA.";
    ListFiles(platform::joinPath(state.TempFolder, "2*.csv"), state.ScratchNames);
    if (!state.ScratchNames.empty()) {
        last = state.ScratchNames.back().substr(0, archiveNameLength);
    } else {
        ListDiscs(state, view);
        for (std::size_t i = state.DiscList.size(); i-- > 0;) {
            ListFiles(platform::joinPath(platform::joinPath(state.DatabaseFolder, state.DiscList[i]), "2*.csv"),
                      state.ScratchNames);
            if (!state.ScratchNames.empty()) {
                last = state.ScratchNames.back().substr(0, archiveNameLength);
                break;
            }
        }
    }
    return nextArchiveNameAfter(last, DayStamp(Today(clock)), group, kind);
}

} // namespace torvinel
