#include "archive/ZipArchive.h"

#include <algorithm>
#include <optional>
#include <set>

#include "archive/internal/DosTime.h"
#include "archive/internal/ZipArchiveShared.h"
#include "archive/internal/ZipIo.h"
#include "archive/ZipNames.h"
#include "archive/internal/ZipVolumes.h"
#include "archive/internal/WholeDeflater.h"
#include "archive/internal/ZipWriter.h"

// Adding to an archive: which files an add takes, and how an ordinary archive grows.
namespace torvinel {

using namespace zipformat;
using namespace zipengine;

namespace {

// A mask as given, without leading "./" and "/": it is always resolved against baseDir.
std::string relativeMask(std::string mask)
{
    for (;;) {
        if (mask.starts_with("./"))
            mask.erase(0, 2);
        else if (mask.starts_with("/"))
            mask.erase(0, 1);
        else
            return mask;
    }
}

bool isFileOrFolder(platform::FileKind kind)
{
    return kind == platform::FileKind::Regular || kind == platform::FileKind::Folder;
}

} // namespace

// The items of one add: entry names relative to baseDir, each name once, never the archive
// itself, nothing the attribute filter or the exclusion mask leaves out.
struct ZipArchive::ItemCollector {
    ZipArchive& archive;
    uint32_t searchAttr;
    const std::string& exclusionMask;
    std::string base;         // baseDir without a trailing "/"; empty for the root
    platform::FileStatus own; // the archive (or the volume) being written, when known
    std::vector<AddItem> items;
    std::set<std::string> names;

