#pragma once
#include <cstddef>
#include <string>

#include "app/RunState.h"
#include "app/View.h"

namespace torvinel {

// What the database loses with disc discId: the number of files whose newest version has
// no copy left once the disc's catalogs are gone. The newest version of a file is its line
// in the state of the whole database (as the assembly makes it: a deletion record hides the
// file, a split archive counts once its last volume is filed); a copy is an archive holding
// that version (CopyIndex), and it needs discId when one of its volumes is on that disc. A
// file whose every copy needs discId is lost; one also kept on another disc is not. Raises
// Error when a catalog cannot be read.
std::size_t filesOnlyOnDisc(const RunState& state, const std::string& discId);

// The Remove button's first step: asks, with No as the default, whether to remove the disc
// chosen in DiscList (discToRemove), naming it and what the database would lose:
// "Remove disc <DiscId> from the database? <N> files have their newest copy only on this
// disc; they could no longer be restored." (one file, or none: nothing is lost). True: the
// user said Yes. False without asking when the list offers no disc to remove.
bool confirmDiscRemoval(const RunState& state, View& view);

} // namespace torvinel
