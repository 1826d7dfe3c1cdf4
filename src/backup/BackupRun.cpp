#include "backup/BackupRun.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "app/Error.h"
#include "app/FiguresText.h"
#include "app/Progress.h"
#include "backup/DiscMedia.h"
#include "backup/Selection.h"
#include "catalog/AssembleBackupState.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscNames.h"
#include "catalog/GetFileLength.h"
#include "catalog/MakeCatalogLine.h"
#include "catalog/StageFile.h"

namespace torvinel {

namespace {

const char* const CancelledText = "The backup was cancelled.";

std::string notBackedUpText(std::size_t count)
{
    return count == 1 ? "The backup is finished, but 1 file was not backed up."
                      : "The backup is finished, but " + std::to_string(count) + " files were not backed up.";
}

std::string skippedByDesignText(std::size_t count)
{
    return count == 1 ? "Skipped 1 link, FIFO, socket or device inside the selected folders; it is listed in the log."
                      : "Skipped " + std::to_string(count)
            + " links, FIFOs, sockets or devices inside the selected folders; they are listed in the log.";
}

} // namespace

int64_t roundUpToSector(int64_t bytes) { return bytes % 2048 > 0 ? (bytes / 2048 + 1) * 2048 : bytes; }

std::string discEstimateText(int64_t estimatedBytes, const std::vector<DiscMedia>& media)
{
    const std::vector<DiscMedia> kinds = media.empty() ? mediaForDisc(DISC_TYPE_UNKNOWN) : media;
    std::string text = "This backup should fit on ";
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const int64_t discs = discsNeeded(estimatedBytes, kinds[i]);
        text += (i > 0 ? " or " : "") + std::to_string(discs) + " " + (discs == 1 ? kinds[i].one : kinds[i].several);
    }
    return text + ".";
}

std::vector<std::string> backupSummaryLines(const BackupSummary& summary,
                                            const std::function<std::string(const std::string&)>& imageOf)
{
    std::vector<std::string> lines;
    lines.push_back("Backed up " + filesText(summary.files) + ", " + bytesText(summary.bytes) + " ("
                    + std::to_string(summary.bytes) + " bytes).");
    if (summary.repeatedFiles > 0)
        lines.push_back("Repeated " + std::to_string(summary.repeatedFiles)
                        + (summary.repeatedFiles == 1 ? " unchanged file, " : " unchanged files, ")
                        + bytesText(summary.repeatedBytes) + " (" + std::to_string(summary.repeatedBytes)
                        + " bytes), from earlier discs.");
    for (const std::string& disc : summary.discs) {
        const std::string image = imageOf ? imageOf(disc) : std::string();
        lines.push_back("Disc " + disc + (image.empty() ? " was written." : " was written to " + image + "."));
    }
    return lines;
}

int rotationStartIndex(const SortedList& fullList, const std::string& rotationPoint)
{
    int64_t index = 0;
    if (!rotationPoint.empty()) {
        std::size_t at = 0;
        const bool found = fullList.find(rotationPoint, at);
        index = static_cast<int64_t>(at) + (found ? 1 : 0);
    }
    if (static_cast<int64_t>(fullList.size()) < index + 2)
        index = 0;
    return static_cast<int>(index);
}

BackupRun::BackupRun(BackupContext& context)
    : m_context(context),
      m_state(context.state),
      m_view(context.view),
      m_flushBuffers(context.ZF.options.flushBuffers),
      m_work(context.workClock)
{
    m_state.OnBurnProgress = [this](int64_t written, int64_t total) { burnProgress(written, total); };
    // The staged archives are scratch copies that the burn reads at once and start-up throws
    // away after a crash: waiting for the device after every add would cost a wait per file
    // and keep nothing safer. What must last (the filed catalogs) is synced where it is filed.
    m_context.ZF.options.flushBuffers = false;
    m_context.ZF.onRequestBlankVolume = [this](ZipArchive&, int number, std::string& fileName, bool&) {
        onRequestBlankVolume(number, fileName);
    };
    // The engine names the entry; the failure is judged by the file the run is adding.
    m_context.ZF.onProcessFileFailure = [this](ZipArchive&, const std::string&, ZipOperation, int, int errorCode,
                                               const std::string& message, ZipFailureAction& action) {
        onProcessFileFailure(m_currentFile, errorCode, message, action);
    };
    m_context.ZF.onFileProgress = [this](ZipArchive&, const std::string&, double progress, ZipOperation operation,
                                         ZipProgressPhase phase, bool& cancel) {
        if (phase == ZipProgressPhase::Start) { // an entry's data is read from its start (again, on a retry)
            m_digest.reset();
            m_digested = 0;
        }
        if (phase == ZipProgressPhase::End && operation != ZipOperation::Extract && !finishRead())
            cancel = true; // changed while it was read: the archive keeps no copy of it either
        onFileProgress(progress, operation);
    };
    // The digest of a packed file comes from the read that packs it: each file is read once.
    m_context.ZF.onFileData = [this](const unsigned char* data, std::size_t size) {
        if (!m_digestOnWorker)
            m_digest.update(data, size);
        m_digested += static_cast<int64_t>(size);
    };
}