    std::string entryNameOf(const std::string& path, bool folder) const;
    bool excluded(const std::string& path, const std::string& entryName) const;
    void take(const std::string& path, const platform::FileStatus& info, bool folder);
    void takeNamed(const std::string& path);
    void walk(const std::string& folder, const std::string& nameMask);
};

std::string ZipArchive::ItemCollector::entryNameOf(const std::string& path, bool folder) const
{
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
}

bool ZipArchive::ItemCollector::excluded(const std::string& path, const std::string& entryName) const
{
    return !exclusionMask.empty()
        && (zipnames::wildcardMatch(path, exclusionMask) || zipnames::wildcardMatch(fileNameOf(path), exclusionMask)
            || zipnames::wildcardMatch(entryName, exclusionMask));
}

void ZipArchive::ItemCollector::take(const std::string& path, const platform::FileStatus& info, bool folder)
{
    if (own.kind != platform::FileKind::Unknown && info.sameFile(own))
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
}

// A file, or a folder with all it holds, named without wildcards. A missing name goes to
// the failure handler.
void ZipArchive::ItemCollector::takeNamed(const std::string& path)
{
    platform::FileStatus info;
    const bool found = archive.attempt(
        [&] {
            info = platform::fileStatus(path, platform::Links::DoNotFollow);
            if (info.kind == platform::FileKind::Missing || info.kind == platform::FileKind::Unknown)
                throw ZipFault{ZipErrorKind::FileNotFound, path};
            if (!isFileOrFolder(info.kind))
                throw ZipFault{ZipErrorKind::CannotOpenFile, path};
        },
        entryNameOf(path, false), ZipOperation::Add);
    if (!found)
        return;
    if (info.kind == platform::FileKind::Regular) {
        take(path, info, false);
    } else {
        take(path, info, true);
        walk(withoutTrailingSlashes(path), "*");
    }
}

// Walks a folder: files that match, folders that match as entries, sub-folders when
// recursing. Links, devices, pipes and sockets are never followed or read.
void ZipArchive::ItemCollector::walk(const std::string& folder, const std::string& nameMask)
{
    std::vector<std::string> children;
    const bool listed = archive.attempt(
        [&] {
            std::optional<std::vector<std::string>> found = platform::folderNames(folder);
            if (!found)
                throw ZipFault{ZipErrorKind::CannotOpenFile, folder};
            children = std::move(*found);
        },
        folder, ZipOperation::Add);
    if (!listed)
        return;
    std::sort(children.begin(), children.end());
    for (const std::string& child : children) {
        const std::string path = folder == "/" ? "/" + child : folder + "/" + child;
        const platform::FileStatus info = platform::fileStatus(path, platform::Links::DoNotFollow);
        if (!isFileOrFolder(info.kind))
            continue; // not a file nor a folder, or gone since the listing
        const bool folderItem = info.kind == platform::FileKind::Folder;
        if (zipnames::wildcardMatch(child, nameMask))
            take(path, info, folderItem);
        if (folderItem && archive.options.recurse)
            walk(path, nameMask); // a folder's entry, then what it holds
    }
}

std::vector<ZipArchive::AddItem> ZipArchive::collectItems(const std::string& fileMask, uint32_t searchAttr,
                                                          const std::string& exclusionMask)
{
    const std::string mask = relativeMask(fileMask);
    ItemCollector collector{*this,
                            searchAttr,
                            exclusionMask,
                            baseDir == "/" ? std::string() : withoutTrailingSlashes(baseDir),
                            m_file.isOpen() ? m_file.status() : platform::FileStatus{},
                            {},
                            {}};
    const std::string resolved = collector.base + "/" + mask;
    // A name that holds "*" or "?" is a mask only when no file has that very name: POSIX
    // file names may hold both, and such a file is added alone, not its look-alikes.
    const bool namesFile =
        platform::fileStatus(resolved, platform::Links::DoNotFollow).kind == platform::FileKind::Regular;
    if (!zipnames::hasWildcards(mask) || namesFile)
        collector.takeNamed(resolved);
    else
        collector.walk(zipvolumes::folderOf(resolved), fileNameOf(resolved));
    return std::move(collector.items);
}

bool ZipArchive::addFiles(const std::string& fileMask, uint32_t searchAttr, const std::string& exclusionMask)
{
    std::lock_guard guard(engineLock());
    requireOpen();
    if (m_readOnly)
        raise(ZipErrorKind::ReadOnly);
    if (m_split && m_splitFinished)
        raise(ZipErrorKind::SplitNotModifiable);
    std::vector<AddItem> items = collectItems(fileMask, searchAttr, exclusionMask);
    if (!m_split)
        return addOrdinary(
            items, [this](const AddItem& item, zipio::BufferedWriter& out, ZipEntry& entry, ZipOperation operation) {
                return writeEntry(item, out, encoder(), entry, operation);
            });
    // One add makes a split archive: whatever happens, it takes no further adds, and a
    // failed one is not dressed up as a finished archive at close.
    m_splitFinished = true;
    return addSplit(items);
}

void ZipArchive::describeEntry(const AddItem& item, uint64_t offset, ZipEntry& e) const
{
    e = ZipEntry{};
    e.name = item.entryName;
    if (!zipnames::isAscii(e.name) && zipnames::isValidUtf8(e.name))
        e.flags |= FlagUtf8; // other names keep the bytes the file system gave, unflagged
    const dostime::DosStamp stamp = dostime::fromTime(item.info.lastWrite);
    e.dosDate = stamp.date;
    e.dosTime = stamp.time;
    uint32_t dos = item.folder ? AttrFolder : AttrArchive;
    if ((item.info.mode & platform::unixmode::OwnerWrite) == 0)
        dos |= AttrReadOnly;
    e.externalAttributes = ((item.info.mode & 0xffff) << 16) | dos;
    e.localHeaderOffset = offset;
    if (zip64Mode == Zip64Mode::Disabled && e.localHeaderOffset >= Saturated32)
        throw ZipFault{ZipErrorKind::Zip64Disabled, item.path};
}

bool ZipArchive::describeData(ZipEntry& e, uint64_t size, bool stored, const std::string& path) const
{
    if (zip64Mode == Zip64Mode::Disabled && size >= Saturated32)
        throw ZipFault{ZipErrorKind::Zip64Disabled, path};
    e.method = stored ? MethodStored : MethodDeflated;
    const bool zip64Sizes = zipwriter::needsZip64Sizes(size, stored ? size : zipwriter::deflateBoundOf(size));
    e.versionNeeded = (zip64Sizes || e.localHeaderOffset >= Saturated32)
        ? VersionZip64
        : (stored ? VersionStored : VersionDeflateOrFolder);
    e.uncompressedSize = size;
    return zip64Sizes;
}

// Writes one entry's local header and data at the writer's position and describes it in
// entry. Returns false when the progress handler cancelled.
bool ZipArchive::writeEntry(const AddItem& item, zipio::BufferedWriter& out, zipwriter::DataEncoder& encoder,
                            ZipEntry& e, ZipOperation operation)
{
    describeEntry(item, out.position(), e);
    if (item.folder) {
        e.method = MethodStored;
        e.versionNeeded = e.localHeaderOffset >= Saturated32 ? VersionZip64 : VersionDeflateOrFolder;
        out.write(zipwriter::localHeader(e, false));
        return true;
    }

    // Should the file have been replaced by a pipe or a link since it was listed, the open
    // neither hangs nor follows it, and the status check refuses it.
    const platform::File source = platform::File::open(item.path, platform::FileMode::ReadSource);
    const platform::FileStatus info = source.isOpen() ? source.status() : platform::FileStatus{};
    if (info.kind != platform::FileKind::Regular)
        throw ZipFault{ZipErrorKind::CannotOpenFile, item.path};
    const uint64_t size = info.size;
    const bool stored = deflateLevel() == 0 || storedByMask(item.path);
    const bool zip64Sizes = describeData(e, size, stored, item.path);
    out.write(zipwriter::localHeader(e, zip64Sizes));

    if (!progress(e.name, 0, operation, ZipProgressPhase::Start))
        return false;
    const zipwriter::DataResult data = encoder.encode(
        source, item.path, size, !stored, out,
        [&](uint64_t done) {
            return progress(
                e.name, size ? 100.0 * static_cast<double>(std::min(done, size)) / static_cast<double>(size) : 100.0,
                operation, ZipProgressPhase::Process);
        },
        onFileData);
    if (data.cancelled)
        return false;
    if (!zip64Sizes && (data.uncompressedSize >= Saturated32 || data.compressedSize >= Saturated32))
        throw ZipFault{zip64Mode == Zip64Mode::Disabled ? ZipErrorKind::Zip64Disabled : ZipErrorKind::WriteToStream,
                       item.path}; // the file grew past 4 GiB while it was read
    e.crc = data.crc;
    e.compressedSize = data.compressedSize;
    e.uncompressedSize = data.uncompressedSize;
    const std::string header = zipwriter::localHeader(e, zip64Sizes);
    out.patch(e.localHeaderOffset, header.data(), header.size());
    return progress(e.name, 100, operation, ZipProgressPhase::End);
}

// One add to an ordinary archive. It appends after the last entry; when it replaces
// entries, it copies the kept ones into a new file beside the archive instead, so that
// replaced entries leave no dead data behind. Until commit() the archive is as it was, and
// undo() puts back what an append overwrote.
struct ZipArchive::OrdinaryAdd {
    ZipArchive& archive;
    std::set<std::string> newNames;
    bool replacing = false;
    std::vector<ZipEntry> entries; // the directory being built (of an append: its new entries)
    zipio::BufferedWriter out;
    TemporaryFile rewrite; // the new file of a replacing add
    std::string savedTail; // the directory an append overwrites
    uint64_t oldEnd = 0;

