#include "discwright/ImageDriveSettings.h"

#include "app/IniFile.h"

#include <cstdlib>

namespace torvinel {

namespace {
const char* const Section = "ImageDrive";

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}
} // namespace

std::vector<std::string> imageMediaTypes() { return {"CD-R", "DVD-R", "DVD+R", "DVD+R DL"}; }

DISC_TYPE imageMediaType(const std::string& mediaType)
{
    if (mediaType == "CD-R")
        return DISC_TYPE_CDR;
    if (mediaType == "DVD-R")
        return DISC_TYPE_DVDR;
    if (mediaType == "DVD+R")
        return DISC_TYPE_DVDPLUSR;
    if (mediaType == "DVD+R DL")
        return DISC_TYPE_DVDPLUSR_DL;
    return DISC_TYPE_UNKNOWN;
}

int64_t defaultImageBlocks(const std::string& mediaType)
{
    switch (imageMediaType(mediaType)) {
    case DISC_TYPE_CDR:
        return 359849;
    case DISC_TYPE_DVDPLUSR_DL:
        return 4173824;
    default:
        return 2295104;
    }
}

ImageDriveSettings ReadImageDriveSettings(const std::string& iniFile)
{
    ImageDriveSettings settings;
    std::string home = homeFolder();
    if (home.size() > 1 && home.back() == '/')
        home.pop_back();
    const std::string defaultFolder = (home == "/" ? "" : home) + "/Torvinel Discs";
    settings.folder = IniReadOrCreateString(iniFile, Section, "Folder", defaultFolder);
    if (settings.folder.empty())
        settings.folder = defaultFolder;
    settings.mediaType = IniReadOrCreateString(iniFile, Section, "MediaType", "DVD+R");
    if (imageMediaType(settings.mediaType) == DISC_TYPE_UNKNOWN)
        settings.mediaType = "DVD+R";
    const int64_t fallback = defaultImageBlocks(settings.mediaType);
    settings.blocks = IniReadOrCreateInteger(iniFile, Section, "Blocks", fallback);
    // The track information carries the free blocks as a signed 32-bit number.
    if (settings.blocks < 1 || settings.blocks > INT32_MAX)
        settings.blocks = fallback;
    return settings;
}

} // namespace torvinel
