#pragma once
#include <memory>
#include <string>

#include "discwriter/discwright/DiscReader.h"

namespace torvinel {

// The reader behind a restore drive's text (an item of cbRestoreFrom, or the CLI's --from).
// What OpenRestoreDrive gives for the drive lists' items (the image drive's folder as its
// shelf, an optical device through the folder its disc is mounted at now, else a folder),
// and beyond that:
// - an image file (".iso"): that one disc;
// - any other folder is read both as a disc mounted or copied there (<DiscId>/<file> right
//   below it) and as a shelf of <DiscId>.iso images, so a shelf moved elsewhere still works.
// An optical disc's mount point changes with the disc (its label is its DiscId), so callers
// open the drive again when a disc they ask for is not found.
std::unique_ptr<DiscReader> openRestoreDrive(const std::string& drive);

} // namespace torvinel
