#include "backup/DiscMedia.h"

#include "discwright/ImageDriveSettings.h"

namespace torvinel {

namespace {

constexpr int64_t Mebibyte = 1048576;
constexpr int64_t BlockBytes = 2048;

} // namespace

DiscMedia estimateCd() { return {"CD", "CDs", 650 * Mebibyte}; }

DiscMedia estimateDvd() { return {"DVD", "DVDs", 4500 * Mebibyte}; }

std::vector<DiscMedia> mediaForDisc(DISC_TYPE type, int64_t blocks)
{
    for (const std::string& name : imageMediaTypes()) {
        if (imageMediaType(name) != type)
            continue;
        const int64_t room = (blocks > 0 ? blocks : defaultImageBlocks(name)) * BlockBytes;
        if (type == DISC_TYPE_CDR)
            return {{"CD", "CDs", room}};
        if (type == DISC_TYPE_DVDPLUSR_DL)
            return {{"DVD+R DL disc", "DVD+R DL discs", room}};
        return {{"DVD", "DVDs", room}};
    }
    return {estimateCd(), estimateDvd()};
}

int64_t discsNeeded(int64_t bytes, const DiscMedia& media) { return media.bytes > 0 ? bytes / media.bytes + 1 : 1; }

} // namespace torvinel
