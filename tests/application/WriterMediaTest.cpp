#include "application/WriterMedia.h"

#include <gtest/gtest.h>

#include "backup/RecoveryStaging.h"

namespace torvinel {
namespace {

DriveInfo writer(DISC_TYPE disc, uint8_t port = 0)
{
    DriveInfo drive;
    drive.DiscType = disc;
    drive.DeviceAddress = {1, port, 0, 0, 0};
    return drive;
}

TEST(WriterMedia, TheChosenWritersDiscsOrTheEstimatesCdsAndDvds)
{
    DriveList writers;
    writers.Items = {writer(DISC_TYPE_CDR), writer(DISC_TYPE_NO_MEDIA), writer(DISC_TYPE_DVDPLUSR, ImageDrivePort)};
    const ImageDriveSettings image{.folder = "/discs", .mediaType = "CD-R", .blocks = 15360};
    const std::vector<DiscMedia> estimate{estimateCd(), estimateDvd()};

    const struct {
        int index;
        std::optional<ImageDriveSettings> image;
        std::vector<DiscMedia> media;
    } cases[] = {
        {0, image, {{"CD", "CDs", 359849LL * 2048}}}, // an optical writer: its disc at its usual size
        {1, image, estimate},                         // no disc in it
        {2, image, {{"CD", "CDs", 15360LL * 2048}}},  // the image drive: its settings, not the search's disc
        {2, std::nullopt, {{"DVD", "DVDs", 2295104LL * 2048}}},
        {-1, image, estimate}, // nothing chosen
        {3, image, estimate},
    };
    for (const auto& c : cases)
        EXPECT_EQ(writerMedia(writers, c.index, c.image, 0), c.media) << c.index;

    // With recovery data, what packing may fill: the room less the disc's reserve.
    for (const auto& c : cases) {
        std::vector<DiscMedia> lessReserve = c.media;
        for (DiscMedia& disc : lessReserve)
            disc.bytes -= recoveryReserve(disc.bytes, 12);
        EXPECT_EQ(writerMedia(writers, c.index, c.image, 12), lessReserve) << c.index;
        EXPECT_LT(lessReserve.front().bytes, c.media.front().bytes * 89 / 100);
    }
}

} // namespace
} // namespace torvinel
