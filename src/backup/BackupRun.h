#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/EventPacer.h"
#include "app/FileHelpers.h"
#include "app/RunState.h"
#include "app/SortedList.h"
#include "app/WorkMeter.h"
#include "app/View.h"
#include "archive/ZipArchive.h"
#include "archive/ZipPreparedFile.h"
#include "backup/DiscMedia.h"
#include "backup/RecoveryStaging.h"
#include "catalog/BackgroundMd5.h"
#include "catalog/Md5.h"
#include "catalog/StagedDigests.h"
#include "discwright/BurnOutcome.h"
#include "platform/Platform.h"

// The backup run: the ticks become files, the files archives, the archives discs, the discs
// catalogs in the database.
namespace torvinel {

class DiscFiling;

// The burn session (burnDisc). With an empty name it has the user insert a blank disc,
// measures it and sets discFreeBytes; with a DiscId it burns TempFolder as that disc,
// measures again (0: the disc is finished, ejected and the user asked to label it).
// Returns Done or Cancelled; failures are raised.
using DiscWriter = std::function<BurnOutcome(const std::string& name, int64_t& discFreeBytes)>;

// What a run did, counted when a disc is burnt and filed: files packed but not burnt do not
// count. Rotation copies of unchanged files (phase 7) are counted apart from the new and
// changed files.
struct BackupSummary {
    int64_t files = 0;
    int64_t bytes = 0;
    int64_t repeatedFiles = 0;
    int64_t repeatedBytes = 0;
    std::vector<std::string> discs; // DiscIds, in the order written
};

// The summary's lines for the run's closing box: "Backed up 3 files, 12.3 MB (12345678
// bytes).", "Repeated 2 unchanged files, 1.00 kB (1000 bytes), from earlier discs." (when
// there are any), then "Disc <DiscId> was written." or "Disc <DiscId> was written to
// <image>." for each disc (image: imageOf's answer when given and not empty).
std::vector<std::string> backupSummaryLines(const BackupSummary& summary,
                                            const std::function<std::string(const std::string&)>& imageOf);

// Everything a run needs besides its own state. The GUI and the command line build it the
// same way around their own View.
struct BackupContext {
    RunState& state;
    View& view;
    ZipArchive& ZF;                           // the archive engine; the run sets its events
    platform::ArchiveAttribute& archiveBits;  // read in phase 3, cleared when a file is packed
    DiscWriter burnDisc;                      // the burn session on the chosen writer
    std::function<void()> refreshRestore;     // phase 8: restore chooser and restore tree
    std::vector<std::string> excludedFolders; // never backed up (the image drive's folder)
    // The command line's selection: taken as FQList in phase 1 instead of the tree's ticks,
    // for this run only (FQList.txt, the GUI's saved selection, is left as it is).
    std::optional<std::vector<std::string>> selection = std::nullopt;
    Clock clock = std::chrono::system_clock::now;
    // The discs the chosen writer makes, for the estimate after phase 3 (writerMedia); empty
    // or unset: the estimate's CDs and DVDs.
    std::function<std::vector<DiscMedia>()> discMedia = nullptr;
    // The image file a disc written in this run went into; "" when it went onto a real disc.
    std::function<std::string(const std::string& discId)> imageOf = nullptr;
    // Times the work for the elapsed time, the rate and the time left.
    WorkMeter::Clock workClock = std::chrono::steady_clock::now;
};

// Where the rotation of unchanged files begins in fullList: after rotationPoint (where it
// stands or would stand), at the first entry when rotationPoint is empty or fewer than two
// entries would be left from there.
int rotationStartIndex(const SortedList& fullList, const std::string& rotationPoint);

// How a run ended; a failure is raised as Error instead.
enum class BackupOutcome { Finished, Cancelled };

// A file a run left out, and why ("could not be read", "too large for an empty disc", ...).
// It keeps no catalog line, so the next run tries it again.
struct NotBackedUp {
    std::string path;
    std::string reason;
};

// A size rounded up to whole 2048-byte sectors: 0 stays 0, 1 becomes 2048, 2049 becomes 4096.
int64_t roundUpToSector(int64_t bytes);

// "This backup should fit on 1 CD or 1 DVD." for the new material's size in bytes: for each
// kind of disc the writer makes, as many as discsNeeded counts ("... fit on 3 CDs." for the
// image drive making CDs of its Blocks); no media: the estimate's CDs and DVDs.
std::string discEstimateText(int64_t estimatedBytes, const std::vector<DiscMedia>& media);

// One backup run. The object lives for one run; the values that outlive a run (RotationIndex,
// BackupState) are in RunState.
class BackupRun {
public:
    explicit BackupRun(BackupContext& context);
    ~BackupRun(); // takes the run's handlers off the archive engine
    BackupRun(const BackupRun&) = delete;
    BackupRun& operator=(const BackupRun&) = delete;