    OrdinaryAdd(ZipArchive& archive, const std::vector<AddItem>& items);
    void copyKeptEntries();
    void appendAfterLastEntry();
    // False when a progress handler cancelled.
    bool writeItems(const std::vector<AddItem>& items, const EntryWriter& write);
    void commit();
    void undo();
};

ZipArchive::OrdinaryAdd::OrdinaryAdd(ZipArchive& owner, const std::vector<AddItem>& items)
    : archive(owner), oldEnd(owner.m_dataEnd)
{
    for (const AddItem& item : items)
        newNames.insert(item.entryName);
    replacing = std::any_of(archive.m_entries.begin(), archive.m_entries.end(),
                            [&](const ZipEntry& e) { return newNames.count(e.name) > 0; });
}

void ZipArchive::OrdinaryAdd::copyKeptEntries()
{
    const std::string& path = archive.m_path;
    std::string rewritePath;
    rewrite.file = platform::File::createUnique(path + ".", rewritePath);
    if (!rewrite.file.isOpen())
        throw ZipFault{ZipErrorKind::CannotCreateFile, path};
    rewrite.path = rewritePath;
    const platform::FileStatus original = archive.m_file.status();
    // The copy keeps the archive's mode where it can; a copy readable by its owner only is
    // still a whole archive.
    if (original.kind != platform::FileKind::Unknown)
        (void)rewrite.file.setMode(original.mode & platform::unixmode::Permissions);
    out.attach(rewrite.file, 0, rewrite.path);

    const std::vector<ZipEntry>& current = archive.m_entries;
    std::vector<const ZipEntry*> byOffset;
    for (const ZipEntry& e : current)
        byOffset.push_back(&e);
    std::sort(byOffset.begin(), byOffset.end(),
              [](const ZipEntry* a, const ZipEntry* b) { return a->localHeaderOffset < b->localHeaderOffset; });
    std::vector<unsigned char> buffer(zipio::BufferSize);
    for (std::size_t i = 0; i < byOffset.size(); ++i) {
        const ZipEntry& e = *byOffset[i];
        const uint64_t end = i + 1 < byOffset.size() ? byOffset[i + 1]->localHeaderOffset : archive.m_dataEnd;
        if (newNames.count(e.name))
            continue;
        ZipEntry moved = e;
        moved.localHeaderOffset = out.position();
        for (uint64_t at = e.localHeaderOffset; at < end;) {
            const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(end - at, buffer.size()));
            const std::size_t got =
                zipio::readAt(archive.m_file, buffer.data(), want, at, path, ZipErrorKind::WriteToStream);
            if (got != want)
                throw ZipFault{ZipErrorKind::ArchiveDamaged, path};
            out.write(buffer.data(), got);
            at += got;
        }
        entries.push_back(std::move(moved));
    }
    // Keep the directory's order for the kept entries.
    std::stable_sort(entries.begin(), entries.end(), [&](const ZipEntry& a, const ZipEntry& b) {
        const auto rank = [&](const ZipEntry& x) {
            return std::find_if(current.begin(), current.end(), [&](const ZipEntry& y) { return y.name == x.name; })
                - current.begin();
        };
        return rank(a) < rank(b);
    });
}

