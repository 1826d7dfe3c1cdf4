// Disc packing: archives sized to the disc in the writer, split volumes for files over
// SplitVolumeSize, and the hand-over of full discs to the burn session.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

#include "app/Error.h"
#include "app/FileHelpers.h"
#include "app/Progress.h"
#include "backup/BackupRun.h"
#include "backup/DiscIndex.h"
#include "backup/RecoveryStaging.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscFiling.h"
#include "catalog/DiscNames.h"
#include "catalog/FileDigest.h"
#include "catalog/GetFileLength.h"
#include "catalog/Md5.h"
#include "catalog/StageFile.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

bool endsWithCsv(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".csv";
}

std::string fileNameOf(const std::string& path)
{
    const std::size_t cut = path.find_last_of(platform::pathSeparator());
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The drive a path lies on, as the engine's BaseDir ("C:" on Windows, "/" on POSIX), and the
// path below it.
std::string driveOf(const std::string& path)
{
    const std::size_t prefix = platform::drivePrefixLength();
    return prefix > 1 ? path.substr(0, prefix - 1) : path.substr(0, prefix);
}

std::string belowDrive(const std::string& path)
{
    return path.substr(std::min(path.size(), platform::drivePrefixLength()));
}

// Files read ahead of the one being added: enough that the deflate workers always find the
// next file read, small files included; few enough bytes to keep memory small.
constexpr std::size_t ReadAheadFiles = 32;
constexpr uint64_t ReadAheadBytes = uint64_t{32} << 20;

} // namespace

std::string BackupRun::tempPath(const std::string& name) const { return platform::joinPath(m_state.TempFolder, name); }

// The disc is burnt: its catalogs are what a restore finds it by. A copy that failed would
// leave the disc unknown to the database, so the run fails instead of reporting success.
void BackupRun::fileIntoDatabase(const std::string& source, const DiscFiling& filing, const std::string& name)
{
    if (!platform::copyFile(source, platform::joinPath(filing.folder(), name)))
        throw Error("Could not copy " + source + " to " + filing.target());
}

// The burnt disc's catalogs and STATUS.INI go into the database in one step.
void BackupRun::fileDisc()
{
    DiscFiling filing(m_state.DatabaseFolder, DiscId);
    std::vector<std::string> catalogs;
    for (const auto& staged : m_state.StagedFiles)
        if (endsWithCsv(staged)) {
            fileIntoDatabase(staged, filing, fileNameOf(staged));
            catalogs.push_back(fileNameOf(staged));
        }
    const auto statusIni = platform::listFolder(m_state.TempFolder, "status.ini");
    if (!statusIni.empty())
        fileIntoDatabase(platform::joinPath(m_state.TempFolder, statusIni.front().name), filing, "STATUS.INI");
    filing.commit();
    for (const auto& catalog : catalogs)
        noteFiledCatalog(m_state, catalog);
    m_writtenDiscs.push_back(DiscId);
    discFiled();
    m_writerHoldsWritten = m_state.DiscFreeBytes != 0; // a full disc has been ejected
    // The files of this disc are on it now: their cleared bits stand.
    m_clearedSinceBurn.clear();
    // Saved now so that a crash later keeps them; a failure is met again, and logged, by the
    // save at the end of the run, and costs only a second copy of those files.
    static_cast<void>(m_context.archiveBits.save());
}

// Whatever lies in TempFolder is burnt onto the next disc, so a file that must not go there
// and cannot be deleted ends the run. A file that is not there is fine.
void BackupRun::discardFromTemp(const std::string& path)
{
    if (platform::deleteFile(path) || !platform::fileExists(path))
        return;
    m_state.WriteLog("Could not delete file: " + path);
    throw Error("Could not delete file in temp dir.");
}

void BackupRun::saveCatalog(const std::string& path) { m_state.ArchiveCatalog.saveToFile(path); }

BackupRun::Tests BackupRun::testFile(const std::string& path, int64_t room)
{
    return testLength(GetFileLength(m_view, path), room);
}

