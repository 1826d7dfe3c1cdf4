#pragma once
#include "discwright/DiscwrightTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace torvinel {

// The image drive's settings: section ImageDrive of the settings file.
struct ImageDriveSettings {
    std::string folder;              // where the images lie (the shelf)
    std::string mediaType = "DVD+R"; // "CD-R", "DVD-R", "DVD+R" or "DVD+R DL"
    int64_t blocks = 2295104;        // size of a blank disc in 2048-byte blocks
};

// Reads the section, writing every missing key with its default: Folder (the home folder
// followed by "/Torvinel Discs"), MediaType ("DVD+R"), Blocks (by the media type). An empty
// folder reads as the default, an unknown media type as "DVD+R" and a size outside 1 to
// 2^31-1 blocks as the type's default.
ImageDriveSettings ReadImageDriveSettings(const std::string& iniFile);

// The media type names the image drive knows, smallest disc first.
std::vector<std::string> imageMediaTypes();
// The disc kind of a media type name; DISC_TYPE_UNKNOWN for an unknown name.
DISC_TYPE imageMediaType(const std::string& mediaType);
// The size of a blank disc of that kind, in blocks.
int64_t defaultImageBlocks(const std::string& mediaType);

} // namespace torvinel
