#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/FileHelpers.h"
#include "app/RunState.h"
#include "discwright/DiscReader.h"
#include "recovery/RecoveryDamage.h"

namespace torvinel {

// A file of a disc's folder that a check found wrong.
struct DamagedDiscFile {
    std::string name;                // its name in the disc's folder, "2026121000401rn.zip"
    std::vector<std::string> faults; // what is wrong with it ("it could not be read", ...)
    std::vector<std::string> paths;  // for an archive: the paths of its catalog lines it cannot give back
};

struct DiscVerification {
    enum class Outcome {
        Checked,    // every file was read or tried
        NoSuchDisc, // the drive has no folder of that DiscId (nothing was checked)
        Unreadable, // the disc's folder, or its STATUS.INI and its recovery data, could not be read
        Cancelled,
    };
    Outcome outcome = Outcome::Checked;
    std::string problem; // for NoSuchDisc and Unreadable: the message for the user
    std::string discId;
    std::size_t checked = 0;              // the files of the disc's folder checked
    std::vector<DamagedDiscFile> damaged; // by name
    // Catalog paths in split archives that continue on another disc, so not checked here
    // (the volumes on this disc are still checked against STATUS.INI).
    std::vector<std::string> elsewhere;
    // For a damaged disc that carries recovery data: how much of it is lost, and whether the
    // parity rebuilds it all.
    std::optional<RecoveryDamage> recovery;

    bool sound() const { return outcome == Outcome::Checked && damaged.empty(); }
    // The damaged archives' file names (volumes included), as DiscHealth.csv records them.
    std::vector<std::string> damagedArchives() const;
};

// Checks disc discId on reader, reading every byte of its folder once for its digest and
// the archives a second time for their entries:
// - every file STATUS.INI lists is read whole and compared with its MD5 there (a file
//   missing or unreadable counts as damaged); when STATUS.INI cannot be read, every file of
//   the disc's folder that its recovery data protects, against the MD5 recorded there;
// - every archive whose volumes are all on this disc is opened with the archive engine, and
//   every entry's data is tested for its size and CRC; every line of the archive's catalog
//   must find an entry of its path with its size (and MD5, when the line has one);
// - a split archive with volumes on another disc cannot be tested here: its catalog paths
//   are listed in elsewhere;
// - a disc that carries recovery data has the blocks of its files not proved whole by their
//   MD5, and its parity, read once more for their CRCs, and both copies of its header read:
//   damage to any of them is damage of the disc, told with what is lost and whether the
//   parity rebuilds it (recovery).
// The files checked are those STATUS.INI (or the recovery data) lists and the archives and
// catalogs it does not.
// Nothing stops the check but a cancel: a read error or a damaged archive is recorded and
// the check goes on. Copies it needs (split volumes, files a reader cannot read in place)
// go into workFolder, which must exist, and are deleted there. cancelled is asked often;
// true stops the check (Outcome::Cancelled).
DiscVerification verifyDisc(DiscReader& reader, const std::string& discId, const std::string& workFolder,
                            const std::function<bool()>& cancelled = {});

// The check as a run of the program does it: the copies go into TempFolder (emptied first),
// the result goes to the log and, unless the disc was not found or the check cancelled, to
// DiscHealth.csv with the clock's time. Raises Error("Could not delete Temp directory.") or
// DiscHealth.csv's write error.
DiscVerification verifyAndRecord(RunState& state, DiscReader& reader, const std::string& discId,
                                 const std::function<bool()>& cancelled,
                                 const Clock& clock = std::chrono::system_clock::now);

// The report of a completed check, one string per line:
//   Disc 20261210004: all 57 files are sound.
// or, for a damaged disc (its first line, when the disc carries recovery data, one of
//   Disc 20261210004: damaged, recoverable (40 of 9000 blocks lost; repair with torvinel-cli repair 20261210004).
//   Disc 20261210004: damaged, not recoverable (900 of 9000 blocks lost, 3 codewords beyond repair).)
//   Disc 20261210004: 2 of 57 files are damaged.
//   2026121000401rn.zip: its data differs from its MD5 in STATUS.INI; entries fail their CRC check
//     /home/u/a.txt
// then, when some were not checked,
//   Not checked here, as they continue on another disc:
//     /home/u/big.iso
std::vector<std::string> verificationReport(const DiscVerification& verification);

// The DiscIds of the discs the drive holds, by name.
std::vector<std::string> discsOnDrive(DiscReader& reader);

} // namespace torvinel
