#pragma once
#include <functional>
#include <string>
#include <vector>

#include "app/CheckTree.h"
#include "app/RunState.h"
#include "app/View.h"

// The backup selection: the ticks of the backup tree, their files FQList.txt and FQUList.txt
// in AppFolder, and the walk that turns the ticked items into single files.
namespace torvinel {

// What a walk does with each file it finds (the backup run passes addToBackup).
using FileAction = std::function<void(const std::string& path)>;

// Collects, from node first and its following siblings, the paths of the checked items
// (checked = true) or of the unchecked ones (checked = false) into list, in tree order.
// Mixed nodes are not listed but their children are walked; checked and unchecked nodes are
// not descended into; nodes in any other state are neither listed nor descended into.
void FQRunNodes(CheckTree& tree, std::vector<std::string>& list, CheckTree::Node first, bool checked);

// What a walk leaves out, told to the backup run for its closing report.
struct WalkLeftOut {
    // A file or folder the walk cannot back up: a name no catalog line can carry, a ticked
    // FIFO, socket or device. The path is as shown on one line (a line break as "\\n").
    std::function<void(const std::string& path, const std::string& reason)> notBackedUp;
    // A link, FIFO, socket or device met inside a ticked folder, skipped by design.
    std::function<void()> skippedByDesign;
};

// A walk over the file system. excluded holds folders whose contents are never backed up,
// even inside a ticked folder: the program's own working folders and the mounts the tree
// does not show (see ExcludedFolders).
struct SelectionWalk {
    RunState& state;
    View& view;
    FileAction action;
    std::vector<std::string> excluded;
    WalkLeftOut leftOut = {};
};

// The folders a walk must not enter: AppFolder, DatabaseFolder, TempFolder, RestoreFolder,
// ChosenRestoreFolder unless a path of FQList lies in it, the hidden mount points, and extra
// (the image drive's folder). Each is given as written and, when it differs, with its links
// resolved, because the tree lists physical paths.
std::vector<std::string> ExcludedFolders(const RunState& state, const std::vector<std::string>& extra);

// One entry of a folder as the listing reports it, without following links.
struct FolderEntry {
    enum class Kind { File, Folder, Link, Other };
    std::string name;
    Kind kind = Kind::Other;
};

// Expands FQList into files and runs the action for each, then leaves FQList empty. A path
// that no longer exists is skipped silently; a ticked file is handed to the action, a ticked
// folder is enumerated depth first (hidden entries included). The walk over FQList itself does
// not look at CancelRequested; each folder enumeration stops after the entry in hand once it
// is set. A ticked symbolic link is followed: a folder's files keep the link's path, a file is
// handed over by its target's path. Links inside folders, FIFOs, sockets and devices are
// skipped and logged; a path that a
// catalog line cannot carry (line break, carriage return, or the characters `",`) is skipped
// with a warning in MessageText of the backup progress window and a log line. extraExcluded adds
// folders to ExcludedFolders (the image drive's folder). Errors of the action pass through.
// leftOut hears of every path skipped that the user would miss (see WalkLeftOut).
void getFQFullList(RunState& state, View& view, const FileAction& action,
                   const std::vector<std::string>& extraExcluded = {}, const WalkLeftOut& leftOut = {});

// Handles one entry of folder: descends into a real folder, hands a file to the action,
// skips the rest. Sets stop when CancelRequested is set, so the enumeration of folder ends
// after this entry (and, one level at a time, every enclosing one).
void AddFolderEntry(SelectionWalk& walk, const std::string& folder, const FolderEntry& entry, bool& stop);

// True when path is folder or lies below it (paths compared as the platform does).
bool within(const std::string& path, const std::string& folder);

// --- the selection files ------------------------------------------------------------------
// Writes FQList as AppFolder/FQList.txt (CR LF, in list order, rewritten whole).
void SaveFQList(RunState& state);
// Loads AppFolder/FQList.txt into FQList; false (FQList left empty) when there is no such file.
bool LoadFQList(RunState& state);

// The Backup button's first step: with nothing ticked a run would record every file backed up
// before as deleted, so the user is asked first. True: the run may start.
bool confirmBackupSelection(View& view);

// Backup phase 1: collects FQList from the backup tree's ticks with repainting suspended and
// saves it as FQList.txt.
void CollectFQList(RunState& state, View& view);

// Start-up: restores the ticks from FQList.txt (a path the tree cannot find is reported with
// a message box and a log line), offers the unticked items that FQUList.txt does not know in
// one window (View::askNewItems) and ticks those the user ticked there, and browses to
// documentsFolder, ticking it on a first start (no FQList.txt). Items that no walk backs up
// are never offered: the folders of ExcludedFolders with extraExcluded (the image drive's
// folder), and whatever lies inside them. The items not ticked stay unticked, so shut-down
// records them in FQUList.txt and they are not offered again.
void RestoreSelection(RunState& state, View& view, const std::string& documentsFolder,
                      const std::vector<std::string>& extraExcluded = {});

// Close: collects FQList (checked) and FQUList (unchecked) from the tree and saves both files.
void SaveSelection(RunState& state, View& view);

} // namespace torvinel
