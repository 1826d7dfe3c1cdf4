#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <libdeflate.h>
#include <zlib.h>

#include "archive/ZipEntry.h"
#include "archive/internal/ZipIo.h"

// Reading ZIP archives, ordinary or split into volumes. Every length and offset read from
// the archive is checked against what is really there before it is used.
namespace torvinel::zipreader {

// The volumes of an archive whose last volume is already open. Earlier volumes are found
// beside it as base_NNN.ext or, failing that, base.zNN, and opened one at a time.
class VolumeSet {
public:
    VolumeSet(std::string archivePath, const platform::File& last, uint32_t lastDisk);
    uint32_t lastDisk() const { return m_lastDisk; }
    // A volume, open for reading. Throws ZipFault(CannotOpenArchive) when it is missing.
    const platform::File& open(uint32_t disk);
    // True when the volume before the last can be found by either naming.
    bool previousVolumeExists();

private:
    std::string pathOf(uint32_t disk, bool& found);

    std::string m_path;
    const platform::File& m_last;
    uint32_t m_lastDisk;
    uint32_t m_openDisk = UINT32_MAX;
    platform::File m_open;
};

// A buffered position in the chain of volumes; reading runs on from the end of one volume
// into the start of the next.
class ChainReader {
public:
    explicit ChainReader(VolumeSet& volumes) : m_volumes(volumes), m_buffer(zipio::BufferSize) { }
    void seek(uint32_t disk, uint64_t offset);
    // The next bytes, at most max of them; an empty run at the end of the last volume.
    std::pair<const unsigned char*, std::size_t> next(std::size_t max);
    std::size_t read(void* data, std::size_t size);
    // Skips size bytes; false when the chain ends first.
    bool skip(uint64_t size);

private:
    VolumeSet& m_volumes;
    std::vector<unsigned char> m_buffer;
    uint32_t m_bufferDisk = UINT32_MAX;
    uint64_t m_bufferOffset = 0;
    std::size_t m_bufferLength = 0;
    uint32_t m_disk = 0;
    uint64_t m_offset = 0;
    uint32_t m_sparseDisk = UINT32_MAX; // the volume m_sparse describes
    bool m_sparse = false;
};

struct Directory {
    std::vector<ZipEntry> entries;
    uint32_t lastDisk = 0; // number of the volume holding the end record
    uint32_t directoryDisk = 0;
    uint64_t directoryOffset = 0; // where the central directory starts on its volume
};

// Reads the end record and the central directory. Throws ZipFault(ArchiveDamaged) for
// anything inconsistent, ZipFault(CannotOpenArchive) for a volume that cannot be found.
// makeVolumes is called once the end record has told how many volumes there are.
Directory readDirectory(const platform::File& last, const std::string& archivePath,
                        const std::function<VolumeSet&(uint32_t lastDisk)>& makeVolumes);

// The entry's name for matching and extraction, in UTF-8 where it can be known: the UTF-8
// flag or a matching Unicode path field wins; names from Unix-like hosts are taken as the
// bytes they are; other names are code page 437. "\" separators of non-Unix hosts become "/".
std::string displayName(const ZipEntry& entry);

// Positions the reader at the entry's data, after checking its local header. False when
// the local header is missing or damaged.
bool seekToData(ChainReader& reader, const ZipEntry& entry);

// Streams the entry's data into the writer, inflating when needed, with the CRC computed
// on the same buffer. Never writes more than the entry's declared size.
struct DecodeResult {
    bool ok = false; // data complete, CRC and size as recorded
    bool cancelled = false;
    uint64_t written = 0;
};

// Deflated entries whose both sizes are under WholeEntryLimit are read whole and inflated in
// one call of the faster whole-buffer decompressor; larger ones are inflated as a stream.
// A decoder keeps its buffers from one entry to the next.
constexpr uint64_t WholeEntryLimit = 16u << 20;
constexpr std::size_t ObserveAsideFrom = std::size_t{256} << 10;

class DataDecoder {
public:
    DataDecoder();
    ~DataDecoder();
    DataDecoder(const DataDecoder&) = delete;
    DataDecoder& operator=(const DataDecoder&) = delete;
    // progress(doneBytes) returns false to cancel. onData, when set, sees every piece of the
    // content, in order, before decode returns; for an entry of ObserveAsideFrom bytes or
    // more it may see it on another thread, at the same time as the content goes to out.
    DecodeResult decode(ChainReader& reader, const ZipEntry& entry, zipio::BufferedWriter& out,
                        const std::function<bool(uint64_t)>& progress,
                        const std::function<void(const unsigned char*, std::size_t)>& onData = {});

private:
    DecodeResult inflateWhole(ChainReader& reader, const ZipEntry& entry, zipio::BufferedWriter& out,
                              const std::function<bool(uint64_t)>& progress,
                              const std::function<void(const unsigned char*, std::size_t)>& onData);

    z_stream m_stream{};
    bool m_ready = false;
    libdeflate_decompressor* m_decompressor = nullptr;
    std::vector<unsigned char> m_packed;   // an entry's compressed data, read whole
    std::vector<unsigned char> m_unpacked; // and its content
};

} // namespace torvinel::zipreader