BackupRun::~BackupRun()
{
    m_state.OnBurnProgress = nullptr;
    m_context.ZF.onRequestBlankVolume = nullptr;
    m_context.ZF.onProcessFileFailure = nullptr;
    m_context.ZF.onFileProgress = nullptr;
    m_context.ZF.onFileData = nullptr;
    m_context.ZF.options.flushBuffers = m_flushBuffers;
}

BackupOutcome runBackup(BackupContext& context)
{
    BackupRun run(context);
    return run.runBackup();
}

// --- the run ------------------------------------------------------------------------------

BackupOutcome BackupRun::runBackup()
{
    m_state.CancelRequested = false;
    // The highest archive names are looked up once for the whole run, not per archive.
    struct LookupOnce {
        RunState& state;
        explicit LookupOnce(RunState& s) : state(s) { state.RunArchiveNames.emplace(); }
        ~LookupOnce() { state.RunArchiveNames.reset(); }
    } lookupOnce(m_state);
    m_view.hideWindow(Window::Main);
    m_view.showWindow(Window::BackupProgress);
    m_view.setText(Window::BackupProgress, Control::DiscCount, "");

    try {
        runPhases();
    } catch (const Error& failure) {
        abandon(failure.what());
        throw;
    } catch (const std::exception& failure) {
        // A failure from below the core's own (the file system, memory) ends the run the same
        // way and reaches the caller as the one failure type.
        abandon(failure.what());
        throw Error(failure.what());
    }
    const BackupOutcome outcome = m_state.CancelRequested ? BackupOutcome::Cancelled : BackupOutcome::Finished;

    saveArchiveBits();
    if (outcome == BackupOutcome::Cancelled) {
        showBackupProgress(
            m_view, {.caption = "", .phase = "", .extra = "", .message = CancelledText, .phaseBar = 0, .extraBar = 0});
        m_view.showInformation(withSummary(std::string(CancelledText) + "\n" + writtenDiscsText()));
    } else {
        showBackupProgress(m_view,
                           {.caption = "", .phase = "", .extra = "", .message = "Done.", .phaseBar = 0, .extraBar = 0});
        showFinished();
    }
    m_view.hideWindow(Window::BackupProgress);
    m_view.showWindow(Window::Main);
    return outcome;
}

void BackupRun::noteNotBackedUp(const std::string& path, const std::string& reason)
{
    if (currentKind == 'f') // a rotation copy: the file is on an earlier disc already
        return;
    if (m_notBackedUpPaths.insert(path).second)
        m_notBackedUp.push_back({path, reason});
}

// The closing box of a finished run: what it left out is the first thing the user reads.
void BackupRun::showFinished()
{
    std::string text = "The backup is finished.";
    if (!m_notBackedUp.empty()) {
        text = notBackedUpText(m_notBackedUp.size());
        m_state.WriteLog(text);
    }
    std::vector<std::string> details;
    for (const auto& file : m_notBackedUp) {
        details.push_back("Not backed up: " + file.path + ": " + file.reason);
        m_state.WriteLog(details.back());
    }
    if (m_skippedByDesign > 0) {
        const std::string skipped = skippedByDesignText(m_skippedByDesign);
        m_state.WriteLog(skipped);
        text += "\n" + skipped;
    }
    text = withSummary(text);
    if (details.empty())
        m_view.showInformation(text);
    else
        m_view.showInformation(text, details);
}

std::string BackupRun::withSummary(const std::string& text)
{
    std::string whole = text;
    for (const std::string& line : backupSummaryLines(m_summary, m_context.imageOf)) {
        m_state.WriteLog(line);
        whole += "\n" + line;
    }
    return whole;
}

