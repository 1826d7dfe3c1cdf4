#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "discwright/DiscwrightTypes.h"

namespace torvinel {

// Region data of a DVD drive: the five values the library reports, each in decimal.
struct DvdRegionInfo {
    bool Valid = false;
    std::array<std::string, 5> Values;
};

// One drive the search reported. The program itself reads DriveLetter, Product, Vendor,
// ProductRevisionLevel, BufferSize and DeviceAddress; the rest is kept for other users.
struct DriveInfo {
    std::string Vendor;
    std::string Product;
    std::string ProductRevisionLevel;
    std::string DiscLabel;   // volume label of the drive's disc (disc ready only)
    uint32_t BufferSize = 0; // bytes of drive cache
    DISC_TYPE DiscType = DISC_TYPE_UNKNOWN;
    std::string DriveLetter; // the device name without its four-character prefix ("E:", "/dev/sr0")
    DvdRegionInfo DVDRPC;
    torvinel::DeviceAddress DeviceAddress;

    SupportedMediaFormats MediaFormats;
    SupportedMediaFormatsExEx MediaFormatsExEx;
    DiscInformation DiscInfo{};
    TrackInformation TrackInfo{};
    TOCInformation TOC{};
    WriteModes SupportedWriteModes{true, true, true, true};
    ReadModes SupportedReadModes;
};

// The drives in the order the search reported them, and the message of the last failed
// open (empty when the last open succeeded).
struct DriveList {
    std::vector<DriveInfo> Items;
    std::string DeviceError;

    std::size_t size() const { return Items.size(); }
    bool empty() const { return Items.empty(); }
    const DriveInfo& operator[](std::size_t index) const { return Items[index]; }
    void clear()
    {
        Items.clear();
        DeviceError.clear();
    }
};

} // namespace torvinel