BackupRun::Tests BackupRun::testLength(int64_t length, int64_t room) const
{
    Tests t;
    t.rounded = roundUpToSector(length);
    t.needsSplitting = t.rounded > m_state.SplitVolumeSize;
    t.needed = t.needsSplitting ? m_state.SplitVolumeSize : t.rounded;
    t.noRoom = room < t.needed;
    return t;
}

// A file over SplitVolumeSize needs a volume's room on each disc, so only a disc smaller than
// that cannot take it; any other file needs its whole size on one disc.
bool BackupRun::tooLargeForEmptyDisc(const Tests& tests) const
{
    return m_emptyDiscBytes > 0 && tests.needed > m_emptyDiscBytes;
}

void BackupRun::takeOut(SortedList& list, std::size_t& position, std::optional<int64_t> size)
{
    fileHandled(list[position], size);
    list.erase(position);
    if (position >= list.size())
        position = 0;
}

// A file that cannot be read now (permission denied, deleted since phase 3) is left for the
// next run instead of ending this one: no catalog line, so it is tried again.
bool BackupRun::skipUnreadable(SortedList& list, std::size_t& position)
{
    const std::string path = list[position];
    const platform::FileAccess access = platform::testFileAccess(path);
    if (access != platform::FileAccess::Unreadable && access != platform::FileAccess::Missing)
        return false;
    const std::string warning = "Warning: Could not read file " + path;
    m_state.WriteLog(warning);
    showBackupProgress(m_view, {.message = warning});
    // A file deleted meanwhile is not missed: the next run records it as deleted.
    if (access == platform::FileAccess::Unreadable)
        noteNotBackedUp(path, "could not be read");
    takeOut(list, position);
    return true;
}

void BackupRun::packFiles(SortedList& list, std::size_t& position, bool ask, int& resume)
{
    while (!list.empty() && m_state.DiscFreeBytes > 0 && !m_state.CancelRequested) {
        if (position >= list.size())
            position = 0;
        if (skipUnreadable(list, position))
            continue;
        const std::string first = list[position];
        m_state.ArchiveCatalog.clear();

        const std::string name = resume > 0
            ? m_state.SplitArchiveName
            : NextArchiveName(m_state, m_view, platform::groupLetter(first), currentKind, m_context.clock);
        const std::string fileName = tempPath(name + ".zip");
        const std::string catalogPath = tempPath(name + ".csv");

        const Tests alone = testFile(first, m_state.DiscFreeBytes - m_state.StagedBytes);
        if (alone.noRoom) {
            // Found out from the blank disc's room, not by burning what is staged first.
            if (tooLargeForEmptyDisc(alone) || (m_state.StagedFiles.empty() && !DiscId.empty()))
                skipTooLarge(list, position);
            else
                writeStagedDisc(ask);
        } else if (alone.needsSplitting) {
            packSplitFile(list, position, fileName, catalogPath);
            resume = 0;
        } else {
            packArchive(list, position, fileName, catalogPath);
        }
    }
}

// Not even an empty disc of this size takes the file; a further one would not either.
void BackupRun::skipTooLarge(SortedList& list, std::size_t& position)
{
    const std::string warning = "Warning: Too large for an empty disk: " + list[position];
    m_state.WriteLog(warning);
    showBackupProgress(m_view, {.message = warning});
    noteNotBackedUp(list[position], "too large for an empty disc");
    takeOut(list, position);
}

// The file at position, over SplitVolumeSize, alone in a split archive whose volumes the
// engine asks for one by one (onRequestBlankVolume stages and burns them as discs fill).
void BackupRun::packSplitFile(SortedList& list, std::size_t& position, const std::string& fileName,
                              const std::string& catalogPath)
{
    const std::string first = list[position];
    showBackupProgress(m_view, {.phase = "File: " + first, .extraBar = 0});
    abandonSplit = false;
    m_context.ZF.setSpanningMode(ZipSpanningMode::Splitting);
    m_context.ZF.fileName = fileName;
    m_context.ZF.open(ZipOpenMode::Create);
    m_context.ZF.baseDir = driveOf(first);
    // The engine reads the whole file before it writes the volumes after the first: the line
    // that finishRead puts into the catalog is there for every volume's copy of it.
    beginRead(first);
    m_context.ZF.addFiles(belowDrive(first), ZipAllAttributes, "");
    takeOut(list, position);
    m_context.ZF.close();
    if (m_changedWhileRead || m_readLine.empty()) {
        // The engine stopped before the first volume got any of it, or found no file to read.
        m_state.ArchiveCatalog.clear();
        discardFromTemp(lastVolumeName);
        discardFromTemp(fileName);
        leaveOutChanged(first);
        return;
    }
    clearArchiveBit(first, *m_readFrom);
    if (abandonSplit) {
        m_state.ArchiveCatalog.clear();
        discardFromTemp(fileName);
        abandonSplit = false;
    } else {
        stageArchive(fileName, catalogPath);
    }
}

