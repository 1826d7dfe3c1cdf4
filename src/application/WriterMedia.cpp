#include "application/WriterMedia.h"

#include "backup/RecoveryStaging.h"

namespace torvinel {

namespace {

std::vector<DiscMedia> discsOf(const DriveList& writers, int index, const std::optional<ImageDriveSettings>& image)
{
    if (index < 0 || static_cast<std::size_t>(index) >= writers.size())
        return mediaForDisc(DISC_TYPE_UNKNOWN);
    const DriveInfo& writer = writers[static_cast<std::size_t>(index)];
    // The image drive's disc is the one its settings make next, whatever the search saw.
    if (writer.DeviceAddress.PortID == ImageDrivePort && image)
        return mediaForDisc(imageMediaType(image->mediaType), image->blocks);
    return mediaForDisc(writer.DiscType);
}

} // namespace

std::vector<DiscMedia> writerMedia(const DriveList& writers, int index, const std::optional<ImageDriveSettings>& image,
                                   int recoveryPercent)
{
    std::vector<DiscMedia> media = discsOf(writers, index, image);
    // Packing leaves each disc's room for its recovery data free.
    for (DiscMedia& disc : media)
        disc.bytes -= recoveryReserve(disc.bytes, recoveryPercent);
    return media;
}

} // namespace torvinel
