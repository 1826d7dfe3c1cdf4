#pragma once
#include <cstdint>
#include <string>

#include "archive/ZipFormat.h"

namespace torvinel {

// One entry as the central directory describes it.
struct ZipEntry {
    std::string name;  // the bytes of the header's name ("/" separators; a folder ends in "/")
    std::string extra; // the central extra field without its zip64 part (rebuilt on writing)
    std::string comment;
    uint16_t versionMadeBy = (zipformat::HostUnix << 8) | zipformat::VersionMadeByUs;
    uint16_t versionNeeded = zipformat::VersionDeflateOrFolder;
    uint16_t flags = 0;
    uint16_t method = zipformat::MethodStored;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0x21;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint32_t diskNumber = 0; // 0-based volume holding the local header
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint64_t localHeaderOffset = 0;

    uint8_t host() const { return static_cast<uint8_t>(versionMadeBy >> 8); }
    uint32_t dosAttributes() const { return externalAttributes & 0xff; }
    bool isFolder() const
    {
        return (dosAttributes() & zipformat::AttrFolder) != 0 || (!name.empty() && name.back() == '/');
    }
    // The Unix mode when the entry was made on a Unix-like host and records one, else 0.
    uint32_t unixMode() const
    {
        return (host() == zipformat::HostUnix || host() == zipformat::HostMacOsX) ? externalAttributes >> 16 : 0;
    }
};

} // namespace torvinel
