#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/ZipError.h"
#include "platform/File.h"

// File access for the archive engine: a large-buffer writer and whole reads. Failures are thrown as ZipFault (see ZipError.h) naming the file.
namespace torvinel::zipio {

constexpr std::size_t BufferSize = 1 << 20;

// A buffer whose bytes start undefined. Engines are made for every add, and zeroing (and so
// touching) a megabyte each time would cost more than packing a small file does.
class ScratchBuffer {
public:
    explicit ScratchBuffer(std::size_t size)
        : m_bytes(std::make_unique_for_overwrite<unsigned char[]>(size)), m_size(size)
    {
    }
    unsigned char* data() { return m_bytes.get(); }
    const unsigned char* data() const { return m_bytes.get(); }
    std::size_t size() const { return m_size; }

private:
    std::unique_ptr<unsigned char[]> m_bytes;
    std::size_t m_size;
};

// Reads up to size bytes at offset, retrying short reads; returns the count read (less
// than size only at the end of the file). Throws ZipFault(failure, path) on a read error.
std::size_t readAt(const platform::File& file, void* data, std::size_t size, uint64_t offset, const std::string& path,
                   ZipErrorKind failure);

// Writes a file sequentially through a large buffer. Whole buffers of zeros that lie past
// the file's physical end are left as holes, so sparse input stays cheap; finish() fixes
// the length. Records already written can be patched, in the buffer when still there.
class BufferedWriter {
public:
    BufferedWriter() : m_buffer(BufferSize) { }
    // Starts writing at position; bytes from there on may be overwritten. fileLength is the
    // file's current length when the caller knows it (0 for a file it just created).
    void attach(platform::File& file, uint64_t position, const std::string& path, int64_t fileLength = -1);
    // Takes bytes and keeps none: for reading an entry only to test it.
    void discard();

    uint64_t position() const { return m_start + m_used; }
    void write(const void* data, std::size_t size);
    void write(const std::string& bytes) { write(bytes.data(), bytes.size()); }
    // Free space in the buffer for a producer that writes in place (deflate, read()).
    unsigned char* space(std::size_t& available);
    void commit(std::size_t size) { m_used += size; }
    void patch(uint64_t offset, const void* data, std::size_t size);
    void flush();
    // Flushes and sets the file's length to position().
    void finish();
    // Forgets everything past position (which must not be ahead of position()).
    void rewind(uint64_t position);

private:
    void writeOut(const unsigned char* data, std::size_t size, uint64_t offset);

    ScratchBuffer m_buffer;
    std::size_t m_used = 0;
    uint64_t m_start = 0;       // file offset of m_buffer[0]
    uint64_t m_physicalEnd = 0; // bytes the file really holds (holes lie beyond)
    platform::File* m_file = nullptr;
    std::string m_path;
};

} // namespace torvinel::zipio
