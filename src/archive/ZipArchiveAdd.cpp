#include "archive/ZipArchive.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/internal/DosTime.h"
#include "archive/internal/ZipArchiveShared.h"
#include "archive/internal/ZipVolumes.h"
#include "archive/internal/ZipWriter.h"
#include "archive/ZipNames.h"

// Adding to an archive: which files an add takes, and how an ordinary archive grows.
namespace torvinel {

using namespace zipformat;
using namespace zipengine;

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

} // namespace torvinel
