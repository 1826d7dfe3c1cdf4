#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "app/RunState.h"
#include "app/View.h"
#include "discwriter/DriveList.h"
#include "discwright/BurnOutcome.h"

namespace torvinel {

// What a burn session may be given besides its arguments: the seams tests turn.
struct BurnOptions {
    // How long WaitReady waits for the drive before it gives up with "The drive did not
    // become ready." through the error exit.
    std::chrono::milliseconds readyTimeout{120000};
    // Pause between two polls of the tray (WaitForDisc) or of the unit (WaitReady), so a
    // drive waiting for its disc does not keep the processor busy.
    std::chrono::milliseconds pollInterval{50};
    std::function<std::chrono::steady_clock::time_point()> clock = std::chrono::steady_clock::now;
    // Free bytes of the file system holding TempFolder (the hard-disk check).
    std::function<int64_t(const std::string&)> freeSpace;
    // The date-time text of renamed Joliet names (the locale's when empty).
    std::function<std::string()> dateTimeText;
};

// One burn session on the writer chosen in WriterChooser (its index in devices).
//
// Measure mode (Name empty): waits for a blank CD-R, DVD-R, DVD+R or DVD+R DL disc (ejecting
// and asking again for anything else), locks the drive and sets DiscFreeBytes to the room on
// it: free blocks x 2048 less a 10 MiB reserve, 0 when too little. Then it checks that the
// file system of TempFolder has DiscFreeBytes + 400000000 bytes free; if not, it says so and
// sets CancelRequested (the outcome is still Done). The disc stays in the drive, unlocked.
//
// Burn mode (Name = the DiscId): the same checks, then everything in TempFolder is burnt as
// one Track-At-Once track, an ISO9660/Joliet image whose volume label and one top folder are
// Name (publisher "Quenmark", application "Torvinel"); the disc is closed, verified when
// VerifyCheck is ticked, and measured again. No room left: DiscFreeBytes 0, the disc is
// ejected and the user is asked to mark it with Name.
//
// Returns Done, or Cancelled (Cancel before the drive was locked, or a writer without
// Track-At-Once). CancelRequested is cleared on entry; CancelButton of the backup progress window
// is disabled while the drive is locked. A failure of the drive or the library raises Error
// with the failing call's message ("Discwright_Drive_Lock() failed, exception 1, status 0,
// text "..."") and the session has no outcome. Every step is traced in the log.
BurnOutcome burnDisc(RunState& state, View& view, const DriveList& devices, const std::string& Name,
                     int64_t& DiscFreeBytes, const BurnOptions& options = {});

// The write speed in KBps of an item of CdSpeed / DvdSpeed (65535: the drive's
// maximum); -1 for an index outside the list.
int32_t CDWriteSpeed(int index);
int32_t DVDWriteSpeed(int index);

// "Please insert a blank " + the kinds the writer can write + " disk.".
std::string InsertRequestFor(bool cdr, bool dvdr, bool dvdPlusR, bool dvdPlusRDL);

// Room for the next burn on a disc whose next writable track is trackNumber with freeBlocks
// free, in bytes, for a writer that puts at most trackLimit tracks on a disc.
int64_t RoomOnDisc(int trackNumber, int32_t freeBlocks, int trackLimit);

} // namespace torvinel
