#pragma once
#include <locale>
#include <string>

#include "app/RunState.h"
#include "app/View.h"
#include "platform/Platform.h"
#include "restore/RestoreTree.h"

namespace torvinel {

// The date and time of a chooser item in the given locale: its short date, then its time
// ("%x %X"); the date alone when the moment is exactly midnight.
std::string chooserDateText(const platform::Stamp& moment, const std::locale& locale);

// The DiscId an item names: the 11 characters that end one before its end
// ("05/03/24 14:03:26 (20240305002)" gives 20240305002); "" for a shorter text.
std::string chooserDiscId(const std::string& item);

// Fills BackupSetChooser with one item per backup run, newest first, and selects the first.
// A run is found by its deleted-files catalog (the one whose name holds "dd", on the run's
// first disc); its item is that catalog's last-write time in the user's locale and, in
// parentheses, the run's last disc. Refreshes DiscList (and DiscList) on the way.
void fillBackupSetChooser(RunState& state, View& view);

// The user picked another item: BackupState becomes the state in which that item's disc was
// the newest (the stored NewestDisc and OldestCSV keep their values), and the restore tree is
// rebuilt from it. RestoreButton, BackupSetChooser and RestoreTree are disabled meanwhile, and
// enabled again also when the assembly fails.
void chooseBackupSet(RunState& state, View& view, RestoreTree& tree);

} // namespace torvinel
