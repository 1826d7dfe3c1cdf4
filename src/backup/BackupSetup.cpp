#include "backup/BackupSetup.h"

namespace torvinel {

void configureArchiveEngine(ZipArchive& ZF, const RunState& state)
{
    ZF.componentName = "ZF";
    ZF.setCompressionLevel(ZipCompressionLevel::Normal);
    ZF.noCompressionMasks = {"*.gif", "*.jpg", "*.png",  "*.mp3", "*.flac", "*.ogg", "*.wmv",
                             "*.avi", "*.mpg", "*.mpeg", "*.mp4", "*.mov",  "*.zip"};
    if (ZF.isOpen())
        ZF.close();
    ZF.setSpanningMode(ZipSpanningMode::None);
    ZF.volumeSize = state.SplitVolumeSize;
    ZF.options = ZipOptions{};
    ZF.zip64Mode = Zip64Mode::Automatic;
}

} // namespace torvinel
