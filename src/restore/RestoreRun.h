#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CheckTree.h"
#include "app/FileHelpers.h"
#include "app/RunState.h"
#include "app/View.h"
#include "app/WorkMeter.h"
#include "discwright/DiscReader.h"
#include "restore/RestorePlan.h"

namespace torvinel {

// What a restore run takes besides the windows: the clock that dates the target folder, how
// a restore drive's text (the selected item of RestoreDrive) becomes a reader
// (OpenRestoreDrive unless a test says otherwise), and the existing folder the dated target
// folder is made in ("" for RestoreFolder).
struct RestoreRunOptions {
    Clock clock = std::chrono::system_clock::now;
    std::function<std::unique_ptr<DiscReader>(const std::string& drive)> openDrive{};
    std::string restoreFolder{};
    // Times the work for the elapsed time, the rate and the time left.
    WorkMeter::Clock workClock = std::chrono::steady_clock::now;
};

// A file the run did not restore, and why (one reason per copy that was tried).
struct NotRestored {
    std::string path;
    std::string reason;
};

struct RestoreResult {
    bool cancelled = false;
    std::string target; // the new folder ("" when none was made)
    std::vector<NotRestored> notRestored; // when the run finished but left files out
    int64_t restoredFiles = 0; // restored and proved right, also by a run cancelled later
    int64_t restoredBytes = 0;
};

// The summary line that ends a restore's closing box: "Restored 3 files, 12.3 MB (12345678
// bytes), into <target>."
std::string restoreSummaryLine(const RestoreResult& result);

// The restore run: restores the ticked nodes of tree, in the versions of the backup set
// chosen in BackupSetChooser (BackupState must be that set's state), from the drive chosen in
// RestoreDrive into a new folder RestoreFolder/yyyymmddNNN (or options.restoreFolder/...), a
// file /home/u/a.txt as <target>/r/home/u/a.txt.
//
// Phase 1 turns the ticks into the restore list (saved as FQrestorelist.txt and
// restorelist.txt in AppFolder); with nothing in it the run says "Nothing is selected for
// restore." and makes no folder. Phase 2 finds every copy of each version in the database
// (see CopyIndex; discs newer than the set count too), plans the discs (see RestorePlan; a
// copy that needs a disc whose last check in DiscHealth.csv found it damaged is planned only
// once its line has no other copy left to try; the plan's text goes to the progress window's
// message line before the first disc is asked for), asks for each disc once ("Please insert
// the disk labeled ..."), copies the archives into TempFolder and extracts each file by its
// exact name straight to its place.
//
// A file counts as restored only when its size and content match its catalog line: the MD5
// when a line has one, else the size and the archive's CRC; a mismatch deletes it. A
// failure of one archive, volume or entry (a damaged archive, a failed copy from the disc,
// a file the target cannot hold) is logged and the file is taken from its next copy, on a
// disc still to come or in a new plan, until no copy is left. Before that, while its disc is
// still in the drive, an archive the disc gave wrong is rebuilt from the disc's recovery data
// (its volumes on that disc, into TempFolder; logged "Rebuilt <DiscId>/<file> from the disc's
// recovery data") and read once more from there, so no other disc is asked for. A split's
// volume, read only once its last one is in, is proved against the MD5 its disc's recovery
// data records as soon as it is copied, and rebuilt then when it differs. A catalog path that is not
// absolute or has empty, "." or ".." parts is refused. What is left unrestored is saved as
// restoreafter.txt.
//
// The run ends with "The restored files are in " + target (and the folder opened); when files
// are missing with "The restore is finished, but N files could not be restored." and the
// list ("<path>: <reason>") as the box's details and in <target>/Not restored.txt; or with
// "The Restore was cancelled.". Once a target was made, the box's text ends with the
// summary line (restoreSummaryLine).
//
// The progress window's bar moves with the bytes restored of the bytes selected; its figures
// count files too, and its time line gives the elapsed time, the rate and the time left.
//
// The main window is hidden meanwhile and shown again at the end, also when a failure of the
// run as a whole ends it (the target cannot be made, no space is left on it): the Error is
// then passed on (restoreafter.txt is not written).
RestoreResult runRestore(RunState& state, View& view, const CheckTree& tree, const RestoreRunOptions& options = {});

// What runRestore would read, without asking for a disc or making a folder: the plan, and
// the files no disc can give.
struct RestorePlanReport {
    RestorePlan plan;
    std::vector<NotRestored> unavailable;
};
RestorePlanReport planRestoreRun(RunState& state, View& view, const CheckTree& tree);

// Waits until discId/fileName is on the restore drive, asking for the disc ("Please insert
// the disk labeled ...") until it is there or the user cancels (which sets CancelRequested).
// When the file is not on reader, reopen (if given) opens the drive again and its reader is
// asked instead; a null reader finds nothing. Returns the reader that has the file, or
// nullptr when cancelled.
DiscReader* awaitDiscFile(RunState& state, View& view, DiscReader* reader, const std::string& drive,
                          const std::string& discId, const std::string& fileName,
                          const std::function<DiscReader*()>& reopen = {});

// How fetchArchive ended.
enum class FetchOutcome { Fetched, Cancelled, CopyFailed };

// Brings discId/fileName from the restore drive into TempFolder once awaitDiscFile has found
// it (a cancel copies nothing). CopyFailed: the disc has the file but it could
// not be copied (no partial copy is left).
[[nodiscard]] FetchOutcome fetchArchive(RunState& state, View& view, DiscReader* reader, const std::string& drive,
                                        const std::string& discId, const std::string& fileName,
                                        const std::function<DiscReader*()>& reopen = {});

// The first of RestoreFolder/<day>001, 002, ... 099, 100, ... 999, 1000, ... that does not
// exist yet (not created here).
std::string nextRestoreTarget(const std::string& restoreFolder, const std::string& day);

} // namespace torvinel