void ZipArchive::OrdinaryAdd::appendAfterLastEntry()
{
    const std::string& path = archive.m_path;
    if (archive.m_hasDirectory) {
        const int64_t size = archive.m_file.size();
        if (size < 0 || static_cast<uint64_t>(size) < oldEnd)
            throw ZipFault{ZipErrorKind::WriteToStream, path};
        savedTail.resize(static_cast<std::size_t>(static_cast<uint64_t>(size) - oldEnd));
        if (zipio::readAt(archive.m_file, savedTail.data(), savedTail.size(), oldEnd, path, ZipErrorKind::WriteToStream)
            != savedTail.size())
            throw ZipFault{ZipErrorKind::WriteToStream, path};
    }
    out.attach(archive.m_file, oldEnd, path);
}

bool ZipArchive::OrdinaryAdd::writeItems(const std::vector<AddItem>& items, const EntryWriter& write)
{
    for (const AddItem& item : items) {
        const ZipOperation operation = std::any_of(archive.m_entries.begin(), archive.m_entries.end(),
                                                   [&](const ZipEntry& e) { return e.name == item.entryName; })
            ? ZipOperation::Update
            : ZipOperation::Add;
        const uint64_t start = out.position();
        ZipEntry entry;
        bool keep = false;
        const bool done = archive.attempt(
            [&] {
                out.rewind(start);
                keep = write(item, out, entry, operation);
            },
            withPlatformSeparators(item.entryName), operation, [&] { out.rewind(start); });
        if (done && !keep)
            return false;
        if (done)
            entries.push_back(std::move(entry));
    }
    return true;
}

