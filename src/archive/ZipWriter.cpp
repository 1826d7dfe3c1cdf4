#include "archive/internal/ZipWriter.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "archive/internal/ZipEndian.h"
#include "archive/ZipError.h"

namespace torvinel::zipwriter {

using namespace zipformat;

bool needsZip64Sizes(uint64_t uncompressedSize, uint64_t compressedBound)
{
    return uncompressedSize >= Saturated32 || compressedBound >= Saturated32;
}

uint64_t deflateBoundOf(uint64_t size)
{
    // zlib's bound for raw deflate (5 bytes per 16 KiB stored block plus a little), more
    // than the whole-buffer compressor adds (5 bytes per 64 KiB) with the 5 bytes that join
    // each piece of PieceDeflater.
    return size + (size >> 12) + (size >> 14) + (size >> 25) + 13 + 6;
}

std::string localHeader(const ZipEntry& entry, bool zip64Sizes)
{
    std::string h;
    h.reserve(local::Size + entry.name.size() + 20);
    append32(h, LocalHeaderSignature);
    append16(h, entry.versionNeeded);
    append16(h, entry.flags);
    append16(h, entry.method);
    append16(h, entry.dosTime);
    append16(h, entry.dosDate);
    append32(h, entry.crc);
    append32(h, zip64Sizes ? Saturated32 : static_cast<uint32_t>(entry.compressedSize));
    append32(h, zip64Sizes ? Saturated32 : static_cast<uint32_t>(entry.uncompressedSize));
    append16(h, static_cast<uint16_t>(entry.name.size()));
    append16(h, static_cast<uint16_t>(zip64Sizes ? extra::HeaderSize + 16 : 0));
    h += entry.name;
    if (zip64Sizes) {
        append16(h, extra::Zip64Id);
        append16(h, 16);
        append64(h, entry.uncompressedSize);
        append64(h, entry.compressedSize);
    }
    return h;
}

std::string centralHeader(const ZipEntry& entry)
{
    std::string zip64;
    const bool bigUncompressed = entry.uncompressedSize >= Saturated32;
    const bool bigCompressed = entry.compressedSize >= Saturated32;
    const bool bigOffset = entry.localHeaderOffset >= Saturated32;
    const bool bigDisk = entry.diskNumber >= Saturated16;
    if (bigUncompressed)
        append64(zip64, entry.uncompressedSize);
    if (bigCompressed)
        append64(zip64, entry.compressedSize);
    if (bigOffset)
        append64(zip64, entry.localHeaderOffset);
    if (bigDisk)
        append32(zip64, entry.diskNumber);

    std::string extraField;
    if (!zip64.empty()) {
        append16(extraField, extra::Zip64Id);
        append16(extraField, static_cast<uint16_t>(zip64.size()));
        extraField += zip64;
    }
    extraField += entry.extra;

    std::string h;
    h.reserve(central::Size + entry.name.size() + extraField.size() + entry.comment.size());
    append32(h, CentralHeaderSignature);
    append16(h, entry.versionMadeBy);
    append16(h, entry.versionNeeded);
    append16(h, entry.flags);
    append16(h, entry.method);
    append16(h, entry.dosTime);
    append16(h, entry.dosDate);
    append32(h, entry.crc);
    append32(h, bigCompressed ? Saturated32 : static_cast<uint32_t>(entry.compressedSize));
    append32(h, bigUncompressed ? Saturated32 : static_cast<uint32_t>(entry.uncompressedSize));
    append16(h, static_cast<uint16_t>(entry.name.size()));
    append16(h, static_cast<uint16_t>(extraField.size()));
    append16(h, static_cast<uint16_t>(entry.comment.size()));
    append16(h, bigDisk ? Saturated16 : static_cast<uint16_t>(entry.diskNumber));
    append16(h, entry.internalAttributes);
    append32(h, entry.externalAttributes);
    append32(h, bigOffset ? Saturated32 : static_cast<uint32_t>(entry.localHeaderOffset));
    h += entry.name;
    h += extraField;
    h += entry.comment;
    return h;
}

bool needsZip64End(uint64_t entries, uint64_t directorySize, uint64_t directoryOffset, uint32_t disk)
{
    return entries >= Saturated16 || directorySize >= Saturated32 || directoryOffset >= Saturated32
        || disk >= Saturated16;
}

std::string directoryEnd(uint64_t entriesOnDisk, uint64_t entriesTotal, uint64_t directorySize,
                         uint64_t directoryOffset, uint32_t thisDisk, uint32_t directoryDisk, uint64_t endOffset)
{
    std::string out;
    const bool zip64 = needsZip64End(entriesTotal, directorySize, directoryOffset,
                                     thisDisk > directoryDisk ? thisDisk : directoryDisk);
    if (zip64) {
        append32(out, Zip64EndRecordSignature);
        append64(out, zip64record::Size - 12);
        append16(out, (HostUnix << 8) | VersionMadeByUs);
        append16(out, VersionZip64);
        append32(out, thisDisk);
        append32(out, directoryDisk);
        append64(out, entriesOnDisk);
        append64(out, entriesTotal);
        append64(out, directorySize);
        append64(out, directoryOffset);

        append32(out, Zip64LocatorSignature);
        append32(out, thisDisk);
        append64(out, endOffset);
        append32(out, thisDisk + 1);
    }
    const auto clamp16 = [](uint64_t v) { return v >= Saturated16 ? Saturated16 : static_cast<uint16_t>(v); };
    const auto clamp32 = [](uint64_t v) { return v >= Saturated32 ? Saturated32 : static_cast<uint32_t>(v); };
    append32(out, EndRecordSignature);
    append16(out, clamp16(thisDisk));
    append16(out, clamp16(directoryDisk));
    append16(out, clamp16(entriesOnDisk));
    append16(out, clamp16(entriesTotal));
    append32(out, clamp32(directorySize));
    append32(out, clamp32(directoryOffset));
    append16(out, 0);
    return out;
}

DataEncoder::DataEncoder(int level) : m_level(level)
{
    if (level > 0)
        m_compressor = libdeflate_alloc_compressor(level);
}

DataEncoder::~DataEncoder()
{
    if (m_compressor)
        libdeflate_free_compressor(m_compressor);
}

namespace {

// Reads the next bytes of a source file; the holes of a sparse file are made as zeros
// without reading them.
std::size_t readSome(const platform::File& source, bool sparse, uint64_t& position, unsigned char* data,
                     std::size_t size, const std::string& path)
{
    if (sparse) {
        const uint64_t hole = source.holeAt(position);
        if (hole > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(hole, size));
            std::memset(data, 0, n);
            position += n;
            return n;
        }
    }
    const int64_t n = source.readAt(data, size, position);
    if (n < 0)
        throw ZipFault{ZipErrorKind::CannotOpenFile, path};
    position += static_cast<uint64_t>(n);
    return static_cast<std::size_t>(n);
}

} // namespace