    // Runs every phase and says how the run ended ("The backup is finished." or "... was
    // cancelled." shown). A failure is logged and raised as Error for the caller to report,
    // after the cleanup: the archive bits of what was not burnt are set again, the progress
    // window closes and the main window returns, as after a finished or cancelled run.
    // A run that finished but left files out says instead "The backup is finished, but N files
    // were not backed up." ("1 file was") in an information box whose details list them, one
    // "Not backed up: <path>: <reason>" line each (also logged); see notBackedUp(). Links,
    // FIFOs, sockets and devices met inside ticked folders are skipped by design: they add one
    // counting line to the closing box and the log (each is listed in the log by the walk).
    BackupOutcome runBackup();

    // The files this run left out, in the order it met them, each once. A rotation copy of an
    // unchanged file is not among them: that file is on an earlier disc.
    const std::vector<NotBackedUp>& notBackedUp() const { return m_notBackedUp; }

    // Phase 3 for one file: new or changed into NewList (with its size in estimatedBytes),
    // unchanged into FullList; a file found in the state copy takes its entry out of it.
    void addToBackup(const std::string& path);

    // Packs the list's files from position on into archives in TempFolder, removing each
    // packed path, and burns discs as they fill; ask: whether a full disc may be followed by
    // a further blank disc; resume > 0 continues the split archive SplitArchiveName.
    void packFiles(SortedList& list, std::size_t& position, bool ask, int& resume);
    // Burns what is staged as disc DiscId and files its catalogs, or, with no DiscId yet,
    // measures a blank disc and names it; then, when the disc is finished and ask is set,
    // has the user insert the next one.
    void writeStagedDisc(bool ask);
    void beginDisc();
    void startRecovery(std::optional<RecoveryWriter>& writer);

    // The archive engine's events.
    void onRequestBlankVolume(int volumeNumber, const std::string& volumeFileName);
    void onProcessFileFailure(const std::string& fileName, int errorCode, const std::string& errorMessage,
                              ZipFailureAction& action);
    void onFileProgress(double progress, ZipOperation operation);

    // Run values, for the phases and for tests.
    SortedList workingState; // phase 3 classifies against this copy of BackupState
    int64_t estimatedBytes = 0;
    std::string DiscId;
    char currentKind = 'n';
    std::string lastVolumeName;
    bool abandonSplit = false;
    bool doMd5 = false;

private:
    struct Tests {
        int64_t rounded = 0;
        bool needsSplitting = false;
        int64_t needed = 0; // room the file's archive needs on a disc (a volume when split)
        bool noRoom = false;
    };
    Tests testFile(const std::string& path, int64_t room);
    Tests testLength(int64_t length, int64_t room) const; // of a file whose length is known
    bool tooLargeForEmptyDisc(const Tests& tests) const;
    // Every place that leaves a file out calls this, once per file is enough: the file joins
    // notBackedUp() (a second call for it changes nothing).
    void noteNotBackedUp(const std::string& path, const std::string& reason);
    void showFinished();
    // The text followed by the summary's lines, which are logged too.
    std::string withSummary(const std::string& text);
    // The work of packing and burning: the phase bar, its figures and times.
    void startWork();
    void showWork();
    // Taken out of the list being packed; size: the file's as it was read, when it was.
    void fileHandled(const std::string& path, std::optional<int64_t> size);
    void burnProgress(int64_t written, int64_t total);
    void countStaged(); // the files of the archive being staged, for the summary
    void discFiled();
    bool skipUnreadable(SortedList& list, std::size_t& position);
    void takeOut(SortedList& list, std::size_t& position, std::optional<int64_t> size = std::nullopt);
    void skipTooLarge(SortedList& list, std::size_t& position);
    void packSplitFile(SortedList& list, std::size_t& position, const std::string& fileName,
                       const std::string& catalogPath);
    void packArchive(SortedList& list, std::size_t& position, const std::string& fileName,
                     const std::string& catalogPath);
    void addFile(SortedList& list, std::size_t& position);
    // A file read ahead: the engine's prepared copy (null when it could not prepare one)
    // and what the run made of that read. Its digest is made by the engine's worker, and its
    // catalog line once the entry is written.
    struct ReadAhead {
        std::string path;
        std::unique_ptr<ZipPreparedFile> prepared;
        std::optional<platform::FileIdentity> readFrom;
        std::optional<platform::Stamp> stamp; // set when the read went through unchanged
        int64_t size = 0;
        std::shared_ptr<Md5Digest> digest;
        bool changed = false; // written to while it was read
    };
    // Reads the files that follow position (once the file there is taken out), in list order,
    // while the engine deflates those read before on its workers: as many as keep every
    // worker busy (ReadAheadFiles, ReadAheadBytes), and only those that may go into an
    // ordinary archive of this drive.
    void readAhead(const SortedList& list, std::size_t position);
    // The read-ahead of path, when it is among the files read ahead; those read ahead before
    // it are dropped (the list no longer holds them), and all of them when path is not there.
    std::optional<ReadAhead> takeReadAhead(const std::string& path);
    uint64_t aheadBytes() const; // the sizes of the files read ahead
    // addFile for a file read ahead and found to be, at its add, what that read found. (A file
    // written to during its read-ahead is left out; one that could not be prepared, or changed
    // since, is read again by addFile.)
    void addReadAhead(ReadAhead& ahead, SortedList& list, std::size_t& position);
    // Before the engine reads path: its identity and stamp, and a fresh digest.
    void beginRead(const std::string& path);
    // When the engine has read the whole file: its catalog line from that read, or, when the
    // file is not what it was at beginRead, false (the engine then keeps nothing of it).
    bool finishRead();
    // A file the engine could not read: no catalog line, so the next run tries it again
    // (one deleted meanwhile is not missed: that run records it as deleted).
    void leaveOutUnreadable(const std::string& path);
    // A file written to while it was read: no catalog line claims it, it stays marked for the
    // next run, and the user is told.
    void leaveOutChanged(const std::string& path);
    void stageArchive(const std::string& fileName, const std::string& catalogPath);
    void clearArchiveBit(const std::string& path, const platform::FileIdentity& readFrom);
    void restoreArchiveBits();
    void saveCatalog(const std::string& path);
    void fileDisc();
    void fileIntoDatabase(const std::string& source, const DiscFiling& filing, const std::string& name);
    std::string writtenDiscsText() const;
    void discardFromTemp(const std::string& path);
    void saveArchiveBits();
    std::string tempPath(const std::string& name) const;
    void runPhases();
    void abandon(const std::string& failure);
    void startPhase(const std::string& title);
    void phase5();
    void phase7();
    void phase8();

