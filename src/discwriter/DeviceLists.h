#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/RunState.h"
#include "app/View.h"
#include "discwriter/DriveFinder.h"
#include "discwright/DiscReader.h"
#include "platform/Platform.h"

namespace torvinel {

// Fills WriterChooser on the Backup page from a fresh search (with the busy window): one
// item "<DriveLetter> <Product>" per drive, in the order found (optical recorders first, the
// image drive last), so an item's index is its index in the finder's list. The first is
// selected; with none, BackupButton is disabled. WriterGroup is shown only when there
// is more than one drive to choose from.
void fillWriterChooser(View& view, DriveFinder& finder);

// Fills RestoreDrive and AddDiscDrive with the drives a disc can be read from: the optical
// drives (their mount points, or the device while no disc is mounted), then the image
// drive's folder when there is one. Logs "Drive : N" for each drive examined. The first item
// is selected in both and AddDiscDrive shown; RestoreDriveGroup is shown with more than one.
// With nothing to offer it disables RestoreButton and AddDiscButton, says that the program will
// exit and returns false: the caller ends the program.
bool fillRestoreDrives(RunState& state, View& view, const std::vector<platform::SystemDrive>& drives,
                       const std::optional<std::string>& imageFolder);
// The same with the system's drives and the image drive of the disc library.
bool fillRestoreDrives(RunState& state, View& view);

} // namespace torvinel