void ZipArchive::OrdinaryAdd::commit()
{
    const std::string& path = archive.m_path;
    const uint64_t directoryOffset = out.position();
    uint64_t directorySize = 0;
    // An append puts its entries after the archive's own instead of copying those (a backup
    // appends a hundred files one at a time); a failure takes them off again.
    const auto kept = static_cast<std::ptrdiff_t>(archive.m_entries.size());
    if (!replacing)
        archive.m_entries.insert(archive.m_entries.end(), std::make_move_iterator(entries.begin()),
                                 std::make_move_iterator(entries.end()));
    try {
        out.write(replacing ? archive.directoryBytes(entries, directoryOffset, 0, directorySize)
                            : archive.ownDirectoryBytes(directoryOffset, directorySize));
        out.finish();
        platform::File& written = replacing ? rewrite.file : archive.m_file;
        if (archive.options.flushBuffers && !written.sync())
            throw ZipFault{ZipErrorKind::WriteToStream, path};
        if (replacing) {
            if (!platform::replaceFile(rewrite.path, path))
                throw ZipFault{ZipErrorKind::WriteToStream, path};
            rewrite.path.clear();
            archive.m_file = std::move(rewrite.file);
        }
    } catch (...) {
        if (!replacing) {
            archive.m_entries.erase(archive.m_entries.begin() + kept, archive.m_entries.end());
            archive.forgetCentralHeaders();
        }
        throw;
    }
    if (replacing) {
        archive.m_entries = std::move(entries);
        archive.forgetCentralHeaders();
    }
    archive.m_dataEnd = directoryOffset;
    archive.m_hasDirectory = true;
}