    BackupContext& m_context;
    RunState& m_state;
    View& m_view;
    std::string m_currentFile; // the file being added, for the failure event
    bool m_currentFileSkipped = false;
    EventPacer m_progressPacer;                  // the file bar is redrawn at most every 50 ms
    std::vector<std::string> m_clearedSinceBurn; // archive bits cleared for material not yet burnt
    bool m_flushBuffers;                         // the engine's setting, given back when the run ends
    BackgroundMd5 m_digest;                      // of the file being added, fed by the engine's own read
    int64_t m_digested = 0;
    std::optional<platform::FileIdentity> m_readFrom; // the file being added, as it was before the read
    std::optional<platform::Stamp> m_readStamp;
    std::string m_readLine;                  // its catalog line, once the read went through unchanged
    bool m_digestOnWorker = false;           // a read ahead: the engine's worker digests it, no line yet
    bool m_readWhole = false;                // the read went through unchanged
    bool m_changedWhileRead = false;         // it did not
    StagedDigests m_stagedDigests;           // of what is staged; written into status.ini before each burn
    std::deque<ReadAhead> m_ahead;           // the files that follow the one being added, in list order
    std::vector<std::string> m_writtenDiscs; // burnt and filed in this run
    bool m_writerHoldsWritten = false;       // the disc in the writer is the last of them
    int64_t m_emptyDiscBytes = 0;            // room on the last blank disc measured; 0: none yet
    int64_t m_recoveryRoom = 0;              // room on the disc being packed kept for recovery data
    std::vector<NotBackedUp> m_notBackedUp;
    std::set<std::string> m_notBackedUpPaths;
    std::size_t m_skippedByDesign = 0; // links, FIFOs, sockets and devices inside ticked folders
    // The summary, and what is staged for the next disc that it counts once that is filed.
    BackupSummary m_summary;
    BackupSummary m_staged;
    // The work meter and its parts: bytes of files to pack and packed, of discs burnt.
    WorkMeter m_work;
    int64_t m_unchangedBytes = 0; // sizes of the unchanged files (FullList), the rotation's most
    int64_t m_packTotal = 0;
    int64_t m_packedBytes = 0;
    int64_t m_filePackedBytes = 0; // of the file being packed
    int64_t m_packedAtStage = 0;   // m_packedBytes when an archive was last staged
    int64_t m_burntBytes = 0;
    int64_t m_burningBytes = 0; // of the disc being burnt
    bool m_working = false;     // from phase 5 to the last disc
};

// Builds the run and runs it (what the Backup button and `torvinel-cli backup` call); a
// failure is raised as Error, as BackupRun::runBackup says.
BackupOutcome runBackup(BackupContext& context);

} // namespace torvinel
