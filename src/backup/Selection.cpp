#include "backup/Selection.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/TextFile.h"
#include "backup/HiddenMounts.h"
#include "catalog/CatalogLine.h"
#include "platform/Platform.h"

namespace torvinel {

namespace fs = std::filesystem;

namespace {

const char* const NotFoundText =
    "The following file or folder could not be found and will be removed from the backup set:";
const char* const NothingSelectedQuestion = "Nothing is selected for backup. Every file backed up before will be "
                                            "recorded as deleted. Do you want to continue?";
const char* const NotRegularReason = "not a regular file or folder";

// A path as it may appear on one line of the log or the message line.
std::string printable(const std::string& path)
{
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string withoutTrailingSeparator(std::string path)
{
    while (path.size() > platform::drivePrefixLength() && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    return path;
}

} // namespace

bool within(const std::string& path, const std::string& folder)
{
    if (path.size() < folder.size())
        return false;
    if (!platform::samePath(std::string_view(path).substr(0, folder.size()), folder))
        return false;
    if (path.size() == folder.size())
        return true;
    const char next = path[folder.size()];
    return next == '/' || next == '\\' || (!folder.empty() && (folder.back() == '/' || folder.back() == '\\'));
}

namespace {

bool isExcluded(const SelectionWalk& walk, const std::string& path)
{
    for (const auto& folder : walk.excluded)
        if (platform::samePath(path, folder))
            return true;
    return false;
}

bool insideAny(const std::vector<std::string>& folders, const std::string& path)
{
    return std::any_of(folders.begin(), folders.end(),
                       [&path](const std::string& folder) { return within(path, folder); });
}

bool isInsideExcluded(const SelectionWalk& walk, const std::string& path) { return insideAny(walk.excluded, path); }

// The chosen restore folder may be one the user ticks (Documents itself) or lies above one;
// leaving it out then would leave out what the user asked for.
bool holdsATick(const RunState& state, const std::string& folder)
{
    const std::string plain = withoutTrailingSeparator(fs::path(folder).lexically_normal().string());
    return std::any_of(state.FQList.begin(), state.FQList.end(),
                       [&plain](const std::string& ticked) { return within(withoutTrailingSeparator(ticked), plain); });
}

FolderEntry::Kind kindOf(fs::file_type type)
{
    switch (type) {
    case fs::file_type::regular:
        return FolderEntry::Kind::File;
    case fs::file_type::directory:
        return FolderEntry::Kind::Folder;
    case fs::file_type::symlink:
        return FolderEntry::Kind::Link;
    default:
        return FolderEntry::Kind::Other;
    }
}

// The kind of a listed entry, a link not followed. The listing's own type is taken where the
// file system gives one, so a folder of a hundred thousand files costs no look at each.
FolderEntry::Kind listedKind(const fs::directory_entry& entry)
{
    std::error_code error;
    if (entry.is_symlink(error))
        return FolderEntry::Kind::Link;
    // Not a link: what it is, followed or not, is the same.
    if (!error && entry.is_regular_file(error))
        return FolderEntry::Kind::File;
    if (!error && entry.is_directory(error))
        return FolderEntry::Kind::Folder;
    return FolderEntry::Kind::Other;
}

void tellNotBackedUp(const SelectionWalk& walk, const std::string& path, const std::string& reason)
{
    if (walk.leftOut.notBackedUp)
        walk.leftOut.notBackedUp(printable(path), reason);
}

void tellSkippedByDesign(const SelectionWalk& walk)
{
    if (walk.leftOut.skippedByDesign)
        walk.leftOut.skippedByDesign();
}

// Skips what the walk does not back up; true when path was skipped. ticked: path is an entry
// of FQList itself, not one met inside a ticked folder.
bool skipped(SelectionWalk& walk, const std::string& path, FolderEntry::Kind kind, bool ticked)
{
    if (!catalogCanCarry(path)) {
        const std::string text = "Warning: Skipped " + printable(path) + ": a catalog line cannot carry its name";
        walk.view.setText(Window::BackupProgress, Control::MessageText, text);
        walk.state.WriteLog(text);
        tellNotBackedUp(walk, path, "a catalog line cannot carry its name");
        return true;
    }
    switch (kind) {
    case FolderEntry::Kind::Link:
        walk.state.WriteLog("Skipped " + path + ": a symbolic link is not followed");
        tellSkippedByDesign(walk);
        return true;
    case FolderEntry::Kind::Other:
        // Reading a FIFO would hang the run; sockets and devices hold no data of their own.
        walk.state.WriteLog("Skipped " + path + ": " + NotRegularReason);
        // What the user ticked by name is missed; what a ticked folder holds is skipped by design.
        if (ticked)
            tellNotBackedUp(walk, path, NotRegularReason);
        else
            tellSkippedByDesign(walk);
        return true;
    case FolderEntry::Kind::Folder:
        if (isExcluded(walk, path)) {
            walk.state.WriteLog("Skipped " + path + ": excluded from backups");
            return true;
        }
        return false;
    case FolderEntry::Kind::File:
        return false;
    }
    return false;
}

void enumerateFolder(SelectionWalk& walk, const std::string& folder)
{
    std::error_code error;
    fs::directory_iterator it(fs::path(folder), fs::directory_options::none, error);
    if (error) {
        walk.state.WriteLog("Could not read folder " + printable(folder));
        return;
    }
    bool stop = false;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        const fs::directory_entry& entry = *it;
        const FolderEntry item{entry.path().filename().string(), listedKind(entry)};
        AddFolderEntry(walk, folder, item, stop);
        if (stop)
            return;
    }
    if (error)
        walk.state.WriteLog("Could not read folder " + printable(folder));
}

} // namespace

void FQRunNodes(CheckTree& tree, std::vector<std::string>& list, CheckTree::Node first, bool checked)
{
    const CheckState wanted = checked ? CheckState::Checked : CheckState::Unchecked;
    for (CheckTree::Node node = first; node != nullptr; node = tree.nextSibling(node)) {
        const CheckState state = tree.checkState(node);
        const std::string path = tree.itemPath(node);
        if (!path.empty() && state == wanted)
            list.push_back(path);
        if (state == CheckState::Mixed && tree.childCount(node) > 0)
            FQRunNodes(tree, list, tree.firstChild(node), checked);
    }
}

std::vector<std::string> ExcludedFolders(const RunState& state, const std::vector<std::string>& extra)
{
    // Restored copies are older versions of files already on the discs.
    std::vector<std::string> given{state.AppFolder, state.DatabaseFolder, state.TempFolder, state.RestoreFolder};
    if (!state.ChosenRestoreFolder.empty() && !holdsATick(state, state.ChosenRestoreFolder))
        given.push_back(state.ChosenRestoreFolder);
    given.insert(given.end(), extra.begin(), extra.end());
    for (auto& mount : hiddenMountPoints())
        given.push_back(mount);

    std::vector<std::string> excluded;
    const auto add = [&excluded](const std::string& path) {
        if (path.empty())
            return;
        for (const auto& known : excluded)
            if (platform::samePath(known, path))
                return;
        excluded.push_back(path);
    };
    for (const auto& folder : given) {
        if (folder.empty())
            continue;
        const std::string plain = withoutTrailingSeparator(fs::path(folder).lexically_normal().string());
        add(plain);
        std::error_code error;
        const fs::path resolved = fs::weakly_canonical(fs::path(plain), error);
        if (!error)
            add(withoutTrailingSeparator(resolved.string()));
    }
    return excluded;
}

void getFQFullList(RunState& state, View& view, const FileAction& action, const std::vector<std::string>& extraExcluded,
                   const WalkLeftOut& leftOut)
{
    SelectionWalk walk{state, view, action, ExcludedFolders(state, extraExcluded), leftOut};
    std::size_t done = 0;
    // Consumes FQList even when the action ends the run with an error.
    struct Consume {
        std::vector<std::string>& list;
        std::size_t& done;
        ~Consume() { list.erase(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(done)); }
    } consume{state.FQList, done};

    for (; done < state.FQList.size(); ++done) {
        const std::string path = state.FQList[done];
        std::error_code error;
        const fs::file_status status = fs::symlink_status(fs::path(path), error);
        if (error || !fs::exists(status))
            continue; // gone since it was ticked
        FolderEntry::Kind kind = kindOf(status.type());
        std::string file = path;
        if (kind == FolderEntry::Kind::Link) {
            // A ticked link is the user's own choice, so it is followed (links inside stay
            // skipped). A folder keeps the link's path, as the user sees it; a file is read
            // at its target, since files are opened without following a link.
            const fs::path target = fs::canonical(fs::path(path), error);
            if (error)
                continue; // a dangling link
            kind = kindOf(fs::status(target, error).type());
            if (error || isInsideExcluded(walk, target.string())) {
                state.WriteLog("Skipped " + printable(path) + ": excluded from backups");
                continue;
            }
            if (kind == FolderEntry::Kind::File)
                file = target.string();
        }
        if (isInsideExcluded(walk, path)) {
            state.WriteLog("Skipped " + printable(path) + ": excluded from backups");
            continue;
        }
        if (skipped(walk, file, kind, true))
            continue;
        if (kind == FolderEntry::Kind::Folder)
            enumerateFolder(walk, path);
        else
            action(file);
    }
}

void AddFolderEntry(SelectionWalk& walk, const std::string& folder, const FolderEntry& entry, bool& stop)
{
    const std::string path = platform::joinPath(folder, entry.name);
    if (!skipped(walk, path, entry.kind, false)) {
        if (entry.kind == FolderEntry::Kind::Folder)
            enumerateFolder(walk, path);
        else
            walk.action(path);
    }
    if (walk.state.CancelRequested)
        stop = true;
}

bool confirmBackupSelection(View& view)
{
    std::vector<std::string> ticked;
    CheckTree& tree = view.backupTree();
    FQRunNodes(tree, ticked, tree.firstTopLevel(), true);
    return !ticked.empty() || view.askYesNo(NothingSelectedQuestion);
}

void SaveFQList(RunState& state) { writeLines(state.appFile("FQList.txt"), state.FQList); }

bool LoadFQList(RunState& state)
{
    state.FQList.clear();
    const std::string file = state.appFile("FQList.txt");
    std::error_code error;
    if (!fs::is_regular_file(fs::path(file), error))
        return false;
    for (auto& line : readLines(file))
        if (!line.empty())
            state.FQList.push_back(std::move(line));
    return true;
}

void CollectFQList(RunState& state, View& view)
{
    CheckTree& tree = view.backupTree();
    state.FQList.clear();
    tree.setRepaintSuspended(true);
    try {
        FQRunNodes(tree, state.FQList, tree.firstTopLevel(), true);
    } catch (...) {
        tree.setRepaintSuspended(false);
        throw;
    }
    tree.setRepaintSuspended(false);
    SaveFQList(state);
}

void RestoreSelection(RunState& state, View& view, const std::string& documentsFolder,
                      const std::vector<std::string>& extraExcluded)
{
    CheckTree& tree = view.backupTree();

    const bool firstStart = !LoadFQList(state);
    for (const auto& path : state.FQList) {
        if (CheckTree::Node node = tree.browseTo(path)) {
            tree.setCheckState(node, CheckState::Checked);
        } else {
            view.showInformation(std::string(NotFoundText) + "\n" + path);
            state.WriteLog("Could not add to Backuptree: " + path);
        }
    }

    const std::string unticked = state.appFile("FQUList.txt");
    std::error_code error;
    if (fs::is_regular_file(fs::path(unticked), error)) {
        state.FQUList.clear();
        for (auto& line : readLines(unticked))
            if (!line.empty())
                state.FQUList.push_back(std::move(line));
        std::vector<std::string> scratch;
        FQRunNodes(tree, scratch, tree.firstTopLevel(), false);
        // Sorted once, so a large tree and a long FQUList do not multiply.
        std::vector<std::string> known(state.FQUList);
        const auto before = [](const std::string& a, const std::string& b) { return platform::comparePaths(a, b) < 0; };
        std::sort(known.begin(), known.end(), before);
        // What is never backed up is not offered: ticking it would back up nothing.
        const std::vector<std::string> excluded = ExcludedFolders(state, extraExcluded);
        std::vector<std::string> newItems;
        for (const auto& path : scratch)
            if (!std::binary_search(known.begin(), known.end(), path, before) && !insideAny(excluded, path))
                newItems.push_back(path);
        if (!newItems.empty()) {
            std::vector<std::string> ticked;
            FQRunNodes(tree, ticked, tree.firstTopLevel(), true);
            for (const auto& path : view.askNewItems(newItems, ticked))
                if (CheckTree::Node node = tree.browseTo(path))
                    tree.setCheckState(node, CheckState::Checked);
        }
    }

    CheckTree::Node documents = documentsFolder.empty() ? nullptr : tree.browseTo(documentsFolder);
    if (firstStart && documents)
        tree.setCheckState(documents, CheckState::Checked);
}

void SaveSelection(RunState& state, View& view)
{
    CheckTree& tree = view.backupTree();
    state.FQList.clear();
    state.FQUList.clear();
    FQRunNodes(tree, state.FQList, tree.firstTopLevel(), true);
    FQRunNodes(tree, state.FQUList, tree.firstTopLevel(), false);
    SaveFQList(state);
    writeLines(state.appFile("FQUList.txt"), state.FQUList);
}

} // namespace torvinel