// The file being read: every piece goes through the CRC and the observer once, and the
// progress handler hears of it.
struct DataEncoder::Source {
    const platform::File& file;
    const std::string& path;
    const std::function<bool(uint64_t)>& progress;
    const std::function<void(const unsigned char*, std::size_t)>& observe;
    DataResult& result;
    bool sparse = false;
    uint64_t position = 0;

    // Returns 0 at the end of the file, and when the progress handler cancelled.
    std::size_t read(unsigned char* data, std::size_t size)
    {
        const std::size_t n = readSome(file, sparse, position, data, size, path);
        if (n == 0)
            return 0;
        result.crc = libdeflate_crc32(result.crc, data, n);
        if (observe)
            observe(data, n);
        result.uncompressedSize += n;
        if (progress && !progress(result.uncompressedSize)) {
            result.cancelled = true;
            return 0;
        }
        return n;
    }
};

void DataEncoder::grow(std::unique_ptr<unsigned char[]>& buffer, std::size_t& capacity, std::size_t size)
{
    if (capacity >= size)
        return;
    buffer.reset();
    buffer = std::make_unique_for_overwrite<unsigned char[]>(size);
    capacity = size;
}

// Deflates head (bytes already read and counted) and then the rest of the source as one
// stream, in pieces on every core.
void DataEncoder::deflateStream(Source& source, const unsigned char* head, std::size_t headSize,
                                zipio::BufferedWriter& out)
{
    if (!m_pieces)
        m_pieces = std::make_unique<PieceDeflater>(m_level);
    const bool done = m_pieces->deflate(
        [&](unsigned char* data, std::size_t size) {
            if (headSize > 0) {
                const std::size_t n = std::min(size, headSize);
                std::memcpy(data, head, n);
                head += n;
                headSize -= n;
                return n;
            }
            // In buffer-sized reads, so that progress and cancel are heard as often as before.
            return source.read(data, std::min(size, zipio::BufferSize));
        },
        out);
    if (!done)
        throw ZipFault{ZipErrorKind::WriteToStream, source.path};
}

