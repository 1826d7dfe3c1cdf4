#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recovery/ImageRecoveryFormat.h"
#include "recovery/MediumBlocks.h"

namespace torvinel {

// A session's recovery data (version 2) as read back from a disc.
struct ImageRecovery {
    ImageRecoveryLayout layout;
    // The disc's name and files; nullopt when a chunk of it was lost in every copy.
    std::optional<RecoveryFixedPart> fixed;
    std::vector<uint32_t> crcs;    // of every code block: data rows, then parity
    std::vector<uint8_t> crcKnown; // 1 where crcs holds the recorded CRC
    uint64_t metadataLost = 0;     // metadata blocks that could not be read whole

    // The protected blocks a file of the fixed part takes, as indexes from the session's start.
    uint64_t firstIndex(const PlacedRecoveryFile& file) const { return file.block - layout.sessionStart; }
};

// Reads the recovery data in the blocks of a recovery file (block 0 its first). The metadata
// blocks found are grouped by the layout they carry and the layout most of them carry wins;
// nullopt when none was read whole.
std::optional<ImageRecovery> readImageRecovery(MediumBlocks& recoveryFile);

// Finds the recovery data of a session on a whole medium without its file tree: the last
// blocks of the medium are looked at first (the recovery file ends a session but for its
// checksums), then every block. discName, when given, must be the name the fixed part records
// (when it could be read). nullopt when there is none.
std::optional<ImageRecovery> findImageRecovery(MediumBlocks& medium, const std::string& discName = {});

// Whether the bytes at the start of a recovery file are a version 2 metadata block.
bool isImageRecoveryBlock(const uint8_t* block);

} // namespace torvinel