void BackupRun::abandon(const std::string& failure)
{
    // The engine may still hold a half-written archive; it is closed so the next run (or
    // start-up) can empty TempFolder. A failure to close adds nothing to the one reported.
    try {
        m_context.ZF.close();
    } catch (const std::exception&) {
    }
    restoreArchiveBits();
    saveArchiveBits();
    m_state.WriteLog(failure);
    // The caller reports the failure; the discs this run did write must not be doubted.
    if (!m_writtenDiscs.empty()) {
        const std::string written = writtenDiscsText();
        m_state.WriteLog(written);
        m_view.showInformation(written);
    }
    m_view.hideWindow(Window::BackupProgress);
    m_view.showWindow(Window::Main);
}

// What a run that stopped early leaves: the discs it wrote and filed, and whether the disc
// in the writer is one of them.
std::string BackupRun::writtenDiscsText() const
{
    if (m_writtenDiscs.empty())
        return "Nothing has been written to the disk in the CD/DVD writer.";
    std::string names = m_writtenDiscs.front();
    for (std::size_t i = 1; i < m_writtenDiscs.size(); ++i)
        names += (i + 1 == m_writtenDiscs.size() ? " and " : ", ") + m_writtenDiscs[i];
    std::string text = m_writtenDiscs.size() == 1 ? "Disc " + names + " was written and recorded"
                                                  : "Discs " + names + " were written and recorded";
    return m_writerHoldsWritten ? text + "."
                                : text + "; nothing has been written to the disk now in the CD/DVD writer.";
}

void BackupRun::startPhase(const std::string& title) { startBackupPhase(m_view, title); }

void BackupRun::runPhases()
{
    // Phase 1
    startPhase("Phase 1 of 9: Get backup selection");
    estimatedBytes = 0;
    DiscId.clear();
    m_state.NewestDisc.clear();
    m_state.StagedBytes = 0;
    m_state.FQList.clear();
    m_state.FullList.clear();
    m_state.NewList.clear();
    m_state.StagedFiles.clear();
    m_stagedDigests.discard();
    m_clearedSinceBurn.clear();
    m_writtenDiscs.clear();
    m_writerHoldsWritten = false;
    m_emptyDiscBytes = 0;
    m_notBackedUp.clear();
    m_notBackedUpPaths.clear();
    m_skippedByDesign = 0;
    m_summary = {};
    m_staged = {};
    m_unchangedBytes = 0;
    m_working = false;
    currentKind = 'n';
    doMd5 = m_view.options().md5;
    if (m_context.selection)
        m_state.FQList = *m_context.selection;
    else
        CollectFQList(m_state, m_view);

    // Phase 2
    if (!m_state.CancelRequested) {
        startPhase("Phase 2 of 9: Check current backup state");
        AssembleBackupState(m_state, m_view, m_state.NewestDisc, m_state.OldestCSV, true);
        if (!EmptyFolder(m_state.TempFolder))
            throw Error("Could not delete Temp directory.");
    }

    // Phase 3, against a copy: an error later in the run leaves BackupState whole.
    if (!m_state.CancelRequested) {
        startPhase("Phase 3 of 9: Check for new and changed files.");
        workingState = m_state.BackupState;
        const WalkLeftOut leftOut{.notBackedUp = [this](const std::string& path,
                                                        const std::string& reason) { noteNotBackedUp(path, reason); },
                                  .skippedByDesign = [this] { ++m_skippedByDesign; }};
        getFQFullList(
            m_state, m_view, [this](const std::string& path) { addToBackup(path); }, m_context.excludedFolders,
            leftOut);
        m_state.FullList.saveToFile(m_state.appFile("FullList.txt"));
        m_state.NewList.saveToFile(m_state.appFile("NewList.txt"));
    }

    // The estimate
    if (!m_state.CancelRequested) {
        m_state.WriteLog("Estimated backup size: " + std::to_string(estimatedBytes));
        const std::string estimate =
            discEstimateText(estimatedBytes, m_context.discMedia ? m_context.discMedia() : std::vector<DiscMedia>{});
        m_view.setText(Window::BackupProgress, Control::DiscCount, estimate);
        m_state.WriteLog(estimate);
    }

    // Phase 4
    if (!m_state.CancelRequested) {
        startPhase("Phase 4 of 9: Check backup disk OK");
        writeStagedDisc(false);
    }

    if (!m_state.CancelRequested)
        phase5();

    // Phase 6
    if (!m_state.CancelRequested) {
        showBackupProgress(m_view, {.caption = "Phase 6 of 9: Backup new and changed files.", .extraBar = 0});
        std::size_t position = 0;
        int resume = 0;
        packFiles(m_state.NewList, position, true, resume);
    }

    if (!m_state.CancelRequested)
        phase7();

    // The last disc
    if (!m_state.CancelRequested && m_state.StagedBytes > 0) {
        m_state.WriteLog("Treesize bigger than 0, so writing last bits.");
        writeStagedDisc(false);
    }
    m_working = false;

    // Whatever was packed but not burnt is discarded below: those files stay marked.
    restoreArchiveBits();
    phase8();
}

