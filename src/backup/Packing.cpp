// Disc packing: archives sized to the disc in the writer, split volumes for files over
// SplitVolumeSize, and the hand-over of full discs to the burn session.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>

#include "app/Error.h"
#include "app/FileHelpers.h"
#include "app/Progress.h"
#include "backup/BackupRun.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscNames.h"
#include "catalog/FileDigest.h"
#include "catalog/GetFileLength.h"
#include "catalog/MakeCatalogLine.h"
#include "catalog/StageFile.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

constexpr uint32_t AllFiles = 10431; // the attribute filter that lets every file pass

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

} // namespace

std::string BackupRun::tempPath(const std::string& name) const
{
    return platform::joinPath(m_s.TempFolder, name);
}

void BackupRun::saveCatalog(const std::string& path)
{
    m_s.ArchiveCatalog.saveToFile(path);
}

BackupRun::Tests BackupRun::testFile(const std::string& path, int64_t room)
{
    Tests t;
    t.rounded = RoundUpToSector(GetFileLength(m_v, path));
    t.needsSplitting = t.rounded > m_s.SplitVolumeSize;
    t.noRoom = t.needsSplitting ? room < m_s.SplitVolumeSize : room < t.rounded;
    return t;
}

void BackupRun::takeOut(SortedList& list, std::size_t& position)
{
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
    m_s.WriteLog(warning);
    ShowBackupProgress(m_v, "", "", "", warning, -1, -1);
    takeOut(list, position);
    return true;
}

void BackupRun::PackFiles(SortedList& list, std::size_t& position, bool ask, int& resume)
{
    while (!list.empty() && m_s.DiscFreeBytes > 0 && !m_s.CancelRequested) {
        if (position >= list.size())
            position = 0;
        if (skipUnreadable(list, position))
            continue;
        const std::string first = list[position];
        const char group = platform::groupLetter(first);
        m_s.ArchiveCatalog.clear();

        const std::string name = resume > 0 ? m_s.SplitArchiveName : NextArchiveName(m_s, m_v, group, CurrentKind, m_c.clock);
        const std::string fileName = tempPath(name + ".zip");
        const std::string catalogPath = tempPath(name + ".csv");

        const Tests alone = testFile(first, m_s.DiscFreeBytes - m_s.StagedBytes);
        if (alone.noRoom) {
            if (m_s.StagedFiles.empty() && !DiscId.empty()) {
                // Not even an empty disc of this size takes it; a further one would not either.
                const std::string warning = "Warning: Too large for an empty disk: " + first;
                m_s.WriteLog(warning);
                ShowBackupProgress(m_v, "", "", "", warning, -1, -1);
                takeOut(list, position);
                continue;
            }
            WriteStagedDisc(ask);
            continue;
        }

        if (alone.needsSplitting) {
            ShowBackupProgress(m_v, "", "File: " + first, "", "", -1, 0);
            const std::string line = MakeCatalogLine(m_s, m_v, first, true);
            if (!line.empty())
                m_s.ArchiveCatalog.add(line);
            AbandonSplit = false;
            m_c.ZF.setSpanningMode(smSplitting);
            m_c.ZF.FileName = fileName;
            m_c.ZF.ArchiveOpen(omCreate);
            m_c.ZF.BaseDir = driveOf(first);
            m_currentFile = first;
            m_currentFileSkipped = false;
            m_c.ZF.ArchiveAddFiles(belowDrive(first), AllFiles, "");
            clearArchiveBit(first);
            takeOut(list, position);
            m_c.ZF.ArchiveClose();
            if (AbandonSplit) {
                m_s.ArchiveCatalog.clear();
                platform::deleteFile(fileName);
                AbandonSplit = false;
            } else {
                saveCatalog(catalogPath);
                StageFile(m_s, m_v, fileName);
                StageFile(m_s, m_v, catalogPath);
            }
            resume = 0;
            continue;
        }

        // An ordinary archive: files of one drive, closed past SplitVolumeSize or 101 files.
        m_c.ZF.setSpanningMode(smNone);
        m_c.ZF.FileName = fileName;
        m_c.ZF.ArchiveOpen(omCreate);
        m_c.ZF.BaseDir = driveOf(first);
        for (;;) {
            bool endsArchive = false;
            if (!skipUnreadable(list, position)) {
                const std::string path = list[position];
                ShowBackupProgress(m_v, "", "File: " + path, "", "", -1, 0);
                const Tests t = testFile(path, m_s.DiscFreeBytes - m_s.StagedBytes - RoundUpToSector(m_c.ZF.ArchiveSize()));
                if (!t.needsSplitting && !t.noRoom) {
                    m_currentFile = path;
                    m_currentFileSkipped = false;
                    // Stamped before the read: a change while it is read shows next run.
                    const std::optional<platform::Stamp> stamp = platform::lastWriteStamp(path);
                    m_digest.reset();
                    m_digested = 0;
                    m_c.ZF.ArchiveAddFiles(belowDrive(path), AllFiles, "");
                    if (m_currentFileSkipped || !stamp) {
                        const std::string warning = "Warning: Could not read file " + path;
                        m_s.WriteLog(warning);
                        ShowBackupProgress(m_v, "", "", "", warning, -1, -1);
                    } else {
                        clearArchiveBit(path);
                        m_s.ArchiveCatalog.add(formatCatalogLine(path, *stamp, m_digested, DigestHex(m_digest.final())));
                    }
                    takeOut(list, position);
                } else {
                    endsArchive = true;
                }
            }
            if (endsArchive || list.empty() || m_c.ZF.ArchiveSize() > m_s.SplitVolumeSize ||
                m_c.ZF.ArchiveFileCount() > 100 || platform::groupLetter(list[position]) != group ||
                m_s.CancelRequested)
                break;
        }
        m_c.ZF.ArchiveClose();
        if (m_s.ArchiveCatalog.empty()) {
            platform::deleteFile(fileName); // every file of it turned out unreadable
            continue;
        }
        saveCatalog(catalogPath);
        StageFile(m_s, m_v, fileName);
        StageFile(m_s, m_v, catalogPath);
    }
}

