#include "restore/RestoreChooser.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <vector>

#include "catalog/AssembleBackupState.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscNames.h"

namespace torvinel {

namespace {

// The moment a file was last written, in local time to the second.
platform::Stamp lastWriteMoment(const std::string& path)
{
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(path, ec);
    if (ec)
        return {};
    const auto moment = std::chrono::file_clock::to_sys(written);
    return platform::localTime(std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(moment)));
}

bool holdsDeletedKind(const std::string& name)
{
    for (std::size_t i = 0; i + 1 < name.size(); ++i)
        if ((name[i] == 'd' || name[i] == 'D') && (name[i + 1] == 'd' || name[i + 1] == 'D'))
            return true;
    return false;
}

void enableRestoreControls(View& view, bool enabled)
{
    view.setEnabled(Window::Main, Control::RestoreButton, enabled);
    view.setEnabled(Window::Main, Control::BackupSetChooser, enabled);
    view.setEnabled(Window::Main, Control::RestoreTree, enabled);
}

} // namespace

std::string chooserDateText(const platform::Stamp& moment, const std::locale& locale)
{
    std::tm parts = platform::toTm(moment);
    std::ostringstream text;
    text.imbue(locale);
    const bool midnight = moment.hour == 0 && moment.minute == 0 && moment.second == 0;
    text << std::put_time(&parts, midnight ? "%x" : "%x %X");
    return text.str();
}

std::string chooserDiscId(const std::string& item)
{
    if (item.size() < discIdLength + 1)
        return {};
    return item.substr(item.size() - discIdLength - 1, discIdLength);
}

void fillBackupSetChooser(RunState& state, View& view)
{
    ListDiscs(state, view);
    std::locale locale = std::locale::classic();
    try {
        locale = std::locale("");
    } catch (const std::runtime_error&) {
        // An environment naming a locale the system lacks: the neutral form is still a date.
    }
    std::vector<std::string> items;
    std::string runDisc;
    SortedList names;
    for (std::size_t d = state.DiscList.size(); d-- > 0;) {
        const std::string& disc = state.DiscList[d];
        if (runDisc.empty())
            runDisc = disc;
        const std::string folder = platform::joinPath(state.DatabaseFolder, disc);
        ListFiles(platform::joinPath(folder, "2*.csv"), names);
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (!holdsDeletedKind(names[i]))
                continue;
            // A second run found on the same disc still names a disc, its own.
            const std::string named = runDisc.empty() ? disc : runDisc;
            items.push_back(chooserDateText(lastWriteMoment(platform::joinPath(folder, names[i])), locale) + " ("
                            + named + ")");
            runDisc.clear();
        }
    }
    view.setItems(Control::BackupSetChooser, items, items.empty() ? -1 : 0);
}

void chooseBackupSet(RunState& state, View& view, RestoreTree& tree)
{
    enableRestoreControls(view, false);
    try {
        const int index = view.options().backupSetIndex;
        const std::vector<std::string> items = view.items(Control::BackupSetChooser);
        if (index >= 0 && index < static_cast<int>(items.size())) {
            // Variables of its own: the stored NewestDisc and OldestCSV keep their values.
            std::string newest = chooserDiscId(items[static_cast<std::size_t>(index)]);
            std::string oldest;
            if (!newest.empty()) {
                AssembleBackupState(state, view, newest, oldest, true);
                view.setEnabled(Window::Main, Control::RestoreTree, true);
                BuildRestoreTree(state, tree);
            }
        }
    } catch (...) {
        enableRestoreControls(view, true);
        throw;
    }
    enableRestoreControls(view, true);
}

} // namespace torvinel
