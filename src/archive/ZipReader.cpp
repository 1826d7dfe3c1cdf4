#include "archive/internal/ZipReader.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "archive/internal/ZipEndian.h"
#include "archive/ZipError.h"
#include "archive/ZipNames.h"
#include "archive/internal/ZipVolumes.h"

namespace torvinel::zipreader {

using namespace zipformat;

namespace {

bool exists(const std::string& path)
{
    return platform::fileStatus(path, platform::Links::Follow).kind == platform::FileKind::Regular;
}

[[noreturn]] void damaged(const std::string& path) { throw ZipFault{ZipErrorKind::ArchiveDamaged, path}; }

} // namespace

// --- volumes ------------------------------------------------------------------------------

VolumeSet::VolumeSet(std::string archivePath, const platform::File& last, uint32_t lastDisk)
    : m_path(std::move(archivePath)), m_last(last), m_lastDisk(lastDisk)
{
}

std::string VolumeSet::pathOf(uint32_t disk, bool& found)
{
    found = true;
    std::string name = zipvolumes::advancedName(m_path, disk + 1);
    if (exists(name))
        return name;
    for (const bool upper : {false, true}) {
        const std::string classic = zipvolumes::classicName(m_path, disk + 1, upper);
        if (exists(classic))
            return classic;
    }
    found = false;
    return name;
}

bool VolumeSet::previousVolumeExists()
{
    if (m_lastDisk == 0)
        return true;
    bool found = false;
    pathOf(m_lastDisk - 1, found);
    return found;
}

const platform::File& VolumeSet::open(uint32_t disk)
{
    if (disk == m_lastDisk)
        return m_last;
    if (disk > m_lastDisk)
        throw ZipFault{ZipErrorKind::CannotOpenArchive, m_path};
    if (disk == m_openDisk)
        return m_open;
    bool found = false;
    const std::string path = pathOf(disk, found);
    platform::File volume = found ? platform::File::open(path, platform::FileMode::Read) : platform::File();
    if (!volume.isOpen())
        throw ZipFault{ZipErrorKind::CannotOpenArchive, path};
    m_open = std::move(volume);
    m_openDisk = disk;
    return m_open;
}

// --- chain reader -------------------------------------------------------------------------

void ChainReader::seek(uint32_t disk, uint64_t offset)
{
    m_disk = disk;
    m_offset = offset;
}

std::pair<const unsigned char*, std::size_t> ChainReader::next(std::size_t max)
{
    for (;;) {
        if (m_disk == m_bufferDisk && m_offset >= m_bufferOffset && m_offset < m_bufferOffset + m_bufferLength) {
            const std::size_t at = static_cast<std::size_t>(m_offset - m_bufferOffset);
            const std::size_t n = std::min(max, m_bufferLength - at);
            m_offset += n;
            return {m_buffer.data() + at, n};
        }
        const platform::File& volume = m_volumes.open(m_disk);
        if (m_sparseDisk != m_disk) {
            m_sparse = volume.isSparse();
            m_sparseDisk = m_disk;
        }
        // Zeros that a sparse archive holds as a hole are made here, not read.
        const uint64_t hole = m_sparse ? volume.holeAt(m_offset) : 0;
        std::size_t n;
        if (hole > 0) {
            n = static_cast<std::size_t>(std::min<uint64_t>(hole, m_buffer.size()));
            std::fill_n(m_buffer.begin(), n, 0);
        } else {
            n = zipio::readAt(volume, m_buffer.data(), m_buffer.size(), m_offset, std::string(),
                              ZipErrorKind::BadSizeOrCheckSum);
        }
        if (n > 0) {
            m_bufferDisk = m_disk;
            m_bufferOffset = m_offset;
            m_bufferLength = n;
            continue;
        }
        if (m_disk >= m_volumes.lastDisk())
            return {nullptr, 0};
        ++m_disk; // this volume is used up: the data runs on at the start of the next
        m_offset = 0;
    }
}

std::size_t ChainReader::read(void* data, std::size_t size)
{
    auto* out = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const auto [p, n] = next(size - done);
        if (n == 0)
            break;
        std::copy(p, p + n, out + done);
        done += n;
    }
    return done;
}

bool ChainReader::skip(uint64_t size)
{
    while (size > 0) {
        const auto [p, n] = next(static_cast<std::size_t>(std::min<uint64_t>(size, zipio::BufferSize)));
        (void)p;
        if (n == 0)
            return false;
        size -= n;
    }
    return true;
}

