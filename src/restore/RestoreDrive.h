#pragma once
#include <memory>
#include <string>

#include "discwriter/discwright/DiscReader.h"

namespace torvinel {

// The reader behind a restore drive's text (an item of cbRestoreFrom, or the CLI's --from):
// OpenRestoreDrive, except that a folder is read both as a disc mounted or copied there
// (<DiscId>/<file> right below it) and as a shelf of <DiscId>.iso images, so the image
// drive's folder works also when the settings name another one (a shelf moved or copied).
// An optical disc's mount point changes with the disc (its label is its DiscId), so callers
// open the drive again when a disc they ask for is not found.
std::unique_ptr<DiscReader> openRestoreDrive(const std::string& drive);

} // namespace torvinel
