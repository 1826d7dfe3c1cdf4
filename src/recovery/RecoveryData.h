#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "recovery/BlockRepair.h"
#include "recovery/RecoveryDamage.h"
#include "recovery/RecoveryFile.h"

namespace torvinel {

// Writes the recovery file target for the files of folder, in the order given (the order they
// will lie on the disc), with percent (1 to 50) of data and parity together going to parity.
// The files are read once. Raises Error "Could not read <path>" or "Could not write <path>";
// a file that changed size since it was listed counts as unreadable. The parity is computed on
// threads threads (0: one per processor); the bytes are the same for any number.
void writeRecoveryFile(const std::string& folder, const std::vector<ProtectedFile>& files, int percent,
                       const std::string& target, unsigned threads = 0);
// The same with the code's shape given: the recovery file of a disc made again from its files
// (their data and the shape of its header give the same bytes).
void writeRecoveryFile(const std::string& folder, const std::vector<ProtectedFile>& files, const RecoveryShape& shape,
                       const std::string& target, unsigned threads = 0);

// Reads length bytes at offset of the recovery file on a disc into out; false when they
// cannot all be read.
using RecoveryFileRead = std::function<bool(uint64_t offset, std::size_t length, uint8_t* out)>;
// The header of a recovery file of fileSize bytes: the copy at its start, else the one at its
// end; nullopt when neither is sound.
std::optional<RecoveryHeader> readRecoveryHeader(const RecoveryFileRead& read, uint64_t fileSize);

// The blocks of the two copies of header in its recovery file that cannot be read or differ
// from the header as serializeHeader stores it, the padding after its CRC included.
uint64_t lostHeaderBlocks(const RecoveryHeader& header, const RecoveryFileRead& read);

// Reads one block of a protected file (file is an index of header.files) into out, the part
// past the file's end as zeros; false when it cannot be read.
using ProtectedBlockRead = std::function<bool(std::size_t file, uint64_t block, uint8_t* out)>;

// Whether the file written at path for header.files[file] is the one the disc held (by its
// MD5, which the recovery data cannot check itself).
using RebuiltFileCheck = std::function<bool(std::size_t file, const std::string& path)>;

struct DiscRepair {
    RepairCount count;
    uint64_t lostMetadata = 0;          // blocks of the recovery data's own records lost
    std::vector<std::string> lostFiles; // files not rebuilt whole, in disc order
};

// Reads every protected block and every parity block once, takes a block whose CRC differs
// from the header's as lost, rebuilds what the parity allows and writes each file into
// outputFolder (folders made as needed; a folder on the way that is a link counts as one that
// cannot be made). Each file is written under a temporary name beside its place and moved
// there once the repair is done, so a repair that fails or is cut short leaves no part under
// a file's name. A file rebuilt whole (no block beyond repair, check true when given) takes
// its place, replacing a file of its name; one that is not is named in lostFiles and left in
// its place with zeros for the blocks lost, only where no file has its name. Raises Error
// "Could not write <path>".
DiscRepair repairDisc(const RecoveryHeader& header, const ProtectedBlockRead& readData,
                      const RecoveryFileRead& readFile, const std::string& outputFolder,
                      const RebuiltFileCheck& check = {});

// As repairDisc for the given files only (indexes of header.files): reads just the blocks of
// the codewords that hold a block of theirs, and writes just them; a file not rebuilt whole is
// not left at all.
DiscRepair repairFiles(const RecoveryHeader& header, const ProtectedBlockRead& readData,
                       const RecoveryFileRead& readFile, const std::vector<std::size_t>& files,
                       const std::string& outputFolder, const RebuiltFileCheck& check = {});

// Reads every parity block, every data block of the files not known sound (knownSound[f]
// true: file f was proved whole already, by its MD5) and both copies of the header, and tells
// how much is lost and whether the parity can rebuild it. A block counts as lost when it
// cannot be read or fails its CRC, a block of a header copy when it differs from the header.
RecoveryDamage assessDamage(const RecoveryHeader& header, const ProtectedBlockRead& readData,
                            const RecoveryFileRead& readFile, const std::vector<bool>& knownSound);

} // namespace torvinel
