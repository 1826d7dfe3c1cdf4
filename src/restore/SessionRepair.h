#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "catalog/Md5.h"
#include "discwright/DiscReader.h"
#include "recovery/ImageRecoveryReader.h"
#include "recovery/MediumBlocks.h"
#include "recovery/RecoveryDamage.h"
#include "restore/DiscRepairRun.h"

namespace torvinel {

// A disc's recovery data of version 2 (it covers the disc's whole session) and the disc's
// blocks to repair from.
struct SessionRecovery {
    ImageRecovery recovery;
    std::unique_ptr<MediumBlocks> medium; // the disc's blocks at their places on the medium
};

// The version 2 recovery data of disc discId on reader: read from the disc's RECOVERY.DAT when
// its file tree gives it; looked for through the disc's blocks (DiscReader::medium) only when
// its folder cannot be read. The blocks come from the medium where the reader has one, else
// from the disc's files where the recovery data places them (what lies outside them counts as
// lost). nullopt when the disc carries none (it may carry version 1, or none at all).
std::optional<SessionRecovery> openSessionRecovery(DiscReader& reader, const std::string& discId);

// As repairDiscFiles, from version 2 recovery data: each file is written under a temporary
// name beside its place and renamed once whole and of its MD5; a file beyond repair leaves
// nothing behind. Raises Error "The recovery data of disc <DiscId> cannot be read." when its
// file list was lost, and "Could not write <path>".
DiscRepairReport repairSessionFiles(SessionRecovery& session, const std::string& discId,
                                    const std::string& outputFolder);

// Writes the disc's image as it was burnt, byte for byte, to imageFile (through a temporary
// file renamed once whole): the protected blocks repaired, the recovery file and the session's
// checksums made again from them. Nothing is written when a block is beyond repair; notRebuilt
// then names the files (and "the file tree") that lost blocks. Raises as repairSessionFiles.
DiscRepairReport repairSessionImage(SessionRecovery& session, const std::string& discId, const std::string& imageFile);

// As rebuildDiscFile, reading only the codewords of the file's blocks.
[[nodiscard]] FileRebuild rebuildSessionFile(SessionRecovery& session, const std::string& name,
                                             const std::string& outputFolder);

} // namespace torvinel
