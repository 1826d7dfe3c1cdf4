#include "catalog/DiscMaintenance.h"

#include <optional>

#include "app/Error.h"
#include "catalog/AssembleBackupState.h"
#include "catalog/DiscFiling.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscNames.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

// The state is assembled again from every catalog: the stored backup list and the walk's
// bound no longer describe the database.
void reassemble(RunState& state, View& view, const RestoreRefresh& refreshRestore)
{
    for (const auto& entry : platform::listFolder(state.AppFolder, "BackupList.txt"))
        if (!entry.isFolder && !platform::deleteFile(platform::joinPath(state.AppFolder, entry.name)))
            throw Error("Could not delete backuplist.txt");
    state.NewestDisc.clear();
    state.OldestCSV.clear();
    AssembleBackupState(state, view, state.NewestDisc, state.OldestCSV, false);
    if (refreshRestore)
        refreshRestore();
}

void refuse(RunState& state, View& view, const std::string& message)
{
    state.WriteLog(message);
    view.showError(message);
}

// The first catalog copied into folder whose name is not of the catalog form.
std::optional<std::string> notACatalog(const std::string& folder)
{
    for (const auto& entry : platform::listFolder(folder, "*.csv"))
        if (!isCatalogName(entry.name))
            return entry.name;
    return std::nullopt;
}

} // namespace

bool removeDisc(RunState& state, View& view, const RestoreRefresh& refreshRestore)
{
    const int chosen = view.selectedIndex(Control::DiscList);
    const auto items = view.items(Control::DiscList);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= items.size())
        return false;
    const std::string discId = items[chosen].substr(0, discIdLength);
    // Only the two discs the list offers may go, whatever text the entry holds.
    const SortedList discs = discFolders(state);
    if (discs.empty() || (discId != discs.front() && discId != discs.back()))
        return false;

    // Its number stays used: the disc itself still exists.
    rememberDiscId(state, discId);
    const std::string folder = platform::joinPath(state.DatabaseFolder, discId);
    if (!platform::deleteFolder(folder))
        throw Error("Could not erase: " + folder);
    reassemble(state, view, refreshRestore);
    return true;
}

AddDiskResult addDisc(RunState& state, View& view, DiscSource& source, const RestoreRefresh& refreshRestore)
{
    AddDiskResult result = AddDiskResult::NoDisc;
    const auto name = source.discFolderName();
    if (!name) {
        const std::string message = "Please insert a disk to add, then click the Add button again.";
        state.WriteLog(message);
        view.showInformation(message);
    } else if (!isDiscId(*name)) {
        // Filed under a name that is no disc number, it would throw off the numbering of
        // every later disc.
        refuse(state, view, *name + " is not a disc of Torvinel: its folder name is not a disc number.");
        result = AddDiskResult::NotADisc;
    } else {
        state.WriteLog("Adding disk : " + *name);
        const std::string folder = platform::joinPath(state.DatabaseFolder, *name);
        if (platform::folderExists(folder)) {
            view.showInformation("This disk is already added.");
            result = AddDiskResult::AlreadyAdded;
        } else {
            // Copied beside its place and renamed into it: a failed copy leaves nothing that
            // would later pass for an added disc.
            DiscFiling filing(state.DatabaseFolder, *name);
            if (!source.copyCatalogs(*name, filing.folder())) {
                state.WriteLog("Copy failed.");
                result = AddDiskResult::CopyFailed;
            } else if (const auto stranger = notACatalog(filing.folder())) {
                // A name of another form would stop every later backup from naming its archives.
                refuse(state, view,
                       *name + " is not a disc of Torvinel: its file " + *stranger + " is not named as a catalog.");
                result = AddDiskResult::NotADisc;
            } else {
                // A disc without a status file is added all the same.
                static_cast<void>(source.copyStatusIni(*name, filing.folder()));
                filing.commit();
                rememberDiscId(state, *name);
                view.showInformation("The disk was successfully added.");
                state.WriteLog("success");
                result = AddDiskResult::Added;
            }
        }
    }
    reassemble(state, view, refreshRestore);
    return result;
}

AddDiskResult addDisc(RunState& state, View& view, const RestoreRefresh& refreshRestore)
{
    const int chosen = view.selectedIndex(Control::AddDiscDrive);
    const auto items = view.items(Control::AddDiscDrive);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= items.size())
        return AddDiskResult::NothingChosen;
    const auto source = openDiscSource(items[chosen]);
    return addDisc(state, view, *source, refreshRestore);
}

} // namespace torvinel
