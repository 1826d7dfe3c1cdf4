#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <zlib.h>

#include "archive/ZipEntry.h"
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

class DataEncoder {
public:
    explicit DataEncoder(int level);
    ~DataEncoder();
    DataEncoder(const DataEncoder&) = delete;
    DataEncoder& operator=(const DataEncoder&) = delete;

    // Reading failures throw ZipFault(CannotOpenFile, sourcePath); writing failures come
    // from the writer.
    // observe (may be empty) sees each piece of the source as it is read, before compression.
    DataResult encode(const platform::File& source, const std::string& sourcePath, bool deflate,
                      zipio::BufferedWriter& out, const std::function<bool(uint64_t)>& progress,
                      const std::function<void(const unsigned char*, std::size_t)>& observe = {});

private:
    z_stream m_stream{};
    bool m_ready = false;
    zipio::ScratchBuffer m_input;
};

} // namespace torvinel::zipwriter
