#include "archive/ZipArchive.h"

#include <algorithm>
#include <optional>

#include "archive/internal/ZipArchiveShared.h"
#include "archive/internal/ZipIo.h"
#include "archive/ZipNames.h"
#include "archive/internal/ZipReader.h"
#include "archive/internal/WholeDeflater.h"
#include "archive/internal/ZipWriter.h"

// The engine's settings, failure handling, opening and closing. Adding, split archives and
// extracting live in ZipArchiveAdd.cpp, ZipArchiveSplit.cpp and ZipArchiveExtract.cpp.
namespace torvinel {

using namespace zipformat;
using namespace zipengine;

ZipArchive::ZipArchive()
    : noCompressionMasks{"*.gif", "*.jpg", "*.png",  "*.mp3", "*.flac", "*.ogg", "*.wmv",
                         "*.avi", "*.mpg", "*.mpeg", "*.mp4", "*.mov",  "*.zip"}
{
}

ZipArchive::~ZipArchive()
{
    try {
        close();
    } catch (...) {
        // A destructor cannot report; callers that care close explicitly.
    }
}

// --- settings -------------------------------------------------------------------------------

ZipCompressionLevel ZipArchive::compressionLevel() const
{
    if (m_compressionMode == 0)
        return ZipCompressionLevel::None;
    if (m_compressionMode <= 3)
        return ZipCompressionLevel::Fastest;
    if (m_compressionMode <= 6)
        return ZipCompressionLevel::Normal;
    return ZipCompressionLevel::Max;
}

void ZipArchive::setCompressionLevel(ZipCompressionLevel level)
{
    static const int modes[] = {0, 1, 6, 9};
    m_compressionMode = modes[static_cast<int>(level)];
}

void ZipArchive::setCompressionMode(int mode)
{
    if (mode < 0 || mode > 9)
        throw Error("Invalid compression mode. Mode must be in [0-9] range");
    m_compressionMode = mode;
}

void ZipArchive::setSpanningMode(ZipSpanningMode mode)
{
    if (m_open)
        throw Error("Cannot set spanning mode on open archive");
    m_spanningMode = mode;
}

// --- failures and events --------------------------------------------------------------------

void ZipArchive::raise(ZipErrorKind kind, const std::string& path) const { throw ZipError(componentName, kind, path); }

void ZipArchive::requireOpen() const
{
    if (!m_open)
        raise(ZipErrorKind::ArchiveNotOpen);
}

bool ZipArchive::attempt(const std::function<void()>& work, const std::string& fileName, ZipOperation operation,
                         const std::function<void()>& cleanup)
{
    for (;;) {
        try {
            work();
            return true;
        } catch (const ZipFault& fault) {
            if (cleanup)
                cleanup();
            const ZipFailureAction action = reportFailure(fault, fileName, operation);
            if (action == ZipFailureAction::Retry)
                continue;
            if (action == ZipFailureAction::Ignore)
                return false;
            raise(fault.kind, fault.path);
        }
    }
}

ZipFailureAction ZipArchive::reportFailure(const ZipFault& fault, const std::string& fileName, ZipOperation operation)
{
    if (!onProcessFileFailure)
        return ZipFailureAction::Abort;
    const ZipErrorInfo& info = zipErrorInfo(fault.kind);
    ZipFailureAction action = ZipFailureAction::Abort;
    onProcessFileFailure(*this, fileName, operation, info.nativeError, info.errorCode,
                         zipErrorMessage(componentName, fault.kind, fault.path), action);
    return action;
}

bool ZipArchive::progress(const std::string& entryName, double percent, ZipOperation operation, ZipProgressPhase phase)
{
    if (!onFileProgress)
        return true;
    bool cancel = false;
    onFileProgress(*this, withPlatformSeparators(entryName), percent, operation, phase, cancel);
    return !cancel;
}

int ZipArchive::deflateLevel() const { return m_compressionMode; }

zipwriter::DataEncoder& ZipArchive::encoder()
{
    if (!m_encoder || m_encoder->level() != deflateLevel())
        m_encoder = std::make_unique<zipwriter::DataEncoder>(deflateLevel());
    return *m_encoder;
}

bool ZipArchive::storedByMask(const std::string& path) const
{
    return std::any_of(noCompressionMasks.begin(), noCompressionMasks.end(),
                       [&](const std::string& mask) { return zipnames::wildcardMatch(path, mask); });
}

// --- open and close -------------------------------------------------------------------------

void ZipArchive::resetState()
{
    m_extractSession.reset(); // it reads m_file
    m_open = false;
    m_readOnly = false;
    m_split = false;
    m_splitFinished = false;
    m_hasDirectory = false;
    m_file.reset();
    m_entries.clear();
    forgetCentralHeaders();
    m_dataEnd = 0;
    m_lastDisk = 0;
    m_volumeNumber = 0;
    m_volumePath.clear();
}

void ZipArchive::open(ZipOpenMode mode)
{
    std::lock_guard guard(engineLock());
    if (m_open)
        close();
    if (fileNameOf(fileName).empty())
        raise(ZipErrorKind::FileNameBlank);
    m_path = fileName;
    try {
        if (mode == ZipOpenMode::Create
            || platform::fileStatus(m_path, platform::Links::Follow).kind == platform::FileKind::Missing)
            createArchive();
        else
            openExisting();
    } catch (...) {
        resetState();
        throw;
    }
    m_open = true;
}

void ZipArchive::createArchive()
{
    m_entries.clear();
    forgetCentralHeaders();
    m_dataEnd = 0;
    m_hasDirectory = false;
    if (m_spanningMode == ZipSpanningMode::Splitting) {
        m_split = true;
        m_volumeNumber = 0;
        startVolume();
        return;
    }
    m_file = platform::File::open(m_path, platform::FileMode::Create);
    if (!m_file.isOpen())
        raise(ZipErrorKind::CannotCreateFile, m_path);
}

void ZipArchive::openExisting()
{
    const platform::FileStatus status = platform::fileStatus(m_path, platform::Links::Follow);
    if (status.kind != platform::FileKind::Regular)
        raise(ZipErrorKind::CannotOpenArchive);
    // A file nobody may write is read-only, as a copy from a disc is, even for root.
    m_readOnly = (status.mode & platform::unixmode::AnyWrite) == 0;
    if (!m_readOnly) {
        m_file = platform::File::open(m_path, platform::FileMode::ReadWrite);
        if (!m_file.isOpen())
            m_readOnly = true;
    }
    if (!m_file.isOpen())
        m_file = platform::File::open(m_path, platform::FileMode::Read);
    if (!m_file.isOpen())
        raise(ZipErrorKind::CannotOpenArchive);
    readDirectory();
}

void ZipArchive::openPart(const std::string& container, uint64_t offset, uint64_t length)
{
    std::lock_guard guard(engineLock());
    if (m_open)
        close();
    m_path = fileName;
    try {
        m_file = platform::File::openPart(container, offset, length);
        if (!m_file.isOpen())
            raise(ZipErrorKind::CannotOpenArchive);
        m_readOnly = true;
        readDirectory();
        if (m_split)
            raise(ZipErrorKind::CannotOpenArchive);
    } catch (...) {
        resetState();
        throw;
    }
    m_open = true;
}

void ZipArchive::readDirectory()
{
    std::optional<zipreader::VolumeSet> volumes;
    zipreader::Directory directory;
    try {
        directory = zipreader::readDirectory(m_file, m_path, [&](uint32_t lastDisk) -> zipreader::VolumeSet& {
            volumes.emplace(m_path, m_file, lastDisk);
            return *volumes;
        });
    } catch (const ZipFault& fault) {
        raise(fault.kind == ZipErrorKind::CannotOpenArchive ? fault.kind : ZipErrorKind::ArchiveDamaged);
    }
    m_lastDisk = directory.lastDisk;
    if (m_lastDisk > 0) {
        // A split archive is known by its end record; without its previous volume beside
        // it, it cannot be read.
        if (!volumes->previousVolumeExists())
            raise(ZipErrorKind::CannotOpenArchive);
        m_split = true;
        m_splitFinished = true;
    }
    m_entries = std::move(directory.entries);
    forgetCentralHeaders();
    m_dataEnd = directory.directoryOffset;
    m_hasDirectory = true;
}

void ZipArchive::close()
{
    std::lock_guard guard(engineLock());
    if (!m_open)
        return;
    try {
        if (m_split && !m_splitFinished) {
            SplitWriter writer;
            writer.out.attach(m_file, static_cast<uint64_t>(m_file.size()), m_volumePath);
            commitSplit(writer, {});
        } else if (!m_split && !m_readOnly && !m_hasDirectory) {
            {
                zipio::BufferedWriter out;
                out.attach(m_file, m_dataEnd, m_path);
                uint64_t size = 0;
                out.write(ownDirectoryBytes(m_dataEnd, size));
                out.finish();
                if (options.flushBuffers && !m_file.sync())
                    raise(ZipErrorKind::WriteToStream);
            }
        }
        if (!m_file.close())
            raise(ZipErrorKind::WriteToStream);
    } catch (const ZipFault& fault) {
        resetState();
        raise(fault.kind, fault.path);
    } catch (...) {
        resetState();
        throw;
    }
    resetState();
}

int64_t ZipArchive::size() const
{
    requireOpen();
    return m_file.size();
}

int ZipArchive::fileCount() const
{
    requireOpen();
    return static_cast<int>(
        std::count_if(m_entries.begin(), m_entries.end(), [](const ZipEntry& e) { return !e.isFolder(); }));
}

// --- the central directory ------------------------------------------------------------------

std::string ZipArchive::directoryBytes(const std::vector<ZipEntry>& entries, uint64_t offset, uint32_t disk,
                                       uint64_t& directorySize) const
{
    std::string headers;
    for (const ZipEntry& e : entries)
        headers += zipwriter::centralHeader(e);
    return withDirectoryEnd(headers, entries.size(), offset, disk, directorySize);
}

std::string ZipArchive::ownDirectoryBytes(uint64_t offset, uint64_t& directorySize)
{
    if (m_centralHeadersOf > m_entries.size())
        forgetCentralHeaders();
    for (; m_centralHeadersOf < m_entries.size(); ++m_centralHeadersOf)
        m_centralHeaders += zipwriter::centralHeader(m_entries[m_centralHeadersOf]);
    return withDirectoryEnd(m_centralHeaders, m_entries.size(), offset, 0, directorySize);
}

void ZipArchive::forgetCentralHeaders()
{
    m_centralHeaders.clear();
    m_centralHeadersOf = 0;
}

std::string ZipArchive::withDirectoryEnd(const std::string& headers, uint64_t count, uint64_t offset, uint32_t disk,
                                         uint64_t& directorySize) const
{
    directorySize = headers.size();
    if (zip64Mode == Zip64Mode::Disabled && zipwriter::needsZip64End(count, directorySize, offset, disk))
        throw ZipFault{ZipErrorKind::Zip64Disabled, m_path};
    return headers + zipwriter::directoryEnd(count, count, directorySize, offset, disk, disk, offset + directorySize);
}

std::string ZipArchive::displayName(const ZipEntry& entry) const { return zipreader::displayName(entry); }

} // namespace torvinel