void ZipArchive::OrdinaryAdd::undo()
{
    platform::File& file = archive.m_file;
    if (replacing || !archive.m_hasDirectory) {
        // An archive never written before goes back to empty; failing that, close writes
        // its empty directory over what is left.
        if (!replacing)
            (void)file.truncate(0);
        return; // a replacing add worked on a copy, which TemporaryFile removes
    }
    // Best effort, while an error is already on its way to the caller.
    std::size_t done = 0;
    while (done < savedTail.size()) {
        const int64_t n = file.writeAt(savedTail.data() + done, savedTail.size() - done, oldEnd + done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    (void)file.truncate(oldEnd + savedTail.size());
}

bool ZipArchive::addOrdinary(const std::vector<AddItem>& items, const EntryWriter& write)
{
    OrdinaryAdd add(*this, items);
    try {
        if (add.replacing)
            add.copyKeptEntries();
        else
            add.appendAfterLastEntry();
        if (!add.writeItems(items, write)) { // cancelled
            add.undo();
            return false;
        }
        add.commit();
        return true;
    } catch (const ZipFault& fault) {
        add.undo();
        raise(fault.kind, fault.path);
    } catch (...) {
        add.undo();
        throw;
    }
}

// --- prepared files --------------------------------------------------------------------------

std::unique_ptr<ZipPreparedFile> ZipArchive::prepareFile(const std::string& fileName, ZipContentEvent inspect)
{
    std::lock_guard guard(engineLock());
    ItemCollector collector{*this,
                            ZipAllAttributes,
                            {},
                            baseDir == "/" ? std::string() : withoutTrailingSlashes(baseDir),
                            m_file.isOpen() ? m_file.status() : platform::FileStatus{},
                            {},
                            {}};
    const std::string resolved = collector.base + "/" + relativeMask(fileName);
    const platform::FileStatus listed = platform::fileStatus(resolved, platform::Links::DoNotFollow);
    if (listed.kind != platform::FileKind::Regular)
        return nullptr;
    collector.take(resolved, listed, false);
    if (collector.items.empty())
        return nullptr;
    const AddItem& item = collector.items.front();

    const platform::File source = platform::File::open(item.path, platform::FileMode::ReadSource);
    const platform::FileStatus info = source.isOpen() ? source.status() : platform::FileStatus{};
    if (info.kind != platform::FileKind::Regular || info.size >= zipwriter::WholeEntryLimit)
        return nullptr;
    auto prepared = std::make_unique<ZipPreparedFile>();
    prepared->m_path = item.path;
    prepared->m_entryName = item.entryName;
    prepared->m_info = item.info;
    prepared->m_stored = deflateLevel() == 0 || storedByMask(item.path);
    auto job = std::make_shared<zipwriter::DeflateJob>();
    job->level = deflateLevel();

    if (!progress(item.entryName, 0, ZipOperation::Add, ZipProgressPhase::Start))
        return nullptr;
    const uint64_t size = info.size;
    zipwriter::DataResult data;
    try {
        data = zipwriter::DataEncoder::readWhole(
            source, item.path, size, job->content,
            [&](uint64_t done) {
                return progress(item.entryName,
                                size ? 100.0 * static_cast<double>(std::min(done, size)) / static_cast<double>(size)
                                     : 100.0,
                                ZipOperation::Add, ZipProgressPhase::Process);
            },
            onFileData);
    } catch (const ZipFault&) {
        return nullptr; // addFiles reports it when it meets it
    }
    if (data.cancelled || data.uncompressedSize > size)
        return nullptr;
    prepared->m_size = data.uncompressedSize;
    prepared->m_crc = data.crc;
    if (!progress(item.entryName, 100, ZipOperation::Add, ZipProgressPhase::End))
        return nullptr;
    job->deflate = !prepared->m_stored;
    job->inspect = std::move(inspect);
    if (job->deflate || job->inspect) {
        if (!m_wholeDeflater)
            m_wholeDeflater = std::make_shared<zipwriter::WholeDeflater>(prepareThreads);
        m_wholeDeflater->submit(job);
        prepared->m_deflater = m_wholeDeflater;
    }
    prepared->m_job = std::move(job);
    return prepared;
}

void ZipArchive::writePrepared(const ZipPreparedFile& file, const AddItem& item, zipio::BufferedWriter& out,
                               ZipEntry& e)
{
    describeEntry(item, out.position(), e);
    const bool zip64Sizes = describeData(e, file.m_size, file.m_stored, file.m_path);
    const zipwriter::DeflateJob& job = *file.m_job;
    if (file.m_deflater) {
        file.m_deflater->wait(job);
        if (job.failed)
            throw ZipFault{ZipErrorKind::WriteToStream, file.m_path};
    }
    const std::vector<unsigned char>& data = file.m_stored ? job.content : job.packed;
    e.crc = file.m_crc;
    e.compressedSize = data.size();
    out.write(zipwriter::localHeader(e, zip64Sizes));
    out.write(data.data(), data.size());
}

bool ZipArchive::addPrepared(const ZipPreparedFile& file)
{
    std::lock_guard guard(engineLock());
    requireOpen();
    if (m_readOnly)
        raise(ZipErrorKind::ReadOnly);
    if (m_split)
        raise(ZipErrorKind::SplitNotModifiable);
    const AddItem item{file.m_path, file.m_entryName, file.m_info, false};
    bool added = false;
    static_cast<void>(
        addOrdinary({item}, [&](const AddItem& each, zipio::BufferedWriter& out, ZipEntry& entry, ZipOperation) {
            added = false;
            writePrepared(file, each, out, entry);
            added = true;
            return true; // no handler is asked, so none cancels
        }));
    return added;
}

} // namespace torvinel