void BackupRun::phase5()
{
    showBackupProgress(m_view,
                       {.caption = "Phase 5 of 9: Completing previous backup files.", .phaseBar = 0, .extraBar = 0});
    currentKind = 'n';
    startWork();

    // The deletion record: what phase 3 did not match. Written and staged even when empty.
    const std::string name = NextArchiveName(m_state, m_view, 'd', 'd', m_context.clock);
    const std::string record = tempPath(name + ".csv");
    workingState.saveToFile(record);
    StageFile(m_state, m_view, record, m_stagedDigests);

    if (m_state.SplitVolumesDone > 0) {
        const std::string path = CatalogPath(m_state.SplitFileLine);
        std::size_t at = 0;
        if (!path.empty() && m_state.FullList.find(path, at)) {
            // Still selected and unchanged: the split goes on where the earlier discs end.
            m_state.RotationIndex = static_cast<int>(at);
            m_packTotal += platform::fileLength(path).value_or(0);
            ++m_work.filesTotal;
            SortedList single;
            single.add(path);
            std::size_t position = 0;
            packFiles(single, position, true, m_state.SplitVolumesDone);
            std::size_t again = 0;
            if (m_state.FullList.find(path, again))
                m_state.FullList.erase(again);
        } else {
            // Changed or no longer selected: a changed file is in NewList and goes whole.
            m_state.SplitVolumesDone = 0;
        }
    }
}

void BackupRun::phase7()
{
    currentKind = 'f';
    if (m_state.SplitVolumesDone <= 0)
        m_state.RotationIndex = rotationStartIndex(m_state.FullList, m_state.RotationPoint);
    showBackupProgress(m_view, {.caption = "Phase 7 of 9: Backup old files.", .extraBar = 0});
    // The rotation fills what room the disc has left, at most with every unchanged file.
    m_packTotal += std::clamp<int64_t>(m_state.DiscFreeBytes - m_state.StagedBytes, 0, m_unchangedBytes);
    showWork();
    std::size_t position = static_cast<std::size_t>(std::max(0, m_state.RotationIndex));
    if (position >= m_state.FullList.size())
        position = 0;
    int resume = 0;
    packFiles(m_state.FullList, position, false, resume);
}

void BackupRun::phase8()
{
    m_state.NewestDisc.clear();
    showBackupProgress(m_view, {.caption = "Phase 8 of 9: Updating current backup state."});
    AssembleBackupState(m_state, m_view, m_state.NewestDisc, m_state.OldestCSV, true);
    if (m_context.refreshRestore)
        m_context.refreshRestore();
    m_stagedDigests.discard(); // of what was packed but not burnt
    if (!EmptyFolder(m_state.TempFolder))
        throw Error("Could not delete Temp directory.");
    m_state.StagedFiles.clear();
    m_state.StagedBytes = 0;
}

// --- phase 3 ------------------------------------------------------------------------------

void BackupRun::addToBackup(const std::string& path)
{
    const std::size_t known = m_state.FullList.size() + m_state.NewList.size();
    const std::size_t all = known + workingState.size();
    if (all > 0) {
        const int position = static_cast<int>(static_cast<int64_t>(known) * 1000 / static_cast<int64_t>(all));
        showBackupProgress(m_view, {.phase = "File: " + path, .phaseBar = position});
    }
    const StateLookup entry = StateHasPath(workingState, path);
    if (!entry.found) {
        m_state.NewList.add(path);
        estimatedBytes += GetFileLength(m_view, path);
        return;
    }
    const std::string fresh = MakeCatalogLine(m_state, m_view, path, doMd5);
    const std::string& stored = workingState[entry.position];
    const std::size_t shorter = std::min(fresh.size(), stored.size());
    // A file that vanished since the walk gives no line; it is not taken for unchanged.
    const bool unchanged =
        !fresh.empty() && !m_context.archiveBits.isSet(path) && fresh.compare(0, shorter, stored, 0, shorter) == 0;
    if (unchanged) {
        m_state.FullList.add(path);
        m_unchangedBytes += std::max<int64_t>(CatalogSize(fresh), 0);
    } else {
        m_state.NewList.add(path);
        estimatedBytes += GetFileLength(m_view, path);
    }
    workingState.erase(entry.position);
}