// --- central directory --------------------------------------------------------------------

namespace {

// Takes the zip64 values for the saturated fields out of the extra field, and keeps the
// other extra blocks. False when the extra field is malformed or a value is missing.
bool parseExtra(const unsigned char* p, std::size_t size, ZipEntry& entry, bool bigUncompressed, bool bigCompressed,
                bool bigOffset, bool bigDisk)
{
    std::size_t at = 0;
    bool haveZip64 = false;
    while (at + extra::HeaderSize <= size) {
        const uint16_t id = get16(p + at);
        const uint16_t length = get16(p + at + 2);
        const std::size_t data = at + extra::HeaderSize;
        if (data + length > size)
            return false;
        if (id == extra::Zip64Id) {
            haveZip64 = true;
            std::size_t q = data;
            const std::size_t end = data + length;
            auto take64 = [&](uint64_t& value) {
                if (q + 8 > end)
                    return false;
                value = get64(p + q);
                q += 8;
                return true;
            };
            if (bigUncompressed && !take64(entry.uncompressedSize))
                return false;
            if (bigCompressed && !take64(entry.compressedSize))
                return false;
            if (bigOffset && !take64(entry.localHeaderOffset))
                return false;
            if (bigDisk) {
                if (q + 4 > end)
                    return false;
                entry.diskNumber = get32(p + q);
            }
        } else {
            entry.extra.append(reinterpret_cast<const char*>(p + at), extra::HeaderSize + length);
        }
        at = data + length;
    }
    // A few writers pad the extra field; a tail too short for a block is ignored.
    return haveZip64 || !(bigUncompressed || bigCompressed || bigOffset || bigDisk);
}

// What the end record (and a zip64 locator before it) tell, as found in the last volume.
struct EndRecord {
    uint32_t thisDisk = 0;
    uint32_t directoryDisk = 0;
    uint64_t entriesTotal = 0;
    uint64_t directorySize = 0;
    uint64_t directoryOffset = 0;
    uint64_t endStart = 0; // where the records after the directory start
    bool zip64 = false;
    uint32_t zip64Disk = 0;
    uint64_t zip64Offset = 0;
};

// Finds the end record: the last signature whose comment fits in what follows it.
EndRecord readEndRecord(const platform::File& last, const std::string& archivePath)
{
    const int64_t fileSize = last.size();
    if (fileSize < static_cast<int64_t>(endrecord::Size))
        damaged(archivePath);
    const uint64_t size = static_cast<uint64_t>(fileSize);
    const std::size_t tailLength =
        static_cast<std::size_t>(std::min<uint64_t>(size, endrecord::Size + endrecord::MaxCommentLength));
    std::vector<unsigned char> tail(tailLength);
    if (zipio::readAt(last, tail.data(), tailLength, size - tailLength, archivePath, ZipErrorKind::ArchiveDamaged)
        != tailLength)
        damaged(archivePath);

    std::size_t at = tailLength - endrecord::Size + 1;
    bool found = false;
    while (at-- > 0) {
        const unsigned char* r = tail.data() + at;
        if (get32(r) == EndRecordSignature
            && at + endrecord::Size + get16(r + endrecord::CommentLength) <= tailLength) {
            found = true;
            break;
        }
    }
    if (!found)
        damaged(archivePath);
    const unsigned char* r = tail.data() + at;
    EndRecord end;
    end.thisDisk = get16(r + endrecord::ThisDisk);
    end.directoryDisk = get16(r + endrecord::DirectoryDisk);
    end.entriesTotal = get16(r + endrecord::EntriesTotal);
    end.directorySize = get32(r + endrecord::DirectorySize);
    end.directoryOffset = get32(r + endrecord::DirectoryOffset);
    end.endStart = size - tailLength + at;
    return end;
}

// A zip64 locator right before the end record points at the zip64 record.
void readZip64Locator(const platform::File& last, const std::string& archivePath, EndRecord& end)
{
    const uint64_t endRecordOffset = end.endStart;
    if (endRecordOffset < zip64locator::Size)
        return;
    unsigned char loc[zip64locator::Size];
    if (zipio::readAt(last, loc, sizeof loc, endRecordOffset - zip64locator::Size, archivePath,
                      ZipErrorKind::ArchiveDamaged)
            != sizeof loc
        || get32(loc) != Zip64LocatorSignature)
        return;
    end.zip64 = true;
    end.zip64Disk = get32(loc + zip64locator::RecordDisk);
    end.zip64Offset = get64(loc + zip64locator::RecordOffset);
    const uint32_t totalDisks = get32(loc + zip64locator::TotalDisks);
    if (end.thisDisk == Saturated16) {
        if (totalDisks == 0)
            damaged(archivePath);
        end.thisDisk = totalDisks - 1;
    }
    if (end.zip64Disk > end.thisDisk)
        damaged(archivePath);
}

// The zip64 record's values replace the end record's.
void readZip64Record(ChainReader& reader, uint32_t lastDisk, const std::string& archivePath, EndRecord& end)
{
    unsigned char rec[zip64record::Size];
    reader.seek(end.zip64Disk, end.zip64Offset);
    if (reader.read(rec, sizeof rec) != sizeof rec || get32(rec) != Zip64EndRecordSignature)
        damaged(archivePath);
    end.thisDisk = get32(rec + zip64record::ThisDisk);
    end.directoryDisk = get32(rec + zip64record::DirectoryDisk);
    end.entriesTotal = get64(rec + zip64record::EntriesTotal);
    end.directorySize = get64(rec + zip64record::DirectorySize);
    end.directoryOffset = get64(rec + zip64record::DirectoryOffset);
    if (end.thisDisk != lastDisk)
        damaged(archivePath);
    if (end.zip64Disk == end.thisDisk)
        end.endStart = end.zip64Offset;
}

void checkDirectoryBounds(const EndRecord& end, const std::string& archivePath)
{
    if (end.directoryDisk > end.thisDisk)
        damaged(archivePath);
    if (end.directoryDisk == end.thisDisk
        && (end.directoryOffset > end.endStart || end.directorySize > end.endStart - end.directoryOffset))
        damaged(archivePath);
    // Each entry takes at least a fixed-size header: a count beyond that is a lie.
    if (end.entriesTotal > end.directorySize / central::Size + 1)
        damaged(archivePath);
}

// Reads the directory as far as it really exists, in pieces, so that a hostile size cannot
// make us reserve memory for data that is not there.
std::string readDirectoryBytes(ChainReader& reader, const EndRecord& end, const std::string& archivePath)
{
    std::string directory;
    reader.seek(end.directoryDisk, end.directoryOffset);
    while (directory.size() < end.directorySize) {
        const auto [p, n] = reader.next(
            static_cast<std::size_t>(std::min<uint64_t>(end.directorySize - directory.size(), zipio::BufferSize)));
        if (n == 0)
            damaged(archivePath);
        directory.append(reinterpret_cast<const char*>(p), n);
    }
    return directory;
}

// Decodes the central header at pos and moves pos past it.
ZipEntry parseCentralHeader(const std::string& directory, std::size_t& pos, const EndRecord& end,
                            const std::string& archivePath)
{
    const auto* d = reinterpret_cast<const unsigned char*>(directory.data());
    if (pos + central::Size > directory.size() || get32(d + pos) != CentralHeaderSignature)
        damaged(archivePath);
    const unsigned char* h = d + pos;
    const std::size_t nameLength = get16(h + central::NameLength);
    const std::size_t extraLength = get16(h + central::ExtraLength);
    const std::size_t commentLength = get16(h + central::CommentLength);
    if (pos + central::Size + nameLength + extraLength + commentLength > directory.size())
        damaged(archivePath);
    ZipEntry e;
    e.versionMadeBy = get16(h + central::VersionMadeBy);
    e.versionNeeded = get16(h + central::VersionNeeded);
    e.flags = get16(h + central::Flags);
    e.method = get16(h + central::Method);
    e.dosTime = get16(h + central::Time);
    e.dosDate = get16(h + central::Date);
    e.crc = get32(h + central::Crc);
    e.compressedSize = get32(h + central::CompressedSize);
    e.uncompressedSize = get32(h + central::UncompressedSize);
    e.diskNumber = get16(h + central::DiskStart);
    e.internalAttributes = get16(h + central::InternalAttributes);
    e.externalAttributes = get32(h + central::ExternalAttributes);
    e.localHeaderOffset = get32(h + central::LocalHeaderOffset);
    const char* name = reinterpret_cast<const char*>(h + central::Size);
    e.name.assign(name, nameLength);
    if (!parseExtra(h + central::Size + nameLength, extraLength, e, e.uncompressedSize == Saturated32,
                    e.compressedSize == Saturated32, e.localHeaderOffset == Saturated32, e.diskNumber == Saturated16))
        damaged(archivePath);
    e.comment.assign(name + nameLength + extraLength, commentLength);
    if (e.diskNumber > end.thisDisk)
        damaged(archivePath);
    if (e.diskNumber == end.directoryDisk && e.localHeaderOffset >= end.directoryOffset)
        damaged(archivePath);
    pos += central::Size + nameLength + extraLength + commentLength;
    return e;
}

} // namespace

