#pragma once
#include <string>

#include "app/RunState.h"
#include "app/View.h"

namespace torvinel {

// Merges the catalogs of DatabaseFolder into state.BackupState (the newest line of every
// file the backup holds) and state.DeletedPaths (paths recorded as gone), and sets
// state.SplitArchiveName, SplitFileLine, SplitVolumesDone and RotationPoint.
//
// Discs are walked from the newest to the oldest, in each disc its catalogs from the highest
// name to the lowest; a path's first line met wins, and a line of kind d hides every older
// line of its path. The walk ends after the catalog named OldestCSV, if it meets it.
// A split archive's lines count only when the catalog of its last volume (ArchiveName.csv)
// is on one of the discs walked. The split left open (SplitArchiveName, its line, the number
// of its highest volume filed) is the newest archive that lacks it, when nothing but
// deletion records is newer; SplitVolumesDone is 0 when there is none, -1 for no catalogs.
//
// NewestDisc (in/out): the newest disc to take into account, empty for the newest in the
// database. When that is the database's newest disc, NewestDisc is set to it and
// BackupList.txt and DeletedState.txt are written in AppFolder; an older disc (the restore
// chooser) writes nothing. OldestCSV (in/out) becomes the oldest catalog that gave a line.
// With showProgress the backup progress window follows the walk.
//
// Also refreshes the run-wide DiscList and the DiscList control. Raises Error when a catalog cannot be read, a volume
// catalog's number is not a number, or the two files cannot be written.
void AssembleBackupState(RunState& state, View& view, std::string& NewestDisc, std::string& OldestCSV,
                         bool showProgress);

} // namespace torvinel