// An ordinary archive: files of one drive from position on, closed past SplitVolumeSize or
// 101 files, or at a file that needs splitting or finds no room.
void BackupRun::packArchive(SortedList& list, std::size_t& position, const std::string& fileName,
                            const std::string& catalogPath)
{
    const std::string first = list[position];
    const char group = platform::groupLetter(first);
    m_context.ZF.setSpanningMode(ZipSpanningMode::None);
    m_context.ZF.fileName = fileName;
    m_context.ZF.open(ZipOpenMode::Create);
    m_context.ZF.baseDir = driveOf(first);
    int64_t archiveBytes = m_context.ZF.size(); // asked again only after an add may have grown it
    for (;;) {
        bool endsArchive = false;
        // A file read ahead that is still as that read found it was found free and readable
        // then, and its length is the read's: it is not tested again.
        std::optional<ReadAhead> ahead = takeReadAhead(list[position]);
        const bool unchanged = ahead && ahead->prepared && ahead->stamp && !ahead->changed
            && platform::fileIdentity(ahead->path) == ahead->readFrom;
        if (unchanged || !skipUnreadable(list, position)) {
            const std::string path = list[position];
            showBackupProgress(m_view, {.phase = "File: " + path, .extraBar = 0});
            const int64_t room = m_state.DiscFreeBytes - m_state.StagedBytes - roundUpToSector(archiveBytes);
            const Tests t = unchanged ? testLength(ahead->readFrom->size, room) : testFile(path, room);
            if (!t.needsSplitting && !t.noRoom) {
                readAhead(list, position);
                if (unchanged) {
                    addReadAhead(*ahead, list, position);
                } else if (ahead && ahead->changed) {
                    leaveOutChanged(path);
                    takeOut(list, position);
                } else {
                    addFile(list, position); // also a file that changed since its read-ahead
                }
            } else {
                endsArchive = true;
                if (ahead)
                    m_ahead.push_front(std::move(*ahead)); // for the archive that takes it
            }
        }
        archiveBytes = m_context.ZF.size();
        if (endsArchive || list.empty() || archiveBytes > m_state.SplitVolumeSize || m_context.ZF.fileCount() > 100
            || platform::groupLetter(list[position]) != group || m_state.CancelRequested)
            break;
    }
    m_context.ZF.close();
    if (m_state.ArchiveCatalog.empty()) {
        discardFromTemp(fileName); // every file of it turned out unreadable
        return;
    }
    stageArchive(fileName, catalogPath);
}

// Adds the file at position to the open archive with its catalog line, digested from the
// read that packs it, and takes it out of list. A file that could not be read is left for
// the next run.
void BackupRun::addFile(SortedList& list, std::size_t& position)
{
    const std::string path = list[position];
    std::optional<int64_t> packed;
    beginRead(path);
    m_context.ZF.addFiles(belowDrive(path), ZipAllAttributes, "");
    if (m_changedWhileRead) {
        leaveOutChanged(path);
    } else if (m_currentFileSkipped || m_readLine.empty()) {
        leaveOutUnreadable(path);
    } else {
        clearArchiveBit(path, *m_readFrom);
        m_state.ArchiveCatalog.add(m_readLine);
        packed = m_readFrom->size;
    }
    takeOut(list, position, packed);
}

