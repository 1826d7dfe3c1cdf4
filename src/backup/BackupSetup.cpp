#include "backup/BackupSetup.h"

namespace torvinel {

void configureArchiveEngine(ZipArchive& ZF, const RunState& state)
{
    ZF.Name = "ZF";
    ZF.setCompressionLevel(clNormal);
    ZF.NoCompressionMasks = {"*.gif", "*.jpg", "*.png", "*.mp3", "*.flac", "*.ogg", "*.wmv",
                             "*.avi", "*.mpg", "*.mpeg", "*.mp4", "*.mov", "*.zip"};
    if (ZF.isOpen())
        ZF.ArchiveClose();
    ZF.setSpanningMode(smNone);
    ZF.SpanningOptions = ZipSpanningOptions{};
    ZF.SpanningOptions.AdvancedNaming = true;
    ZF.SpanningOptions.VolumeSize = vsCustom;
    ZF.SpanningOptions.CustomVolumeSize = state.SplitVolumeSize;
    ZF.SpanningOptions.FirstVolumeSize = 0;
    ZF.Options = ZipOptions{};
    ZF.Options.SearchAttr = 10431;
    ZF.ExtractCorruptedFiles = false;
    ZF.Zip64Mode = zmAuto;
    ZF.InMemory = false;
    ZF.TempDir.clear();
}

} // namespace torvinel
