#pragma once
#include <cstdint>
#include <string>

#include "app/RunState.h"
#include "catalog/DiscNames.h"

namespace torvinel {

// Writes the index of a disc (see DiscIndexFolder), so that the newest disc alone can rebuild
// the whole database and a reader without this program knows what a disc holds: into
// discFolder/index (the folder the disc discId is staged in), from the discs filed in
// state.DatabaseFolder. Returns the room it takes on a disc, each file rounded up to whole
// sectors. Raises Error "Could not create <path>" when it cannot be written.
int64_t writeDiscIndex(const RunState& state, const std::string& discFolder, const std::string& discId);

} // namespace torvinel
