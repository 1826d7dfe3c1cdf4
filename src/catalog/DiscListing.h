#pragma once
#include <string>

#include "app/RunState.h"
#include "app/SortedList.h"
#include "app/View.h"

namespace torvinel {

// Empties list, then adds the name (without folder) of every entry matching mask, a folder
// and a wildcard pattern joined by the separator ("/db/20240305001/2*.csv"): files and
// folders, hidden ones included. A missing folder gives an empty list.
void ListFiles(const std::string& mask, SortedList& list);

// Fills DiscList with the disc folders of DatabaseFolder (folders named "2*"), oldest
// first, and refreshes the DiscList choices: the oldest disc + " (Oldest)" and the newest +
// " (Newest)", first selected; both also when they are the same disc; empty with nothing
// selected when there is no disc.
void ListDiscs(RunState& state, View& view);

// The disc folders of DatabaseFolder in order, without touching DiscList or the View.
SortedList discFolders(const RunState& state);

} // namespace torvinel
