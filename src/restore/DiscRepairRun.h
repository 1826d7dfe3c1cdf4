#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalog/Md5.h"
#include "discwright/DiscReader.h"
#include "recovery/RecoveryData.h"

namespace torvinel {

// How the repair of a disc went.
struct DiscRepairReport {
    DiscRepair repair;                    // blocks lost, rebuilt, codewords at their limit
    std::vector<std::string> notRebuilt;  // files beyond repair, or whose MD5 still differs
    std::size_t files = 0;                // protected files written
};

// Rebuilds the files of disc discId, read through reader, from its recovery file, into
// outputFolder, as repairDisc writes them (a file not rebuilt whole, or whose MD5 still
// differs, never replaces one of its name). Every block is read where it lies (a bad sector
// fails only its own block, and is read again twice), so what the disc still gives is used
// however it is spread. Raises
// Error "Disc <DiscId> carries no recovery data." or "The recovery data of disc <DiscId> cannot
// be read." when there is nothing to repair from, and "Could not write <path>".
DiscRepairReport repairDiscFiles(DiscReader& reader, const std::string& discId, const std::string& outputFolder);

// As repairDiscFiles into workFolder/discId (workFolder must exist and is left holding what
// was rebuilt), then, when every file was rebuilt whole, writes the recovery file anew beside
// them and the whole as the image of a disc to burn again, imageFile, laid out as a backup
// lays out its discs (the index and STATUS.INI first). No image is written when a file could
// not be rebuilt (notRebuilt names them). Raises the Errors of repairDiscFiles and "Could not
// write <path>: <reason>" for the image.
DiscRepairReport repairDiscImage(DiscReader& reader, const std::string& discId, const std::string& workFolder,
                                 const std::string& imageFile);

enum class FileRebuild {
    Rebuilt,        // whole, of the MD5 the recovery data gives
    NoRecoveryData, // the disc carries none that can be read, or none for that file
    BeyondRepair,   // too much of it and its codewords is lost (nothing is left in outputFolder)
};

// Rebuilds the file name of disc discId's folder ("2026121000401rn.zip") from the disc's
// recovery data into outputFolder/name, reading only the codewords that hold its blocks; it
// takes that place only once rebuilt whole. Raises Error "Could not write <path>".
[[nodiscard]] FileRebuild rebuildDiscFile(DiscReader& reader, const std::string& discId, const std::string& name,
                                          const std::string& outputFolder);

// The files disc discId's recovery data protects, with their sizes and MD5s; nullopt when the
// disc carries no recovery data that can be read.
std::optional<std::vector<ProtectedFile>> protectedFiles(DiscReader& reader, const std::string& discId);

// The MD5 disc discId's recovery data records for the file name of its folder; nullopt when
// the disc carries no recovery data that can be read, or none for that file.
std::optional<Md5Digest> recordedDigest(DiscReader& reader, const std::string& discId, const std::string& name);

// How much of what disc discId's recovery data covers is lost, from the CRCs of its blocks;
// the blocks of the files provedSound accepts (their MD5 was checked already) are not read
// again. nullopt when the disc carries no recovery data that can be read, or when cancelled
// (asked now and then) said true.
std::optional<RecoveryDamage> assessDiscDamage(DiscReader& reader, const std::string& discId,
                                               const std::function<bool(const ProtectedFile&)>& provedSound,
                                               const std::function<bool()>& cancelled = {});

} // namespace torvinel
