#pragma once
#include <optional>
#include <vector>

#include "backup/DiscMedia.h"
#include "discwright/ImageDriveSettings.h"
#include "discwriter/DriveList.h"

namespace torvinel {

// The discs a selection is measured against on writers[index] (the WriterChooser index): the
// image drive's configured kind and size (image: its settings, nullopt when there is none);
// an optical writer's by the kind of disc the drive search found in it, at that kind's usual
// size; else, or with no writer chosen, the run estimate's CDs and DVDs. The room of each is
// what packing may fill: less the share recoveryPercent keeps for recovery data.
std::vector<DiscMedia> writerMedia(const DriveList& writers, int index, const std::optional<ImageDriveSettings>& image,
                                   int recoveryPercent);

} // namespace torvinel
