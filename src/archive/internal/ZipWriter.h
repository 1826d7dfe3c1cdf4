#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <libdeflate.h>

#include "archive/ZipEntry.h"
#include "archive/internal/PieceDeflater.h"
#include "archive/internal/ZipIo.h"

// Writing ZIP records and entry data. Zip64 fields appear only where a value overflows.
namespace torvinel::zipwriter {

// True when a local header for these sizes must carry the zip64 field. For deflated data
// of unknown final size, the bound covers deflate's worst-case growth.
bool needsZip64Sizes(uint64_t uncompressedSize, uint64_t compressedBound);
uint64_t deflateBoundOf(uint64_t size);

// The local header of an entry (name and extra included). With zip64Sizes the sizes are
// in a zip64 field and the header's own size fields are saturated. Written once before the
// data and again, with the same length, over it once CRC and sizes are known.
std::string localHeader(const ZipEntry& entry, bool zip64Sizes);
std::string centralHeader(const ZipEntry& entry);

// The end of the central directory: zip64 record and locator when needed, then the end
// record. thisDisk is the 0-based number of the volume that receives it; the directory
// starts at directoryOffset on directoryDisk.
std::string directoryEnd(uint64_t entriesOnDisk, uint64_t entriesTotal, uint64_t directorySize,
                         uint64_t directoryOffset, uint32_t thisDisk, uint32_t directoryDisk, uint64_t endOffset);

// True when directoryEnd() would need zip64 records for these values.
bool needsZip64End(uint64_t entries, uint64_t directorySize, uint64_t directoryOffset, uint32_t disk);

// Streams one open file into the writer, stored or deflated, with the CRC computed on the
// same buffer. progress(doneBytes) is called after every buffer; it returns false to cancel.
struct DataResult {
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    bool cancelled = false;
};

// Entries under WholeEntryLimit are read whole and deflated in one call of the whole-buffer
// compressor; larger ones, and a file that grew past what its size promised while it was
// read, are deflated in pieces on every core (PieceDeflater). Both give a raw deflate stream
// that any inflater reads, the same whatever the number of threads. An encoder keeps its
// buffers and threads from one entry to the next.
constexpr uint64_t WholeEntryLimit = 16u << 20;

class DataEncoder {
public:
    explicit DataEncoder(int level);
    ~DataEncoder();
    DataEncoder(const DataEncoder&) = delete;
    DataEncoder& operator=(const DataEncoder&) = delete;

    // Reading failures throw ZipFault(CannotOpenFile, sourcePath); writing failures come
    // from the writer.
    // observe (may be empty) sees each piece of the source as it is read, before compression.
    // expectedSize is the file's size when it was opened; the whole file is read whatever
    // its size turns out to be.
    DataResult encode(const platform::File& source, const std::string& sourcePath, uint64_t expectedSize,
                      bool deflate, zipio::BufferedWriter& out, const std::function<bool(uint64_t)>& progress,
                      const std::function<void(const unsigned char*, std::size_t)>& observe = {});

    // Reads the whole of a file that had expectedSize bytes (under WholeEntryLimit) into
    // content, each piece through the CRC, observe and progress as encode() reads it. A file
    // that grew shows it by an uncompressedSize over expectedSize (content then holds one byte
    // more than promised, and no more); cancelled when progress said so.
    static DataResult readWhole(const platform::File& source, const std::string& sourcePath, uint64_t expectedSize,
                                std::vector<unsigned char>& content, const std::function<bool(uint64_t)>& progress,
                                const std::function<void(const unsigned char*, std::size_t)>& observe = {});

    int level() const { return m_level; }

private:
    struct Source;
    void deflateStream(Source& source, const unsigned char* head, std::size_t headSize, zipio::BufferedWriter& out);
    static void grow(std::unique_ptr<unsigned char[]>& buffer, std::size_t& capacity, std::size_t size);

    int m_level;
    libdeflate_compressor* m_compressor = nullptr;
    std::unique_ptr<PieceDeflater> m_pieces; // for entries too large to deflate whole
    std::unique_ptr<unsigned char[]> m_whole; // a whole entry as read
    std::size_t m_wholeCapacity = 0;
    std::unique_ptr<unsigned char[]> m_packed; // its deflated form
    std::size_t m_packedCapacity = 0;
};

} // namespace torvinel::zipwriter