void BackupRun::readAhead(const SortedList& list, std::size_t position)
{
    if (m_state.CancelRequested) {
        m_ahead.clear();
        return;
    }
    // Kept: what was read ahead of the files that still follow position, in order.
    std::size_t kept = 0;
    while (kept < m_ahead.size() && kept + 1 < list.size()
           && m_ahead[kept].path == list[(position + 1 + kept) % list.size()])
        ++kept;
    m_ahead.resize(kept);
    const char group = platform::groupLetter(list[position]);
    while (m_ahead.size() < ReadAheadFiles && m_ahead.size() + 1 < list.size() && aheadBytes() < ReadAheadBytes) {
        const std::string next = list[(position + 1 + m_ahead.size()) % list.size()];
        // Only what the next adds would read at once: no split file, nothing that waits for
        // the user (a busy file), no other drive (the entry names hang on the archive's drive).
        if (platform::groupLetter(next) != group)
            return;
        beginRead(next);
        if (!m_readFrom || roundUpToSector(m_readFrom->size) > m_state.SplitVolumeSize
            || platform::testFileAccess(next) != platform::FileAccess::Free)
            return;
        ReadAhead ahead;
        ahead.path = next;
        ahead.digest = std::make_shared<Md5Digest>();
        {
            // The reading thread goes on to the next file while a worker digests this one.
            struct OnWorker {
                bool& flag;
                explicit OnWorker(bool& f) : flag(f) { flag = true; }
                ~OnWorker() { flag = false; }
            } onWorker(m_digestOnWorker);
            ahead.prepared = m_context.ZF.prepareFile(
                belowDrive(next), [digest = ahead.digest](const std::vector<unsigned char>& content) {
                    *digest = md5(content.data(), content.size());
                });
        }
        ahead.readFrom = m_readFrom;
        if (m_readWhole)
            ahead.stamp = m_readStamp;
        ahead.size = m_digested;
        ahead.changed = m_changedWhileRead;
        m_ahead.push_back(std::move(ahead));
    }
}

uint64_t BackupRun::aheadBytes() const
{
    uint64_t bytes = 0;
    for (const ReadAhead& ahead : m_ahead)
        bytes += ahead.readFrom ? static_cast<uint64_t>(ahead.readFrom->size) : 0;
    return bytes;
}

std::optional<BackupRun::ReadAhead> BackupRun::takeReadAhead(const std::string& path)
{
    while (!m_ahead.empty() && m_ahead.front().path != path)
        m_ahead.pop_front();
    if (m_ahead.empty())
        return std::nullopt;
    std::optional<ReadAhead> ahead = std::move(m_ahead.front());
    m_ahead.pop_front();
    return ahead;
}

void BackupRun::addReadAhead(ReadAhead& ahead, SortedList& list, std::size_t& position)
{
    const std::string& path = ahead.path;
    m_currentFile = path;
    m_currentFileSkipped = false;
    if (!m_context.ZF.addPrepared(*ahead.prepared)) {
        leaveOutUnreadable(path);
        takeOut(list, position);
        return;
    }
    clearArchiveBit(path, *ahead.readFrom);
    // The entry is written: the worker has made its digest.
    m_state.ArchiveCatalog.add(formatCatalogLine(path, *ahead.stamp, ahead.size, DigestHex(*ahead.digest)));
    takeOut(list, position, ahead.readFrom->size);
}

void BackupRun::leaveOutUnreadable(const std::string& path)
{
    const std::string warning = "Warning: Could not read file " + path;
    m_state.WriteLog(warning);
    showBackupProgress(m_view, {.message = warning});
    if (platform::testFileAccess(path) != platform::FileAccess::Missing)
        noteNotBackedUp(path, "could not be read");
}

void BackupRun::beginRead(const std::string& path)
{
    m_currentFile = path;
    m_currentFileSkipped = false;
    m_changedWhileRead = false;
    m_readLine.clear();
    m_readWhole = false;
    m_readFrom = platform::fileIdentity(path);
    m_readStamp.reset();
    if (m_readFrom)
        m_readStamp = platform::lastWriteStamp(*m_readFrom);
    m_digest.reset();
    m_digested = 0;
}

