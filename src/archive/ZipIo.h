#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/ZipError.h"

// File access for the archive engine: an owned descriptor, a large-buffer writer and
// whole reads. Failures are thrown as ZipFault (see ZipError.h) naming the file.
namespace torvinel::zipio {

constexpr std::size_t BufferSize = 1 << 20;

// A buffer whose bytes start undefined. Engines are made for every add, and zeroing (and so
// touching) a megabyte each time would cost more than packing a small file does.
class ScratchBuffer {
public:
    explicit ScratchBuffer(std::size_t size)
        : m_bytes(std::make_unique_for_overwrite<unsigned char[]>(size)), m_size(size) {}
    unsigned char* data() { return m_bytes.get(); }
    const unsigned char* data() const { return m_bytes.get(); }
    std::size_t size() const { return m_size; }

private:
    std::unique_ptr<unsigned char[]> m_bytes;
    std::size_t m_size;
};

class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : m_fd(fd) {}
    FileHandle(FileHandle&& other) noexcept : m_fd(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release();
    void reset(int fd = -1);
    // Closes and reports whether the close succeeded (a late write error shows here).
    bool close();

private:
    int m_fd = -1;
};

// The current length of an open file; -1 when it cannot be asked.
int64_t fileSize(int fd);

// Reads up to size bytes at offset, retrying short reads; returns the count read (less
// than size only at the end of the file). Throws ZipFault(failure, path) on a read error.
std::size_t readAt(int fd, void* data, std::size_t size, uint64_t offset, const std::string& path,
                   ZipErrorKind failure);

// Sparse files: true when fewer blocks are allocated than the length needs. holeAt gives the
// length of the hole that starts at offset (0 where there is data, or where the file system
// cannot tell), so that readers can make zeros instead of having the kernel make them.
bool isSparse(int fd);
uint64_t holeAt(int fd, uint64_t offset);

// Writes a file sequentially through a large buffer. Whole buffers of zeros that lie past
// the file's physical end are left as holes, so sparse input stays cheap; finish() fixes
// the length. Records already written can be patched, in the buffer when still there.
class BufferedWriter {
public:
    BufferedWriter() : m_buffer(BufferSize) {}
    // Starts writing at position; bytes from there on may be overwritten. fileLength is the
    // file's current length when the caller knows it (0 for a file it just created).
    void attach(int fd, uint64_t position, const std::string& path, int64_t fileLength = -1);
    void detach() { m_fd = -1; }

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
    int m_fd = -1;
    std::string m_path;
};

} // namespace torvinel::zipio
