#pragma once
#include <functional>
#include <string>

#include "app/RunState.h"
#include "app/View.h"
#include "catalog/DiscSource.h"

namespace torvinel {

// Rebuilds the restore side after the backup state changed (the restore chooser and the
// restore tree). Empty: nothing to rebuild.
using RestoreRefresh = std::function<void()>;

// The DiscId of the disc chosen in DiscList when the list offers it (the oldest or the
// newest disc of the database, whatever text the entry holds); "" otherwise.
std::string discToRemove(const RunState& state, const View& view);

// Removes the disc chosen in DiscList from the database: its folder in DatabaseFolder goes,
// with every catalog in it; then BackupList.txt is deleted, the state assembled anew from
// every catalog and the restore side rebuilt. Acts only on a disc that DiscList offers (the
// oldest or the newest disc of the database, see discToRemove); with nothing chosen it does
// nothing. It does not ask: callers ask first (restore/DiscRemoval.h). True when a disc was
// removed. Raises Error "Could not erase: <folder>" or
// "Could not delete backuplist.txt".
bool removeDisc(RunState& state, View& view, const RestoreRefresh& refreshRestore);

// What addDisc did, for callers that report it (the command line's exit code).
enum class AddDiskResult { Added, AlreadyAdded, NoDisc, NotADisc, Damaged, CopyFailed, NothingChosen };

// Files every disc in source (one for a drive or a disc's folder or image, every image for
// the image drive's shelf) whose DiscId the database lacks, oldest first, each on its own and
// all at once: its catalogs and status.ini go into a new folder of DatabaseFolder. A disc is
// refused, leaving nothing behind, when its folder name is not a DiscId or one of its
// catalogs is not named as a catalog (NotADisc, an error naming that folder or file), when
// its status.ini lists a file the disc lacks or a catalog whose MD5 differs (Damaged, an
// error naming the file), or when its folder lists nothing or a catalog or its status.ini
// cannot be copied (CopyFailed).
// A disc without status.ini is added unchecked. A source without any disc of this program
// gives NoDisc and tells nothing: what the user is to do differs between the callers. The user is told what was added, or that
// every disc was there already; then, whatever happened, BackupList.txt is deleted, the
// state assembled anew and the restore side rebuilt. The result is the first refusal, else
// Added or AlreadyAdded. Raises Error "Could not create <folder>" or
// "Could not delete backuplist.txt" (the discs filed before stay filed, and reassembled).
AddDiskResult addDisc(RunState& state, View& view, DiscSource& source, const RestoreRefresh& refreshRestore);

// The same from the drive chosen in AddDiscDrive; nothing happens when none is chosen. A
// drive without a disc of this program asks the user to insert one (NoDisc).
AddDiskResult addDisc(RunState& state, View& view, const RestoreRefresh& refreshRestore);

} // namespace torvinel