bool BackupRun::finishRead()
{
    // Equal identities before and after the read: what was read is the file of the stamp.
    const std::optional<platform::FileIdentity> now = platform::fileIdentity(m_currentFile);
    if (!m_readFrom || !m_readStamp || now != m_readFrom) {
        m_changedWhileRead = true;
        return false;
    }
    m_readWhole = true;
    if (m_digestOnWorker)
        return true; // the line waits for the digest
    m_readLine = formatCatalogLine(m_currentFile, *m_readStamp, m_digested, DigestHex(m_digest.final()));
    if (m_context.ZF.spanningMode() == ZipSpanningMode::Splitting)
        m_state.ArchiveCatalog.add(m_readLine); // saved with each volume from here on
    return true;
}

void BackupRun::leaveOutChanged(const std::string& path)
{
    // Set explicitly rather than left to what the file system noted of the write: the next
    // run must take the file for new.
    m_context.archiveBits.set(path);
    const std::string warning = "Warning: File changed while it was read: " + path;
    m_state.WriteLog(warning);
    showBackupProgress(m_view, {.message = warning});
    // A file deleted meanwhile is recorded as deleted by the next run; it was not left out.
    if (platform::testFileAccess(path) != platform::FileAccess::Missing)
        noteNotBackedUp(path, "changed while it was read");
}

// A closed archive and its catalog go into what the next burn writes.
void BackupRun::stageArchive(const std::string& fileName, const std::string& catalogPath)
{
    countStaged();
    saveCatalog(catalogPath);
    StageFile(m_state, m_view, fileName, m_stagedDigests);
    StageFile(m_state, m_view, catalogPath, m_stagedDigests);
}

void BackupRun::writeStagedDisc(bool ask)
{
    if (m_state.DiscFreeBytes != 0)
        showBackupProgress(
            m_view, {.phase = "Writing disk:", .phaseBar = m_working ? std::nullopt : std::optional(0), .extraBar = 0});
    m_stagedDigests.writeAll(); // the burn puts status.ini on the disc, and the recovery data reads it
    std::optional<RecoveryWriter> recovery;
    if (!DiscId.empty())
        startRecovery(recovery);
    const BurnOutcome outcome = m_context.burnDisc(DiscId, m_state.DiscFreeBytes);
    if (recovery)
        recovery->finish(); // its own failure, before what it made of the burn
    // Only a burn that went through (Done) wrote the disc; any other end stops the run, and
    // nothing of it is filed.
    if (outcome != BurnOutcome::Done)
        m_state.CancelRequested = true;
    if (!DiscId.empty()) {
        if (outcome == BurnOutcome::Done)
            fileDisc();
        else
            restoreArchiveBits(); // the staged copies are thrown away below
        m_state.StagedFiles.clear();
        m_state.StagedBytes = 0;
        if (!EmptyFolder(m_state.TempFolder))
            throw Error("Could not delete Temp directory.");
    } else {
        m_writerHoldsWritten = false; // a blank disc was measured
        if (outcome == BurnOutcome::Done)
            m_emptyDiscBytes = m_state.DiscFreeBytes;
        beginDisc();
    }
    if (m_state.DiscFreeBytes == 0 && ask && !m_state.CancelRequested) {
        DiscId.clear();
        // A cancelled measure has set CancelRequested, which the run looks at next.
        if (m_context.burnDisc(DiscId, m_state.DiscFreeBytes) == BurnOutcome::Done)
            m_emptyDiscBytes = m_state.DiscFreeBytes;
        beginDisc();
    }
}

// A new disc: its number, and the index of the database, whose room packing then leaves
// free. The backup comes first: an index that would leave less than half of the disc, or
// less than one volume of a split file, stays off it.
void BackupRun::beginDisc()
{
    DiscId = NextDiscId(m_state, m_view, m_context.clock);
    const int64_t bytes = writeDiscIndex(m_state, m_state.TempFolder, DiscId);
    const int64_t room = m_state.DiscFreeBytes;
    const auto leavesEnough = [&](int64_t left) { return left >= room / 2 && left >= m_state.SplitVolumeSize; };
    if (leavesEnough(room - bytes)) {
        m_state.DiscFreeBytes = room - bytes;
    } else {
        m_state.WriteLog("The index of the database (" + std::to_string(bytes)
                         + " bytes) leaves too little room on disc " + DiscId + "; it is written without one.");
        if (!platform::deleteFolder(tempPath(DiscIndexFolder)))
            throw Error("Could not delete Temp directory.");
    }
    // The recovery data's room is kept as the index's is; startRecovery fills it.
    m_recoveryRoom = recoveryReserve(m_state.DiscFreeBytes, m_state.RecoveryPercent);
    if (m_recoveryRoom > 0 && leavesEnough(m_state.DiscFreeBytes - m_recoveryRoom))
        m_state.DiscFreeBytes -= m_recoveryRoom;
    else if (m_recoveryRoom > 0)
        m_recoveryRoom = 0;
}

