#pragma once
#include "app/RunState.h"
#include "archive/ZipArchive.h"

namespace torvinel {

// Gives the archive engine the settings the program packs and restores with: deflate at
// level 6, media and archives stored as they are, split volumes of SplitVolumeSize with
// base_NNN names, relative entry names, replace on extraction. Zip64 records are written
// for the entries that need them, so files of 4 GiB and more are backed up too.
void configureArchiveEngine(ZipArchive& ZF, const RunState& state);

} // namespace torvinel
