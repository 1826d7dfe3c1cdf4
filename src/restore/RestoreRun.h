#pragma once
#include <functional>
#include <memory>
#include <string>

#include "app/CheckTree.h"
#include "app/FileHelpers.h"
#include "app/RunState.h"
#include "app/View.h"
#include "discwright/DiscReader.h"

namespace torvinel {

// What a restore run takes besides the windows: the clock that dates the target folder, how
// a restore drive's text (the selected item of RestoreDrive) becomes a reader
// (OpenRestoreDrive unless a test says otherwise), and the existing folder the dated target
// folder is made in ("" for RestoreFolder).
struct RestoreRunOptions {
    Clock clock = std::chrono::system_clock::now;
    std::function<std::unique_ptr<DiscReader>(const std::string& drive)> openDrive;
    std::string restoreFolder;
};

struct RestoreResult {
    bool cancelled = false;
    std::string target; // the new folder ("" when the run was cancelled before making it)
};

// The restore run: restores the ticked nodes of tree, in the versions of the backup set
// chosen in BackupSetChooser (BackupState must be that set's state), from the drive chosen in
// RestoreDrive into a new folder RestoreFolder/yyyymmddNNN (or options.restoreFolder/...), a
// file /home/u/a.txt as <target>/r/home/u/a.txt.
//
// Phase 1 turns the ticks into the restore list (saved as FQrestorelist.txt and
// restorelist.txt in AppFolder). Phase 2 walks the catalogs of the database from the chosen
// set's disc back to the oldest, asks for each disc it needs ("Please insert the disk
// labeled ..."), copies the archives into TempFolder and extracts what the list asks for; a
// single-file archive (split or not) is extracted whole once all its volumes are in.
// What is left unrestored is saved as restoreafter.txt. The run ends with "The restored
// files are in " + target (and the folder opened) or "The Restore was cancelled.".
//
// The main window is hidden meanwhile and shown again at the end, also when a failure ends
// the run: the Error is then passed on (restoreafter.txt is not written).
RestoreResult runRestore(RunState& state, View& view, const CheckTree& tree, const RestoreRunOptions& options = {});

// Brings discId/fileName from the restore drive into TempFolder, asking for the disc until
// the file is there or the user cancels (which sets CancelRequested and copies nothing).
// When the file is not on reader, reopen (if given) opens the drive again and its reader is
// asked instead; a null reader finds nothing. A failed copy raises
// Error("Could not copy " + source + " to " + target).
void fetchArchive(RunState& state, View& view, DiscReader* reader, const std::string& drive, const std::string& discId,
                  const std::string& fileName, const std::function<DiscReader*()>& reopen = {});

// The first of RestoreFolder/<day>001, 002, ... 099, 100, ... 999, 1000, ... that does not
// exist yet (not created here).
std::string nextRestoreTarget(const std::string& restoreFolder, const std::string& day);

} // namespace torvinel
