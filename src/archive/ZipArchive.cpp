#include "archive/ZipArchive.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <unordered_set>

#include "archive/internal/DosTime.h"
#include "archive/internal/ZipEndian.h"
#include "archive/ZipNames.h"
#include "archive/internal/ZipReader.h"
#include "archive/internal/ZipVolumes.h"
#include "archive/internal/ZipWriter.h"
#include "platform/Platform.h"

namespace torvinel {

using namespace zipformat;

namespace {

// The smallest volume a split archive is given, whatever volumeSize says: a volume must
// hold at least a local header with a long name, or the directory's end record.
constexpr int64_t MinimumVolumeSize = 65536;

// Adds, extracts and commits of every instance run one at a time.
std::recursive_mutex& engineLock()
{
    static std::recursive_mutex lock;
    return lock;
}

mode_t processUmask()
{
    static const mode_t mask = [] {
        const mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    return mask;
}

std::string withPlatformSeparators(std::string name)
{
    const char separator = platform::pathSeparator();
    if (separator != '/')
        std::replace(name.begin(), name.end(), '/', separator);
    return name;
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string fileNameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int64_t freeBytes(const std::string& folder)
{
    struct statvfs vfs {};
    if (statvfs(folder.c_str(), &vfs) != 0)
        return -1;
    return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
}

bool syncFile(int fd)
{
    return fdatasync(fd) == 0;
}

// Deletes a temporary file when it goes out of scope, unless released.
struct TemporaryFile {
    std::string path;
    zipio::FileHandle file;
    ~TemporaryFile()
    {
        file.reset();
        if (!path.empty())
            ::unlink(path.c_str());
    }
};

} // namespace

struct ZipArchive::AddItem {
    std::string path;      // in the file system
    std::string entryName; // in the archive ("/" separators, folders end in "/")
    struct stat info {};
    bool folder = false;
};

struct ZipArchive::SplitWriter {
    zipio::BufferedWriter out; // the current volume
};

struct ZipArchive::ExtractContext {
    std::string base;                         // baseDir without a trailing separator
    std::unordered_set<std::string> knownFolders; // folders known to exist
    zipio::BufferedWriter out;
};

ZipArchive::ZipArchive()
    : noCompressionMasks{"*.gif", "*.jpg", "*.png", "*.mp3", "*.flac", "*.ogg", "*.wmv",
                         "*.avi", "*.mpg", "*.mpeg", "*.mp4", "*.mov", "*.zip"}
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

void ZipArchive::raise(ZipErrorKind kind, const std::string& path) const
{
    throw ZipError(componentName, kind, path);
}

void ZipArchive::requireOpen() const
{
    if (!m_open)
        raise(ZipErrorKind::ArchiveNotOpen);
}

bool ZipArchive::attempt(const std::function<void()>& work, const std::string& fileName,
                           ZipOperation operation, const std::function<void()>& cleanup)
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

ZipFailureAction ZipArchive::reportFailure(const ZipFault& fault, const std::string& fileName,
                                       ZipOperation operation)
{
    if (!onProcessFileFailure)
        return ZipFailureAction::Abort;
    const ZipErrorInfo& info = zipErrorInfo(fault.kind);
    ZipFailureAction action = ZipFailureAction::Abort;
    onProcessFileFailure(*this, fileName, operation, info.nativeError, info.errorCode,
                         zipErrorMessage(componentName, fault.kind, fault.path), action);
    return action;
}

bool ZipArchive::progress(const std::string& entryName, double percent,
                            ZipOperation operation, ZipProgressPhase phase)
{
    if (!onFileProgress)
        return true;
    bool cancel = false;
    onFileProgress(*this, withPlatformSeparators(entryName), percent, operation, phase, cancel);
    return !cancel;
}

int ZipArchive::deflateLevel() const
{
    return m_compressionMode;
}

bool ZipArchive::storedByMask(const std::string& path) const
{
    return std::any_of(noCompressionMasks.begin(), noCompressionMasks.end(),
                       [&](const std::string& mask) { return zipnames::wildcardMatch(path, mask); });
}

// --- open and close -------------------------------------------------------------------------

void ZipArchive::resetState()
{
    m_open = false;
    m_readOnly = false;
    m_split = false;
    m_splitFinished = false;
    m_hasDirectory = false;
    m_file.reset();
    m_entries.clear();
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
        struct stat st {};
        if (mode == ZipOpenMode::Create || (::stat(m_path.c_str(), &st) != 0 && errno == ENOENT))
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
    m_dataEnd = 0;
    m_hasDirectory = false;
    if (m_spanningMode == ZipSpanningMode::Splitting) {
        m_split = true;
        m_volumeNumber = 0;
        startVolume();
        return;
    }
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        raise(ZipErrorKind::CannotCreateFile, m_path);
    m_file.reset(fd);
}

void ZipArchive::openExisting()
{
    struct stat st {};
    if (::stat(m_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        raise(ZipErrorKind::CannotOpenArchive);
    // A file nobody may write is read-only, as a copy from a disc is, even for root.
    m_readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    int fd = -1;
    if (!m_readOnly) {
        fd = ::open(m_path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            m_readOnly = true;
    }
    if (fd < 0)
        fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        raise(ZipErrorKind::CannotOpenArchive);
    m_file.reset(fd);

    std::optional<zipreader::VolumeSet> volumes;
    zipreader::Directory directory;
    try {
        directory = zipreader::readDirectory(fd, m_path, [&](uint32_t lastDisk) -> zipreader::VolumeSet& {
            volumes.emplace(m_path, fd, lastDisk);
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
            writer.out.attach(m_file.get(), static_cast<uint64_t>(zipio::fileSize(m_file.get())),
                              m_volumePath);
            commitSplit(writer, {});
        } else if (!m_split && !m_readOnly && !m_hasDirectory) {
            {
                zipio::BufferedWriter out;
                out.attach(m_file.get(), m_dataEnd, m_path);
                uint64_t size = 0;
                out.write(directoryBytes(m_entries, m_dataEnd, 0, size));
                out.finish();
                if (options.flushBuffers && !syncFile(m_file.get()))
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
    return zipio::fileSize(m_file.get());
}

int ZipArchive::fileCount() const
{
    requireOpen();
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(),
                                          [](const ZipEntry& e) { return !e.isFolder(); }));
}

// --- the central directory ------------------------------------------------------------------

std::string ZipArchive::directoryBytes(const std::vector<ZipEntry>& entries, uint64_t offset,
                                         uint32_t disk, uint64_t& directorySize) const
{
    std::string bytes;
    for (const ZipEntry& e : entries)
        bytes += zipwriter::centralHeader(e);
    directorySize = bytes.size();
    if (zip64Mode == Zip64Mode::Disabled
        && zipwriter::needsZip64End(entries.size(), directorySize, offset, disk))
        throw ZipFault{ZipErrorKind::Zip64Disabled, m_path};
    bytes += zipwriter::directoryEnd(entries.size(), entries.size(), directorySize, offset, disk,
                                     disk, offset + directorySize);
    return bytes;
}

// --- adding ---------------------------------------------------------------------------------

std::vector<ZipArchive::AddItem> ZipArchive::collectItems(const std::string& fileMask,
                                                              uint32_t searchAttr,
                                                              const std::string& exclusionMask)
{
    std::string mask = fileMask;
    for (;;) {
        if (mask.starts_with("./"))
            mask.erase(0, 2);
        else if (mask.starts_with("/"))
            mask.erase(0, 1);
        else
            break;
    }
    const std::string base = baseDir == "/" ? std::string() : withoutTrailingSlashes(baseDir);
    const std::string resolved = base + "/" + mask;

    struct stat own {};
    const bool haveOwn = m_file.valid() && fstat(m_file.get(), &own) == 0;

    std::vector<AddItem> items;
    std::set<std::string> names;

    const auto entryNameOf = [&](const std::string& path, bool folder) {
        std::string name;
        if (!base.empty() && path.starts_with(base + "/"))
            name = path.substr(base.size() + 1);
        else
            name = path; // outside baseDir: the path from the root
        while (!name.empty() && name.front() == '/')
            name.erase(0, 1);
        while (name.ends_with("/.") || name.ends_with("/"))
            name.erase(name.size() - (name.back() == '/' ? 1 : 2));
        if (folder)
            name += '/';
        return name;
    };
    const auto excluded = [&](const std::string& path, const std::string& entryName) {
        return !exclusionMask.empty()
            && (zipnames::wildcardMatch(path, exclusionMask)
                || zipnames::wildcardMatch(fileNameOf(path), exclusionMask)
                || zipnames::wildcardMatch(entryName, exclusionMask));
    };
    const auto take = [&](const std::string& path, const struct stat& info, bool folder) {
        if (haveOwn && info.st_dev == own.st_dev && info.st_ino == own.st_ino)
            return; // never the archive (or the volume) being written
        const uint32_t attributes = folder ? AttrFolder : AttrArchive;
        if (!zipnames::passesAttributeFilter(attributes, searchAttr))
            return;
        AddItem item;
        item.path = path;
        item.entryName = entryNameOf(path, folder);
        if (item.entryName.empty() || item.entryName == "/" || excluded(path, item.entryName))
            return;
        if (!names.insert(item.entryName).second)
            return;
        item.info = info;
        item.folder = folder;
        items.push_back(std::move(item));
    };

    // Walks a folder: files that match, folders that match as entries, sub-folders when
    // recursing. Links, devices, pipes and sockets are never followed or read.
    std::function<void(const std::string&, const std::string&)> walk =
        [&](const std::string& folder, const std::string& nameMask) {
            std::vector<std::string> children;
            const bool listed = attempt(
                [&] {
                    children.clear();
                    DIR* dir = ::opendir(folder.c_str());
                    if (!dir)
                        throw ZipFault{ZipErrorKind::CannotOpenFile, folder};
                    while (const dirent* d = ::readdir(dir)) {
                        const std::string name = d->d_name;
                        if (name != "." && name != "..")
                            children.push_back(name);
                    }
                    ::closedir(dir);
                },
                folder, ZipOperation::Add);
            if (!listed)
                return;
            std::sort(children.begin(), children.end());
            for (const std::string& child : children) {
                const std::string path = folder == "/" ? "/" + child : folder + "/" + child;
                struct stat info {};
                if (::lstat(path.c_str(), &info) != 0)
                    continue; // gone since the listing
                const bool matches = zipnames::wildcardMatch(child, nameMask);
                if (S_ISREG(info.st_mode)) {
                    if (matches)
                        take(path, info, false);
                } else if (S_ISDIR(info.st_mode)) {
                    if (matches)
                        take(path, info, true);
                    if (options.recurse)
                        walk(path, nameMask); // a folder's entry, then what it holds
                }
            }
        };

    // A name that holds "*" or "?" is a mask only when no file has that very name: POSIX
    // file names may hold both, and such a file is added alone, not its look-alikes.
    struct stat exact {};
    const bool namesFile = ::lstat(resolved.c_str(), &exact) == 0 && S_ISREG(exact.st_mode);
    if (!zipnames::hasWildcards(mask) || namesFile) {
        struct stat info {};
        const bool found = attempt(
            [&] {
                if (::lstat(resolved.c_str(), &info) != 0)
                    throw ZipFault{ZipErrorKind::FileNotFound, resolved};
                if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
                    throw ZipFault{ZipErrorKind::CannotOpenFile, resolved};
            },
            entryNameOf(resolved, false), ZipOperation::Add);
        if (!found)
            return items;
        if (S_ISREG(info.st_mode)) {
            take(resolved, info, false);
        } else {
            take(resolved, info, true);
            walk(withoutTrailingSlashes(resolved), "*");
        }
    } else {
        walk(zipvolumes::folderOf(resolved), fileNameOf(resolved));
    }
    return items;
}

bool ZipArchive::addFiles(const std::string& fileMask, uint32_t searchAttr,
                                   const std::string& exclusionMask)
{
    std::lock_guard guard(engineLock());
    requireOpen();
    if (m_readOnly)
        raise(ZipErrorKind::ReadOnly);
    if (m_split && m_splitFinished)
        raise(ZipErrorKind::SplitNotModifiable);
    std::vector<AddItem> items = collectItems(fileMask, searchAttr, exclusionMask);
    if (!m_split)
        return addOrdinary(items);
    // One add makes a split archive: whatever happens, it takes no further adds, and a
    // failed one is not dressed up as a finished archive at close.
    m_splitFinished = true;
    return addSplit(items);
}

// Writes one entry's local header and data at the writer's position and describes it in
// entry. Returns false when the progress handler cancelled.
bool ZipArchive::writeEntry(const AddItem& item, zipio::BufferedWriter& out,
                              zipwriter::DataEncoder& encoder, ZipEntry& e,
                              ZipOperation operation)
{
    e = ZipEntry{};
    e.name = item.entryName;
    if (!zipnames::isAscii(e.name) && zipnames::isValidUtf8(e.name))
        e.flags |= FlagUtf8; // other names keep the bytes the file system gave, unflagged
    const dostime::DosStamp stamp = dostime::fromTime(item.info.st_mtime);
    e.dosDate = stamp.date;
    e.dosTime = stamp.time;
    uint32_t dos = item.folder ? AttrFolder : AttrArchive;
    if ((item.info.st_mode & S_IWUSR) == 0)
        dos |= AttrReadOnly;
    e.externalAttributes = (static_cast<uint32_t>(item.info.st_mode & 0xffff) << 16) | dos;
    e.localHeaderOffset = out.position();
    if (zip64Mode == Zip64Mode::Disabled && e.localHeaderOffset >= Saturated32)
        throw ZipFault{ZipErrorKind::Zip64Disabled, item.path};

    if (item.folder) {
        e.method = MethodStored;
        e.versionNeeded = e.localHeaderOffset >= Saturated32 ? VersionZip64 : VersionDeflateOrFolder;
        out.write(zipwriter::localHeader(e, false));
        return true;
    }

    // O_NONBLOCK: should the file have been replaced by a pipe since it was listed, the open
    // must not hang; for a regular file the flag changes nothing.
    zipio::FileHandle source(
        ::open(item.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!source.valid() || fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode))
        throw ZipFault{ZipErrorKind::CannotOpenFile, item.path};
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if (zip64Mode == Zip64Mode::Disabled && size >= Saturated32)
        throw ZipFault{ZipErrorKind::Zip64Disabled, item.path};
    posix_fadvise(source.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    const bool stored = deflateLevel() == 0 || storedByMask(item.path);
    e.method = stored ? MethodStored : MethodDeflated;
    const bool zip64Sizes =
        zipwriter::needsZip64Sizes(size, stored ? size : zipwriter::deflateBoundOf(size));
    e.versionNeeded = (zip64Sizes || e.localHeaderOffset >= Saturated32)
        ? VersionZip64
        : (stored ? VersionStored : VersionDeflateOrFolder);
    e.uncompressedSize = size;
    out.write(zipwriter::localHeader(e, zip64Sizes));

    if (!progress(e.name, 0, operation, ZipProgressPhase::Start))
        return false;
    const zipwriter::DataResult data = encoder.encode(
        source.get(), item.path, !stored, out, [&](uint64_t done) {
            return progress(e.name, size ? 100.0 * static_cast<double>(std::min(done, size)) / static_cast<double>(size) : 100.0,
                            operation, ZipProgressPhase::Process);
        },
        onFileData);
    if (data.cancelled)
        return false;
    if (!zip64Sizes
        && (data.uncompressedSize >= Saturated32 || data.compressedSize >= Saturated32))
        throw ZipFault{zip64Mode == Zip64Mode::Disabled ? ZipErrorKind::Zip64Disabled
                                               : ZipErrorKind::WriteToStream,
                       item.path}; // the file grew past 4 GiB while it was read
    e.crc = data.crc;
    e.compressedSize = data.compressedSize;
    e.uncompressedSize = data.uncompressedSize;
    const std::string header = zipwriter::localHeader(e, zip64Sizes);
    out.patch(e.localHeaderOffset, header.data(), header.size());
    return progress(e.name, 100, operation, ZipProgressPhase::End);
}

bool ZipArchive::addOrdinary(std::vector<AddItem>& items)
{
    std::set<std::string> newNames;
    for (const AddItem& item : items)
        newNames.insert(item.entryName);
    const bool replacing = std::any_of(m_entries.begin(), m_entries.end(),
                                       [&](const ZipEntry& e) { return newNames.count(e.name) > 0; });

    std::vector<ZipEntry> entries;
    zipio::BufferedWriter out;
    TemporaryFile rewrite;
    std::string savedTail; // the directory this call overwrites, for an undo
    const uint64_t oldEnd = m_dataEnd;

    const auto undo = [&] {
        if (replacing || !m_hasDirectory) {
            if (!replacing)
                (void)ftruncate(m_file.get(), 0);
            return; // a replacing add worked on a copy, which TemporaryFile removes
        }
        std::size_t done = 0;
        while (done < savedTail.size()) {
            const ssize_t n = pwrite(m_file.get(), savedTail.data() + done, savedTail.size() - done,
                                     static_cast<off_t>(oldEnd + done));
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        (void)ftruncate(m_file.get(), static_cast<off_t>(oldEnd + savedTail.size()));
    };

    try {
        if (replacing) {
            // Replaced entries leave no dead data behind: the kept entries are copied into
            // a new file beside the archive, which takes the archive's place on commit.
            rewrite.path = m_path + ".XXXXXX";
            const int fd = mkstemp(rewrite.path.data());
            if (fd < 0) {
                rewrite.path.clear();
                throw ZipFault{ZipErrorKind::CannotCreateFile, m_path};
            }
            rewrite.file.reset(fd);
            struct stat original {};
            if (fstat(m_file.get(), &original) == 0)
                (void)fchmod(fd, original.st_mode & 07777); // the copy keeps the archive's mode
            out.attach(fd, 0, rewrite.path);
            std::vector<const ZipEntry*> byOffset;
            for (const ZipEntry& e : m_entries)
                byOffset.push_back(&e);
            std::sort(byOffset.begin(), byOffset.end(), [](const ZipEntry* a, const ZipEntry* b) {
                return a->localHeaderOffset < b->localHeaderOffset;
            });
            std::vector<unsigned char> buffer(zipio::BufferSize);
            for (std::size_t i = 0; i < byOffset.size(); ++i) {
                const ZipEntry& e = *byOffset[i];
                const uint64_t end = i + 1 < byOffset.size() ? byOffset[i + 1]->localHeaderOffset : m_dataEnd;
                if (newNames.count(e.name))
                    continue;
                ZipEntry moved = e;
                moved.localHeaderOffset = out.position();
                for (uint64_t at = e.localHeaderOffset; at < end;) {
                    const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(end - at, buffer.size()));
                    const std::size_t got = zipio::readAt(m_file.get(), buffer.data(), want, at, m_path,
                                                          ZipErrorKind::WriteToStream);
                    if (got != want)
                        throw ZipFault{ZipErrorKind::ArchiveDamaged, m_path};
                    out.write(buffer.data(), got);
                    at += got;
                }
                entries.push_back(std::move(moved));
            }
            // Keep the directory's order for the kept entries.
            std::stable_sort(entries.begin(), entries.end(), [&](const ZipEntry& a, const ZipEntry& b) {
                const auto rank = [&](const ZipEntry& x) {
                    return std::find_if(m_entries.begin(), m_entries.end(),
                                        [&](const ZipEntry& y) { return y.name == x.name; })
                        - m_entries.begin();
                };
                return rank(a) < rank(b);
            });
        } else {
            entries = m_entries;
            if (m_hasDirectory) {
                const int64_t size = zipio::fileSize(m_file.get());
                if (size < 0 || static_cast<uint64_t>(size) < m_dataEnd)
                    throw ZipFault{ZipErrorKind::WriteToStream, m_path};
                savedTail.resize(static_cast<std::size_t>(static_cast<uint64_t>(size) - m_dataEnd));
                if (zipio::readAt(m_file.get(), savedTail.data(), savedTail.size(), m_dataEnd, m_path,
                                  ZipErrorKind::WriteToStream)
                    != savedTail.size())
                    throw ZipFault{ZipErrorKind::WriteToStream, m_path};
            }
            out.attach(m_file.get(), m_dataEnd, m_path);
        }

        zipwriter::DataEncoder encoder(deflateLevel());
        for (const AddItem& item : items) {
            const ZipOperation operation =
                std::any_of(m_entries.begin(), m_entries.end(),
                            [&](const ZipEntry& e) { return e.name == item.entryName; })
                ? ZipOperation::Update
                : ZipOperation::Add;
            const uint64_t start = out.position();
            ZipEntry entry;
            bool keep = false;
            const bool done = attempt(
                [&] {
                    out.rewind(start);
                    keep = writeEntry(item, out, encoder, entry, operation);
                },
                withPlatformSeparators(item.entryName), operation, [&] { out.rewind(start); });
            if (done && !keep) { // cancelled
                undo();
                return false;
            }
            if (done)
                entries.push_back(std::move(entry));
        }

        const uint64_t directoryOffset = out.position();
        uint64_t directorySize = 0;
        out.write(directoryBytes(entries, directoryOffset, 0, directorySize));
        out.finish();
        const int fd = replacing ? rewrite.file.get() : m_file.get();
        if (options.flushBuffers && !syncFile(fd))
            throw ZipFault{ZipErrorKind::WriteToStream, m_path};
        if (replacing) {
            if (::rename(rewrite.path.c_str(), m_path.c_str()) != 0)
                throw ZipFault{ZipErrorKind::WriteToStream, m_path};
            rewrite.path.clear();
            m_file = std::move(rewrite.file);
        }
        m_entries = std::move(entries);
        m_dataEnd = directoryOffset;
        m_hasDirectory = true;
        return true;
    } catch (const ZipFault& fault) {
        undo();
        raise(fault.kind, fault.path);
    } catch (...) {
        undo();
        throw;
    }
}

// --- split archives -------------------------------------------------------------------------

uint64_t ZipArchive::volumeCapacity() const
{
    return static_cast<uint64_t>(std::max<int64_t>(volumeSize, MinimumVolumeSize));
}

// Asks for and creates the next volume; the current one must be complete and closed.
void ZipArchive::startVolume()
{
    const uint32_t number = m_volumeNumber + 1;
    std::string name = zipvolumes::advancedName(m_path, number);
    bool cancel = false;
    if (onRequestBlankVolume)
        onRequestBlankVolume(*this, static_cast<int>(number), name, cancel);
    if (cancel)
        raise(ZipErrorKind::CannotOpenArchive);
    const int64_t free = freeBytes(zipvolumes::folderOf(name));
    const uint64_t room = volumeCapacity();
    if (free <= MinimumVolumeSize || static_cast<uint64_t>(free) < room)
        raise(ZipErrorKind::CannotOpenArchive);
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        raise(ZipErrorKind::CannotOpenArchive);
    m_file.reset(fd);
    m_volumePath = name;
    m_volumeNumber = number;
    m_volumeRoom = room;
}

// Finishes the current volume and starts the next one.
void ZipArchive::nextVolume(SplitWriter& writer)
{
    writer.out.finish();
    if (options.flushBuffers && !syncFile(m_file.get()))
        throw ZipFault{ZipErrorKind::WriteToStream, m_volumePath};
    if (!m_file.close())
        throw ZipFault{ZipErrorKind::WriteToStream, m_volumePath};
    startVolume();
    writer.out.attach(m_file.get(), 0, m_volumePath);
}

// Writes a record that must not be cut by a volume boundary.
void ZipArchive::writeRecord(SplitWriter& writer, const std::string& record)
{
    if (writer.out.position() > 0 && writer.out.position() + record.size() > m_volumeRoom)
        nextVolume(writer);
    writer.out.write(record.data(), record.size());
}

// Writes data that may run on over as many volumes as it needs.
void ZipArchive::writeSpanning(SplitWriter& writer, const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        if (writer.out.position() >= m_volumeRoom)
            nextVolume(writer);
        const std::size_t n = static_cast<std::size_t>(
            std::min<uint64_t>(size, m_volumeRoom - writer.out.position()));
        writer.out.write(data, n);
        data += n;
        size -= n;
    }
}

void ZipArchive::commitSplit(SplitWriter& writer, std::vector<ZipEntry> entries)
{
    const uint32_t disk = m_volumeNumber - 1;
    const uint64_t directoryOffset = writer.out.position();
    uint64_t directorySize = 0;
    const std::string bytes = directoryBytes(entries, directoryOffset, disk, directorySize);
    // The directory and end record stay together in the last volume.
    writer.out.write(bytes.data(), bytes.size());
    writer.out.finish();
    if (options.flushBuffers && !syncFile(m_file.get()))
        throw ZipFault{ZipErrorKind::WriteToStream, m_volumePath};
    if (m_volumePath != m_path) {
        if (::unlink(m_path.c_str()) != 0 && errno != ENOENT)
            throw ZipFault{ZipErrorKind::CannotDeleteFile, m_path};
        if (::rename(m_volumePath.c_str(), m_path.c_str()) != 0)
            throw ZipFault{ZipErrorKind::CannotCreateFile, m_path};
        m_volumePath = m_path;
    }
    m_entries = std::move(entries);
    m_lastDisk = disk;
    m_hasDirectory = true;
    m_splitFinished = true;
}

bool ZipArchive::addSplit(std::vector<AddItem>& items)
{
    // Each file is first packed into a temporary file, so that its header is complete
    // before the first volume is handed over; then the header and data go into the volumes.
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp && *tmp ? tmp : "/tmp";
    TemporaryFile packed;
    packed.path = withoutTrailingSlashes(folder) + "/FCXXXXXX";
    const int packedFd = mkstemp(packed.path.data());
    if (packedFd < 0) {
        const std::string path = packed.path;
        packed.path.clear();
        raise(ZipErrorKind::CannotCreateFile, path);
    }
    packed.file.reset(packedFd);

    try {
        SplitWriter writer;
        writer.out.attach(m_file.get(), static_cast<uint64_t>(zipio::fileSize(m_file.get())),
                          m_volumePath);
        std::vector<ZipEntry> entries = m_entries;
        zipwriter::DataEncoder encoder(deflateLevel());
        zipio::BufferedWriter staging;
        std::vector<unsigned char> buffer(zipio::BufferSize);
        for (const AddItem& item : items) {
            ZipEntry entry;
            bool keep = false;
            const bool done = attempt(
                [&] {
                    staging.attach(packed.file.get(), 0, packed.path);
                    keep = writeEntry(item, staging, encoder, entry, ZipOperation::Add);
                    staging.finish();
                },
                withPlatformSeparators(item.entryName), ZipOperation::Add, [] {});
            if (done && !keep)
                return false; // cancelled; the volumes written so far stay as they are
            if (!done)
                continue;
            // The staged local header is rebuilt, since its size is now known exactly.
            unsigned char head[local::Size];
            if (zipio::readAt(packed.file.get(), head, sizeof head, 0, packed.path,
                              ZipErrorKind::WriteToStream)
                != sizeof head)
                throw ZipFault{ZipErrorKind::WriteToStream, packed.path};
            const uint64_t dataStart = local::Size + get16(head + local::NameLength)
                + get16(head + local::ExtraLength);
            const bool zip64Sizes = zipwriter::needsZip64Sizes(entry.uncompressedSize, entry.compressedSize);
            const std::string header = zipwriter::localHeader(entry, zip64Sizes);
            if (writer.out.position() > 0 && writer.out.position() + header.size() > m_volumeRoom)
                nextVolume(writer);
            entry.diskNumber = m_volumeNumber - 1;
            entry.localHeaderOffset = writer.out.position();
            entry.versionNeeded = (zip64Sizes || entry.localHeaderOffset >= Saturated32)
                ? VersionZip64
                : (entry.method == MethodStored && !item.folder ? VersionStored : VersionDeflateOrFolder);
            writeRecord(writer, zipwriter::localHeader(entry, zip64Sizes));
            for (uint64_t at = dataStart; at < dataStart + entry.compressedSize;) {
                const std::size_t want = static_cast<std::size_t>(
                    std::min<uint64_t>(dataStart + entry.compressedSize - at, buffer.size()));
                const std::size_t got = zipio::readAt(packed.file.get(), buffer.data(), want, at,
                                                      packed.path, ZipErrorKind::WriteToStream);
                if (got != want)
                    throw ZipFault{ZipErrorKind::WriteToStream, packed.path};
                writeSpanning(writer, buffer.data(), got);
                at += got;
            }
            entries.push_back(std::move(entry));
        }
        commitSplit(writer, std::move(entries));
        return true;
    } catch (const ZipFault& fault) {
        raise(fault.kind, fault.path);
    }
}

// --- extracting -----------------------------------------------------------------------------

bool ZipArchive::extractFiles(const std::string& fileMask, uint32_t searchAttr,
                                       const std::string& exclusionMask)
{
    std::lock_guard guard(engineLock());
    requireOpen();
    std::string mask = fileMask;
    const char separator = platform::pathSeparator();
    if (separator != '/')
        std::replace(mask.begin(), mask.end(), separator, '/');
    while (mask.starts_with("/"))
        mask.erase(0, 1);

    const std::string base = withoutTrailingSlashes(baseDir);
    ExtractContext context;
    context.base = base.empty() ? std::string(".") : base;
    zipreader::VolumeSet volumes(m_path, m_file.get(), m_lastDisk);
    zipreader::ChainReader reader(volumes);
    zipreader::DataDecoder decoder;
    std::vector<std::pair<std::string, unsigned>> folderModes;

    for (const ZipEntry& e : m_entries) {
        const std::string name = zipreader::displayName(e);
        std::string bare = name;
        while (bare.size() > 1 && bare.back() == '/')
            bare.pop_back();
        const bool selected = zipnames::wildcardMatch(bare, mask)
            || (options.recurse && zipnames::wildcardMatch(zipnames::fileNamePart(bare), mask));
        if (!selected || !zipnames::passesAttributeFilter(e.dosAttributes(), searchAttr))
            continue;
        if (!exclusionMask.empty()
            && (zipnames::wildcardMatch(bare, exclusionMask)
                || zipnames::wildcardMatch(zipnames::fileNamePart(bare), exclusionMask)))
            continue;
        bool finished = true;
        attempt(
            [&] { finished = extractEntry(e, name, context, reader, decoder, folderModes); },
            withPlatformSeparators(name), ZipOperation::Extract, [] {});
        if (!finished)
            return false;
    }
    // Folders get their modes last, so that a read-only folder did not stop its own
    // contents; the owner keeps full access so that later extractions still work.
    for (auto it = folderModes.rbegin(); it != folderModes.rend(); ++it)
            (void)::chmod(it->first.c_str(), it->second | S_IRWXU);
    return true;
}

// Makes sure a folder exists below the extraction base. Folders inside the base are
// checked without following links, so that a link placed there cannot lead outside.
void ZipArchive::ensureFolder(const std::string& folder, ExtractContext& context)
{
    if (context.knownFolders.count(folder))
        return;
    const bool insideBase = folder.size() > context.base.size();
    struct stat st {};
    const int found = insideBase ? ::lstat(folder.c_str(), &st) : ::stat(folder.c_str(), &st);
    if (found == 0) {
        if (!S_ISDIR(st.st_mode))
            throw ZipFault{ZipErrorKind::CannotCreateDirectory, folder};
    } else {
        const std::string parent = zipvolumes::folderOf(folder);
        if (parent != folder && parent != "." && parent != "/")
            ensureFolder(parent, context);
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
            throw ZipFault{ZipErrorKind::CannotCreateDirectory, folder};
        if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            throw ZipFault{ZipErrorKind::CannotCreateDirectory, folder};
    }
    context.knownFolders.insert(folder);
}

bool ZipArchive::extractEntry(const ZipEntry& e, const std::string& name, ExtractContext& context,
                                zipreader::ChainReader& reader, zipreader::DataDecoder& decoder,
                                std::vector<std::pair<std::string, unsigned>>& folderModes)
{
    // Names from Unix-like hosts may hold "\" as an ordinary character; elsewhere it is a
    // separator (displayName has already turned those into "/").
    const std::optional<std::string> safe =
        zipnames::safeRelativeName(name, platform::pathSeparator() == '\\');
    if (!safe)
        throw ZipFault{ZipErrorKind::UnsafeEntryName, name};
    const std::string target = context.base + "/" + *safe;
    const uint32_t unixMode = e.unixMode();

    if (e.isFolder()) {
        ensureFolder(target, context);
        if (unixMode != 0)
            folderModes.emplace_back(target, static_cast<mode_t>(unixMode & 0777));
        return true;
    }

    ensureFolder(zipvolumes::folderOf(target), context);
    const auto create = [&] {
        return zipio::FileHandle(
            ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    };
    zipio::FileHandle file = create();
    struct stat existing {};
    if (!file.valid() && errno == EEXIST && ::lstat(target.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            throw ZipFault{ZipErrorKind::CannotCreateFile, target};
        // Replaced, read-only or not; a link is replaced itself, never followed.
        if (::unlink(target.c_str()) != 0)
            throw ZipFault{ZipErrorKind::CannotCreateFile, target};
        file = create();
    }
    if (!file.valid())
        throw ZipFault{ZipErrorKind::CannotCreateFile, target};
    // From here on a failure removes the partly written file.
    struct Remover {
        const std::string& path;
        bool armed = true;
        ~Remover()
        {
            if (armed)
                ::unlink(path.c_str());
        }
    } remover{target};

    if (!progress(name, 0, ZipOperation::Extract, ZipProgressPhase::Start))
        return false;
    if (!zipreader::seekToData(reader, e))
        throw ZipFault{ZipErrorKind::BadSizeOrCheckSum, target};
    context.out.attach(file.get(), 0, target, 0);
    const uint64_t size = e.uncompressedSize;
    const zipreader::DecodeResult result = decoder.decode(reader, e, context.out, [&](uint64_t done) {
        return progress(name,
                        size ? 100.0 * static_cast<double>(std::min(done, size)) / static_cast<double>(size) : 100.0,
                        ZipOperation::Extract, ZipProgressPhase::Process);
    });
    if (result.cancelled)
        return false;
    context.out.finish();
    if (!result.ok)
        throw ZipFault{ZipErrorKind::BadSizeOrCheckSum, target};

    const time_t stamp = dostime::toTime({e.dosDate, e.dosTime});
    if (stamp != -1) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {stamp, 0}};
        (void)futimens(file.get(), times);
    }
    mode_t mode = static_cast<mode_t>(0666 & ~processUmask());
    if (unixMode != 0 && (S_ISREG(unixMode) || (unixMode & S_IFMT) == 0))
        mode = static_cast<mode_t>(unixMode & 0777);
    else if (e.dosAttributes() & AttrReadOnly)
        mode = static_cast<mode_t>(0444 & ~processUmask());
    if (fchmod(file.get(), mode) != 0 || !file.close())
        throw ZipFault{ZipErrorKind::WriteToStream, target};
    remover.armed = false;
    return progress(name, 100, ZipOperation::Extract, ZipProgressPhase::End);
}

std::string ZipArchive::displayName(const ZipEntry& entry) const
{
    return zipreader::displayName(entry);
}

} // namespace torvinel
