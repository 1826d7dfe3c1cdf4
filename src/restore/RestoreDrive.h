#pragma once
#include <memory>
#include <string>

#include "discwriter/discwright/DiscReader.h"

namespace torvinel {

// The reader behind a restore drive's text (the item of cbRestoreFrom, or the CLI's --from):
// - an image file (".iso"): that one disc;
// - a folder: a mounted disc (an optical drive's mount point) or a disc copied to a folder,
//   where <DiscId>/<file> lies directly below it, and at the same time the image drive's
//   shelf, where <DiscId>.iso is loaded when the disc asked for is on it.
// Whichever holds the file asked for serves it, so one folder may hold both.
std::unique_ptr<DiscReader> openRestoreDrive(const std::string& drive);

} // namespace torvinel
