#pragma once
#include <functional>

#include "app/RunState.h"
#include "app/View.h"
#include "catalog/DiscSource.h"

namespace torvinel {

// Rebuilds the restore side after the backup state changed (the restore chooser and the
// restore tree). Empty: nothing to rebuild.
using RestoreRefresh = std::function<void()>;

// Removes the disc chosen in DiscList from the database: its folder in DatabaseFolder goes,
// with every catalog in it; then BackupList.txt is deleted, the state assembled anew from
// every catalog and the restore side rebuilt. Acts only on a disc that DiscList offers (the
// oldest or the newest disc of the database); with nothing chosen it does nothing.
// True when a disc was removed. Raises Error "Could not erase: <folder>" or
// "Could not delete backuplist.txt".
bool removeDisc(RunState& state, View& view, const RestoreRefresh& refreshRestore);

// What addDisc did, for callers that report it (the command line's exit code).
enum class AddDiskResult { Added, AlreadyAdded, NoDisc, NotADisc, CopyFailed, NothingChosen };

// Copies the catalogs of the disc in source into a new folder of DatabaseFolder, tells the
// user how that went (a disc whose folder name is not a DiscId, or one of whose catalogs is
// not named as a catalog, is refused with an error naming that folder or file: NotADisc),
// then in every case deletes BackupList.txt, assembles the state anew and rebuilds the
// restore side. Raises Error "Could not create <folder>" or
// "Could not delete backuplist.txt".
AddDiskResult addDisc(RunState& state, View& view, DiscSource& source, const RestoreRefresh& refreshRestore);

// The same from the drive chosen in AddDiscDrive; nothing happens when none is chosen.
AddDiskResult addDisc(RunState& state, View& view, const RestoreRefresh& refreshRestore);

} // namespace torvinel
