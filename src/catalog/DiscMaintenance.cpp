#include "catalog/DiscMaintenance.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>
#include <vector>

#include "app/Error.h"
#include "app/IniFile.h"
#include "catalog/AssembleBackupState.h"
#include "catalog/DiscFiling.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscNames.h"
#include "catalog/FileDigest.h"
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

// What the disc's STATUS.INI (copied into folder as status.ini beside the catalogs) shows
// wrong: a file it lists that the disc lacks, or a copied catalog whose digest differs. The
// catalogs are what gets filed, so they are read whole; the archives, up to gigabytes of a
// DVD, are only looked for: a restore checks every entry's CRC as it extracts. A file
// STATUS.INI does not list has nothing to be checked against.
std::optional<std::string> damage(const std::string& folder, const std::string& discId,
                                  const std::vector<std::string>& onDisc)
{
    const auto digests = IniReadSection(platform::joinPath(folder, "status.ini"), "MD5");
    for (const auto& listed : digests) {
        const std::string& file = listed.first; // named, not a structured binding: clang 14 cannot capture those
        if (std::ranges::none_of(onDisc, [&](const std::string& name) { return sameDiscName(name, file); }))
            return discId + "/" + file + " is listed in STATUS.INI but missing.";
    }
    for (const auto& entry : platform::listFolder(folder, "*.csv")) {
        const auto listed = std::ranges::find_if(digests, [&](const auto& key) { return sameDiscName(key.first, entry.name); });
        if (listed != digests.end()
            && !sameDiscName(DigestHex(FileDigest(platform::joinPath(folder, entry.name))), listed->second))
            return discId + "/" + entry.name + " does not match its checksum in STATUS.INI.";
    }
    return std::nullopt;
}

// Files one disc of source into the database, all or nothing, telling the user of a refusal.
AddDiskResult addOne(RunState& state, View& view, DiscSource& source, const std::string& name)
{
    if (!isDiscId(name)) {
        // Filed under a name that is no disc number, it would throw off the numbering of
        // every later disc.
        refuse(state, view, name + " is not a disc of Torvinel: its folder name is not a disc number.");
        return AddDiskResult::NotADisc;
    }
    state.WriteLog("Adding disk : " + name);
    if (platform::folderExists(platform::joinPath(state.DatabaseFolder, name)))
        return AddDiskResult::AlreadyAdded;

    // An image that cannot be read lists nothing; filed, it would pass for a disc with no files.
    const auto files = source.fileNames(name);
    if (files.empty()) {
        state.WriteLog("Could not read disk " + name + ".");
        state.WriteLog("Copy failed.");
        return AddDiskResult::CopyFailed;
    }

    // Copied beside its place and renamed into it: a disc given up leaves nothing that would
    // later pass for an added disc.
    DiscFiling filing(state.DatabaseFolder, name);
    if (!source.copyCatalogs(name, filing.folder())) {
        state.WriteLog("Copy failed.");
        return AddDiskResult::CopyFailed;
    }
    if (const auto stranger = notACatalog(filing.folder())) {
        // A name of another form would stop every later backup from naming its archives.
        refuse(state, view, name + " is not a disc of Torvinel: its file " + *stranger + " is not named as a catalog.");
        return AddDiskResult::NotADisc;
    }
    if (std::ranges::none_of(files, [](const std::string& file) { return platform::matchesMask(file, "status.ini"); })) {
        // Discs of this program always carry one; a disc without it (copied by hand, or of
        // an early version) is still the user's only record of its archives.
        state.WriteLog("Disk " + name + " has no STATUS.INI: its catalogs are added unchecked.");
    } else if (!source.copyStatusIni(name, filing.folder())) {
        state.WriteLog("Could not copy STATUS.INI of disk " + name + ".");
        state.WriteLog("Copy failed.");
        return AddDiskResult::CopyFailed;
    } else if (const auto fault = damage(filing.folder(), name, files)) {
        refuse(state, view, "The disc in " + source.location() + " is damaged: " + *fault);
        return AddDiskResult::Damaged;
    }
    filing.commit();
    rememberDiscId(state, name);
    state.WriteLog("success");
    return AddDiskResult::Added;
}

} // namespace

std::string discToRemove(const RunState& state, const View& view)
{
    const int chosen = view.selectedIndex(Control::DiscList);
    const auto items = view.items(Control::DiscList);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= items.size())
        return {};
    std::string discId = items[chosen].substr(0, discIdLength);
    // Only the two discs the list offers may go, whatever text the entry holds.
    const SortedList discs = discFolders(state);
    if (discs.empty() || (discId != discs.front() && discId != discs.back()))
        return {};
    return discId;
}

bool removeDisc(RunState& state, View& view, const RestoreRefresh& refreshRestore)
{
    const std::string discId = discToRemove(state, view);
    if (discId.empty())
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
    const auto names = source.discFolderNames();
    if (names.empty()) {
        reassemble(state, view, refreshRestore);
        return AddDiskResult::NoDisc;
    }

    std::vector<std::string> added;
    std::optional<AddDiskResult> failure;
    try {
        for (const auto& name : names) {
            const AddDiskResult result = addOne(state, view, source, name);
            if (result == AddDiskResult::Added)
                added.push_back(name);
            else if (result != AddDiskResult::AlreadyAdded && !failure)
                failure = result;
        }
    } catch (const Error&) {
        // The discs filed before the error are in the database: the state must show them.
        if (!added.empty())
            reassemble(state, view, refreshRestore);
        throw;
    }

    if (added.size() == 1) {
        view.showInformation("The disk was successfully added.");
    } else if (added.size() > 1) {
        std::string list;
        for (const auto& name : added)
            list += (list.empty() ? "" : ", ") + name;
        view.showInformation("The disks were successfully added: " + list + ".");
    } else if (!failure) {
        view.showInformation("This disk is already added.");
    }
    reassemble(state, view, refreshRestore);
    if (failure)
        return *failure;
    return added.empty() ? AddDiskResult::AlreadyAdded : AddDiskResult::Added;
}

AddDiskResult addDisc(RunState& state, View& view, const RestoreRefresh& refreshRestore)
{
    const int chosen = view.selectedIndex(Control::AddDiscDrive);
    const auto items = view.items(Control::AddDiscDrive);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= items.size())
        return AddDiskResult::NothingChosen;
    const auto source = openDiscSource(items[chosen]);
    const AddDiskResult result = addDisc(state, view, *source, refreshRestore);
    if (result == AddDiskResult::NoDisc) {
        const std::string message = "Please insert a disk to add, then click the Add button again.";
        state.WriteLog(message);
        view.showInformation(message);
    }
    return result;
}

} // namespace torvinel