DataResult DataEncoder::readWhole(const platform::File& file, const std::string& sourcePath, uint64_t expectedSize,
                                  std::vector<unsigned char>& content, const std::function<bool(uint64_t)>& progress,
                                  const std::function<void(const unsigned char*, std::size_t)>& observe)
{
    DataResult result;
    Source source{file, sourcePath, progress, observe, result, file.isSparse()};
    const std::size_t capacity = static_cast<std::size_t>(expectedSize) + 1;
    content.resize(capacity);
    std::size_t filled = 0;
    while (filled < capacity) {
        const std::size_t n = source.read(content.data() + filled, std::min(capacity - filled, zipio::BufferSize));
        if (result.cancelled || n == 0)
            break;
        filled += n;
    }
    content.resize(filled);
    return result;
}

DataResult DataEncoder::encode(const platform::File& file, const std::string& sourcePath, uint64_t expectedSize,
                               bool deflate, zipio::BufferedWriter& out, const std::function<bool(uint64_t)>& progress,
                               const std::function<void(const unsigned char*, std::size_t)>& observe)
{
    DataResult result;
    Source source{file, sourcePath, progress, observe, result, file.isSparse()};
    const uint64_t start = out.position();
    if (!deflate || !m_compressor) {
        for (;;) {
            std::size_t room = 0;
            unsigned char* space = out.space(room);
            const std::size_t n = source.read(space, room);
            if (result.cancelled)
                return result;
            if (n == 0)
                break;
            out.commit(n);
        }
    } else if (expectedSize < WholeEntryLimit) {
        // One byte more than promised: a file that grew shows it by filling the buffer.
        const std::size_t capacity = static_cast<std::size_t>(expectedSize) + 1;
        grow(m_whole, m_wholeCapacity, capacity);
        std::size_t filled = 0;
        while (filled < capacity) {
            const std::size_t n = source.read(m_whole.get() + filled, std::min(capacity - filled, zipio::BufferSize));
            if (result.cancelled)
                return result;
            if (n == 0)
                break;
            filled += n;
        }
        if (filled < capacity) {
            grow(m_packed, m_packedCapacity, libdeflate_deflate_compress_bound(m_compressor, filled));
            const std::size_t packed =
                libdeflate_deflate_compress(m_compressor, m_whole.get(), filled, m_packed.get(), m_packedCapacity);
            if (packed == 0)
                throw ZipFault{ZipErrorKind::WriteToStream, sourcePath};
            out.write(m_packed.get(), packed);
        } else {
            deflateStream(source, m_whole.get(), filled, out);
            if (result.cancelled)
                return result;
        }
    } else {
        deflateStream(source, nullptr, 0, out);
        if (result.cancelled)
            return result;
    }
    result.compressedSize = out.position() - start;
    return result;
}

} // namespace torvinel::zipwriter