Directory readDirectory(const platform::File& last, const std::string& archivePath,
                        const std::function<VolumeSet&(uint32_t lastDisk)>& makeVolumes)
{
    EndRecord end = readEndRecord(last, archivePath);
    readZip64Locator(last, archivePath, end);
    VolumeSet& volumes = makeVolumes(end.thisDisk);
    ChainReader reader(volumes);
    if (end.zip64)
        readZip64Record(reader, volumes.lastDisk(), archivePath, end);
    checkDirectoryBounds(end, archivePath);
    const std::string directory = readDirectoryBytes(reader, end, archivePath);

    Directory result;
    result.lastDisk = end.thisDisk;
    result.directoryDisk = end.directoryDisk;
    result.directoryOffset = end.directoryOffset;
    result.entries.reserve(static_cast<std::size_t>(end.entriesTotal));
    std::size_t pos = 0;
    while (pos < directory.size())
        result.entries.push_back(parseCentralHeader(directory, pos, end, archivePath));
    if (result.entries.size() != end.entriesTotal)
        damaged(archivePath);
    return result;
}

std::string displayName(const ZipEntry& entry)
{
    std::string name;
    bool decided = false;
    if (entry.flags & FlagUtf8) {
        name = entry.name;
        decided = true;
    } else {
        // A Unicode path field counts only while it still matches the header's name.
        const auto* p = reinterpret_cast<const unsigned char*>(entry.extra.data());
        std::size_t at = 0;
        while (at + extra::HeaderSize <= entry.extra.size()) {
            const uint16_t id = get16(p + at);
            const uint16_t length = get16(p + at + 2);
            const std::size_t data = at + extra::HeaderSize;
            if (data + length > entry.extra.size())
                break;
            if (id == extra::UnicodePathId && length >= 5 && p[data] == extra::UnicodePathVersion
                && get32(p + data + 1)
                    == crc32(0L, reinterpret_cast<const Bytef*>(entry.name.data()),
                             static_cast<uInt>(entry.name.size()))) {
                name.assign(reinterpret_cast<const char*>(p + data + 5), length - 5);
                decided = zipnames::isValidUtf8(name);
                break;
            }
            at = data + length;
        }
        if (!decided) {
            const bool unixHost = entry.host() == HostUnix || entry.host() == HostMacOsX;
            name = unixHost ? entry.name : zipnames::cp437ToUtf8(entry.name);
        }
    }
    if (entry.host() != HostUnix && entry.host() != HostMacOsX)
        std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

bool seekToData(ChainReader& reader, const ZipEntry& entry)
{
    unsigned char h[local::Size];
    reader.seek(entry.diskNumber, entry.localHeaderOffset);
    if (reader.read(h, sizeof h) != sizeof h || get32(h) != LocalHeaderSignature)
        return false;
    return reader.skip(static_cast<uint64_t>(get16(h + local::NameLength)) + get16(h + local::ExtraLength));
}

// --- entry data ---------------------------------------------------------------------------

DataDecoder::DataDecoder()
{
    m_ready = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK;
    m_decompressor = libdeflate_alloc_decompressor();
}

DataDecoder::~DataDecoder()
{
    if (m_ready)
        inflateEnd(&m_stream);
    if (m_decompressor)
        libdeflate_free_decompressor(m_decompressor);
}

DecodeResult DataDecoder::inflateWhole(ChainReader& reader, const ZipEntry& entry, zipio::BufferedWriter& out,
                                       const std::function<bool(uint64_t)>& progress,
                                       const std::function<void(const unsigned char*, std::size_t)>& onData)
{
    DecodeResult result;
    const auto packedSize = static_cast<std::size_t>(entry.compressedSize);
    const auto size = static_cast<std::size_t>(entry.uncompressedSize);
    if (m_packed.size() < packedSize)
        m_packed.resize(packedSize);
    if (m_unpacked.size() < size)
        m_unpacked.resize(size);
    if (reader.read(m_packed.data(), packedSize) != packedSize)
        return result;
    // Exactly the declared size, or the entry fails: shorter and longer content alike.
    if (libdeflate_deflate_decompress(m_decompressor, m_packed.data(), packedSize, m_unpacked.data(), size, nullptr)
        != LIBDEFLATE_SUCCESS)
        return result;
    const unsigned char* content = m_unpacked.data();
    // The observer (a digest, say) of a large entry works on another core while this one
    // writes the content out; both have finished when this returns, whatever happens.
    std::exception_ptr observerFailure;
    std::jthread observer;
    if (onData && size >= ObserveAsideFrom)
        observer = std::jthread([&] {
            try {
                onData(content, size);
            } catch (...) {
                observerFailure = std::current_exception();
            }
        });
    // In pieces, so that a cancel is still heard within a large entry.
    for (std::size_t done = 0; done < size;) {
        const std::size_t n = std::min(size - done, zipio::BufferSize);
        if (onData && !observer.joinable())
            onData(content + done, n);
        out.write(content + done, n);
        done += n;
        result.written = done;
        if (progress && !progress(done)) {
            result.cancelled = true;
            return result;
        }
    }
    result.ok = libdeflate_crc32(0, content, size) == entry.crc;
    if (observer.joinable())
        observer.join();
    if (observerFailure)
        std::rethrow_exception(observerFailure);
    return result;
}

DecodeResult DataDecoder::decode(ChainReader& reader, const ZipEntry& entry, zipio::BufferedWriter& out,
                                 const std::function<bool(uint64_t)>& progress,
                                 const std::function<void(const unsigned char*, std::size_t)>& onData)
{
    DecodeResult result;
    if (entry.flags & FlagEncrypted)
        return result;
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t remaining = entry.compressedSize;

    if (entry.method == MethodStored) {
        if (entry.compressedSize != entry.uncompressedSize)
            return result;
        while (remaining > 0) {
            const auto [p, n] = reader.next(static_cast<std::size_t>(std::min<uint64_t>(remaining, zipio::BufferSize)));
            if (n == 0)
                return result;
            crc = crc32(crc, p, static_cast<uInt>(n));
            if (onData)
                onData(p, n);
            out.write(p, n);
            remaining -= n;
            result.written += n;
            if (progress && !progress(result.written)) {
                result.cancelled = true;
                return result;
            }
        }
    } else if (entry.method == MethodDeflated && m_decompressor && entry.compressedSize < WholeEntryLimit
               && entry.uncompressedSize < WholeEntryLimit) {
        return inflateWhole(reader, entry, out, progress, onData);
    } else if (entry.method == MethodDeflated && m_ready) {
        inflateReset(&m_stream);
        m_stream.avail_in = 0;
        int status = Z_OK;
        while (status != Z_STREAM_END) {
            if (m_stream.avail_in == 0) {
                if (remaining == 0)
                    return result;
                const auto [p, n] =
                    reader.next(static_cast<std::size_t>(std::min<uint64_t>(remaining, zipio::BufferSize)));
                if (n == 0)
                    return result;
                m_stream.next_in = const_cast<Bytef*>(p);
                m_stream.avail_in = static_cast<uInt>(n);
                remaining -= n;
            }
            std::size_t room = 0;
            unsigned char* space = out.space(room);
            // One byte beyond the declared size is enough to see that the size is wrong.
            const uint64_t allowed = entry.uncompressedSize - result.written + 1;
            if (room > allowed)
                room = static_cast<std::size_t>(allowed);
            m_stream.next_out = space;
            m_stream.avail_out = static_cast<uInt>(room);
            status = inflate(&m_stream, Z_NO_FLUSH);
            const std::size_t produced = room - m_stream.avail_out;
            crc = crc32(crc, space, static_cast<uInt>(produced));
            if (onData && produced > 0)
                onData(space, produced);
            out.commit(produced);
            result.written += produced;
            if (result.written > entry.uncompressedSize)
                return result;
            if (status != Z_OK && status != Z_STREAM_END && !(status == Z_BUF_ERROR && m_stream.avail_in == 0))
                return result;
            if (produced > 0 && progress && !progress(result.written)) {
                result.cancelled = true;
                return result;
            }
        }
    } else {
        return result; // a method this engine does not read
    }
    result.ok = result.written == entry.uncompressedSize && static_cast<uint32_t>(crc) == entry.crc;
    return result;
}

} // namespace torvinel::zipreader