// --- the work and the summary -------------------------------------------------------------

// From phase 5 on the phase bar measures the run's work: every byte of the files to back up
// is packed once and burnt once. The bytes to burn are not known before they are packed
// (deflate shrinks them); until then the bytes still to pack stand in for them.
void BackupRun::startWork()
{
    m_work.start();
    m_working = true;
    m_packTotal = estimatedBytes;
    m_packedBytes = m_filePackedBytes = m_packedAtStage = m_burntBytes = m_burningBytes = 0;
    m_work.filesTotal = static_cast<int64_t>(m_state.NewList.size());
    showWork();
}

void BackupRun::showWork()
{
    if (!m_working)
        return;
    const int64_t packed = m_packedBytes + m_filePackedBytes;
    const int64_t toPack = std::max(m_packTotal, packed);
    const int64_t burnt = m_burntBytes + m_burningBytes;
    // What is packed but not staged yet will be burnt too: its raw size stands in for it.
    const int64_t toBurn = m_burntBytes + m_state.StagedBytes + (packed - m_packedAtStage) + (toPack - packed);
    m_work.bytesDone = packed + burnt;
    m_work.bytesTotal = toPack + std::max(toBurn, burnt);
    // Rotation copies are not known in number beforehand: each adds one to both counts.
    m_work.filesTotal = std::max(m_work.filesTotal, m_work.filesDone);
    const std::string figures = "Backup: " + std::to_string(m_work.percent()) + "% · " + bytesText(packed) + " of "
        + bytesText(toPack) + " packed · " + bytesText(burnt) + " burnt · " + std::to_string(m_work.filesDone) + " of "
        + filesText(m_work.filesTotal);
    showBackupProgress(m_view, {.phaseBar = m_work.bar(), .figures = figures, .time = m_work.timeText()});
}

void BackupRun::fileHandled(const std::string& path, std::optional<int64_t> size)
{
    if (!m_working)
        return;
    m_packedBytes += size ? *size : platform::fileLength(path).value_or(0);
    m_filePackedBytes = 0;
    ++m_work.filesDone;
    showWork();
}

void BackupRun::burnProgress(int64_t written, int64_t total)
{
    if (total <= 0)
        return;
    m_burningBytes =
        static_cast<int64_t>(static_cast<double>(m_state.StagedBytes)
                             * std::clamp(static_cast<double>(written) / static_cast<double>(total), 0.0, 1.0));
    showWork();
}

void BackupRun::countStaged()
{
    m_packedAtStage = m_packedBytes + m_filePackedBytes;
    for (std::size_t i = 0; i < m_state.ArchiveCatalog.size(); ++i) {
        const int64_t bytes = std::max<int64_t>(CatalogSize(m_state.ArchiveCatalog[i]), 0);
        if (currentKind == 'f') {
            ++m_staged.repeatedFiles;
            m_staged.repeatedBytes += bytes;
        } else {
            ++m_staged.files;
            m_staged.bytes += bytes;
        }
    }
}

// What was staged is on a disc now and filed: it counts.
void BackupRun::discFiled()
{
    m_summary.files += m_staged.files;
    m_summary.bytes += m_staged.bytes;
    m_summary.repeatedFiles += m_staged.repeatedFiles;
    m_summary.repeatedBytes += m_staged.repeatedBytes;
    m_summary.discs.push_back(DiscId);
    m_staged = {};
    m_burntBytes += m_state.StagedBytes;
    m_burningBytes = 0;
}

// --- archive bits -------------------------------------------------------------------------

void BackupRun::clearArchiveBit(const std::string& path, const platform::FileIdentity& readFrom)
{
    if (m_context.archiveBits.isSet(path)) {
        m_context.archiveBits.clear(path, readFrom);
        m_clearedSinceBurn.push_back(path);
    }
}

void BackupRun::saveArchiveBits()
{
    if (!m_context.archiveBits.save())
        m_state.WriteLog("Could not save the record of backed-up files; they will be backed up again.");
}

void BackupRun::restoreArchiveBits()
{
    for (const auto& path : m_clearedSinceBurn)
        m_context.archiveBits.set(path);
    m_clearedSinceBurn.clear();
}

} // namespace torvinel