// The disc's recovery data, over everything staged for it, in the room kept for it and what
// packing left unused. It is written while the burn writes the rest of the disc.
void BackupRun::startRecovery(std::optional<RecoveryWriter>& writer)
{
    if (m_recoveryRoom <= 0)
        return;
    const int64_t roomLeft = m_state.DiscFreeBytes + m_recoveryRoom - m_state.StagedBytes;
    std::optional<RecoveryPlan> plan = planRecoveryData(m_state.TempFolder, m_state.RecoveryPercent, roomLeft,
                                                        [this](const std::string& line) { m_state.WriteLog(line); });
    if (!plan)
        return;
    m_state.WriteLog("Recovery data: " + std::to_string(plan->bytes) + " bytes");
    writer.emplace(m_state.TempFolder, std::move(*plan));
}

// --- the archive engine's events -----------------------------------------------------------

void BackupRun::onRequestBlankVolume(int volumeNumber, const std::string& volumeFileName)
{
    if (volumeNumber > 1) {
        if (volumeNumber <= m_state.SplitVolumesDone + 1 || abandonSplit) {
            discardFromTemp(lastVolumeName); // already on an earlier disc, or no disc for it
        } else {
            m_state.SplitVolumesDone = 0;
            std::string catalog = lastVolumeName;
            const std::size_t dot = catalog.find_last_of('.');
            const std::size_t cut = catalog.find_last_of(platform::pathSeparator());
            if (dot != std::string::npos && (cut == std::string::npos || dot > cut))
                catalog.erase(dot);
            catalog = tempPath(fileNameOf(catalog) + ".csv");
            saveCatalog(catalog);
            StageFile(m_state, m_view, lastVolumeName, m_stagedDigests);
            StageFile(m_state, m_view, catalog, m_stagedDigests);
            if (m_state.DiscFreeBytes - m_state.StagedBytes < m_state.SplitVolumeSize) {
                writeStagedDisc(currentKind == 'n');
                // No disc for the volumes still to come: no further one, or the run stops.
                if (m_state.DiscFreeBytes == 0 || m_state.CancelRequested)
                    abandonSplit = true;
            }
        }
    }
    lastVolumeName = volumeFileName;
    m_view.processEvents();
}

void BackupRun::onProcessFileFailure(const std::string& fileName, int errorCode, const std::string& errorMessage,
                                     ZipFailureAction& action)
{
    // The file went away or lost its permissions since it was tested: skipped, not fatal.
    const platform::FileAccess access =
        fileName.empty() ? platform::FileAccess::Free : platform::testFileAccess(fileName);
    if (m_context.ZF.spanningMode() == ZipSpanningMode::None
        && (access == platform::FileAccess::Unreadable || access == platform::FileAccess::Missing)) {
        m_currentFileSkipped = true;
        action = ZipFailureAction::Ignore;
        return;
    }
    throw Error("Error: " + errorMessage + " errorcode :" + std::to_string(errorCode));
}

void BackupRun::onFileProgress(double progress, ZipOperation operation)
{
    if (operation != ZipOperation::Add)
        return;
    const long tenths = std::clamp(std::lround(progress * 10.0), 0L, 1000L);
    // A file's start is always shown; its middle at most every 50 ms (the engine reports
    // every buffer, and each report lets pending events run).
    const bool shown = tenths == 0 || m_progressPacer.due();
    if (tenths != 1000 && shown) {
        showBackupProgress(
            m_view,
            {.extra = "Current file: " + std::to_string(tenths / 10) + "%", .extraBar = static_cast<int>(tenths)});
        if (m_readFrom)
            m_filePackedBytes = m_readFrom->size * tenths / 1000;
        showWork();
    }
}

} // namespace torvinel