void BackupRun::WriteStagedDisc(bool ask)
{
    if (m_s.DiscFreeBytes != 0)
        ShowBackupProgress(m_v, "", "Writing disk:", "", "", 0, 0);
    int32_t status = 2;
    m_c.WritetoDisc(DiscId, m_s.DiscFreeBytes, status);
    if (status != 0 && status != 1) {
        char text[64];
        std::snprintf(text, sizeof text, "Could not write to media. WriteStatus %d", status);
        throw Error(text);
    }
    if (!DiscId.empty()) {
        if (status == 0) {
            const std::string folder = platform::joinPath(m_s.DatabaseFolder, DiscId);
            if (!platform::folderExists(folder) && !platform::createFolder(folder))
                throw Error("Could not create " + folder);
            while (!m_s.StagedFiles.empty()) {
                const std::string staged = m_s.StagedFiles.front();
                if (endsWithCsv(staged))
                    platform::copyFile(staged, platform::joinPath(folder, fileNameOf(staged)));
                if (!platform::deleteFile(staged)) {
                    m_s.WriteLog("Could not delete file: " + staged);
                    throw Error("Could not delete file in temp dir.");
                }
                m_s.StagedFiles.erase(m_s.StagedFiles.begin());
            }
            const auto statusIni = platform::listFolder(m_s.TempFolder, "status.ini");
            if (!statusIni.empty())
                platform::copyFile(platform::joinPath(m_s.TempFolder, statusIni.front().name),
                                   platform::joinPath(folder, "STATUS.INI"));
            // The files of this disc are on it now: their cleared bits stand.
            m_clearedSinceBurn.clear();
            m_c.archiveBits.save();
        } else {
            restoreArchiveBits(); // the staged copies are thrown away below
        }
        m_s.StagedFiles.clear();
        m_s.StagedBytes = 0;
        if (!EmptyFolder(m_s.TempFolder))
            throw Error("Could not delete Temp directory.");
    } else {
        DiscId = NextDiscId(m_s, m_v, m_c.clock);
    }
    if (m_s.DiscFreeBytes == 0 && ask && !m_s.CancelRequested) {
        DiscId.clear();
        int32_t ignored = 2;
        m_c.WritetoDisc(DiscId, m_s.DiscFreeBytes, ignored);
        DiscId = NextDiscId(m_s, m_v, m_c.clock);
    }
}

// --- the archive engine's events -----------------------------------------------------------

void BackupRun::ZFRequestBlankVolume(int volumeNumber, const std::string& volumeFileName)
{
    if (volumeNumber > 1) {
        if (volumeNumber <= m_s.SplitVolumesDone + 1 || AbandonSplit) {
            platform::deleteFile(LastVolumeName); // already on an earlier disc, or no disc for it
        } else {
            m_s.SplitVolumesDone = 0;
            std::string catalog = LastVolumeName;
            const std::size_t dot = catalog.find_last_of('.');
            const std::size_t cut = catalog.find_last_of(platform::pathSeparator());
            if (dot != std::string::npos && (cut == std::string::npos || dot > cut))
                catalog.erase(dot);
            catalog = tempPath(fileNameOf(catalog) + ".csv");
            saveCatalog(catalog);
            StageFile(m_s, m_v, LastVolumeName);
            StageFile(m_s, m_v, catalog);
            if (m_s.DiscFreeBytes - m_s.StagedBytes < m_s.SplitVolumeSize) {
                WriteStagedDisc(CurrentKind == 'n');
                if (m_s.DiscFreeBytes == 0)
                    AbandonSplit = true;
            }
        }
    }
    LastVolumeName = volumeFileName;
    m_v.processEvents();
}

void BackupRun::ZFProcessFileFailure(const std::string& fileName, int errorCode, const std::string& errorMessage,
                                     TZipAction& action)
{
    // The file went away or lost its permissions since it was tested: skipped, not fatal.
    const platform::FileAccess access = fileName.empty() ? platform::FileAccess::Free : platform::testFileAccess(fileName);
    if (m_c.ZF.SpanningMode() == smNone &&
        (access == platform::FileAccess::Unreadable || access == platform::FileAccess::Missing)) {
        m_currentFileSkipped = true;
        action = fxaIgnore;
        return;
    }
    throw Error("Error: " + errorMessage + " errorcode :" + std::to_string(errorCode));
}

void BackupRun::ZFFileProgress(double progress, TZipProgressOperation operation)
{
    if (operation != poAdd)
        return;
    const long tenths = std::clamp(std::lround(progress * 10.0), 0L, 1000L);
    if (tenths != 1000)
        ShowBackupProgress(m_v, "", "", "", "", -1, static_cast<int>(tenths));
}

} // namespace torvinel
