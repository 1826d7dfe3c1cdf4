#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recovery/RecoveryShape.h"

namespace torvinel {

// The file of recovery data a disc carries in its folder beside the files it protects.
inline constexpr const char* RecoveryFileName = "RECOVERY.DAT";

// A file the recovery data protects: its name in the disc's folder ('/' between folders),
// its size and MD5. Its blocks follow those of the file before it in the data stream, the
// last one filled up with zeros, as the file lies on the disc.
struct ProtectedFile {
    std::string name;
    uint64_t size = 0;
    std::array<uint8_t, 16> md5{};

    // Counted so that no size, however large, wraps the count round.
    uint64_t blocks() const { return size / RecoveryBlockSize + (size % RecoveryBlockSize != 0 ? 1 : 0); }
};

// What the recovery file says of the data: the files, the code's shape, and a CRC-32 of every
// data and parity block, so a block read wrong counts as lost. The file holds it twice, at
// its start and at its end, with the parity blocks between; each copy carries its own CRC.
struct RecoveryHeader {
    RecoveryShape shape;
    std::vector<ProtectedFile> files;
    std::vector<uint32_t> dataCrcs;   // one per data block
    std::vector<uint32_t> parityCrcs; // one per parity block

    uint64_t dataBlocks() const { return dataCrcs.size(); }
    uint64_t parityBlocks() const { return parityCrcs.size(); }
};

// The header as stored, padded to whole blocks; its last 8 bytes give the padded length, so
// the copy at the end of the file can be found from there.
std::vector<uint8_t> serializeHeader(const RecoveryHeader& header);
// The padded length serializeHeader gives for these files and block counts.
uint64_t headerBytes(const std::vector<ProtectedFile>& files, uint64_t dataBlocks, uint64_t parityBlocks);
// The whole recovery file's length.
uint64_t recoveryFileBytes(const std::vector<ProtectedFile>& files, uint64_t dataBlocks, uint64_t parityBlocks);
// A header read back; nullopt when the bytes are no sound header: short, of another length than
// the header they hold, its CRC wrong, a shape no writer makes, counts beyond what the bytes
// carry (a block's CRC takes 4 of them) or that do not add up, or a name that could lead
// outside the disc's folder: absolute, with an empty, "." or ".." part, a backslash, a colon or
// a control character (NUL included), the recovery file's own, or one that repeats another
// (letter case aside) or is another's folder. Every count and size is bounded before it is used, so nothing in the bytes can make
// it allocate more than they could carry.
std::optional<RecoveryHeader> parseHeader(const uint8_t* bytes, std::size_t length);

} // namespace torvinel
