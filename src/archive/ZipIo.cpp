#include "archive/ZipIo.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/ZipError.h"

namespace torvinel::zipio {

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

int FileHandle::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void FileHandle::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

bool FileHandle::close()
{
    if (m_fd < 0)
        return true;
    const int result = ::close(m_fd);
    m_fd = -1;
    return result == 0;
}

int64_t fileSize(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return -1;
    return st.st_size;
}

bool isSparse(int fd)
{
    struct stat st {};
    return fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_blocks) * 512 < static_cast<uint64_t>(st.st_size);
}

uint64_t holeAt(int fd, uint64_t offset)
{
    const off_t data = lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
    if (data >= 0)
        return static_cast<uint64_t>(data) - offset;
    if (errno != ENXIO)
        return 0; // the file system cannot tell: read it
    const int64_t size = fileSize(fd); // no data after offset: a hole to the end
    return size > static_cast<int64_t>(offset) ? static_cast<uint64_t>(size) - offset : 0;
}

std::size_t readAt(int fd, void* data, std::size_t size, uint64_t offset, const std::string& path,
                   ZipErrorKind failure)
{
    auto* out = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ZipFault{failure, path};
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

namespace {

bool allZero(const unsigned char* data, std::size_t size)
{
    // Real data almost always fails on the first bytes, so this costs nothing there.
    if (size == 0 || data[0] != 0)
        return size == 0;
    return std::memcmp(data, data + 1, size - 1) == 0;
}

} // namespace

void BufferedWriter::attach(int fd, uint64_t position, const std::string& path, int64_t fileLength)
{
    m_fd = fd;
    m_path = path;
    m_start = position;
    m_used = 0;
    const int64_t size = fileLength >= 0 ? fileLength : fileSize(fd);
    if (size < 0)
        throw ZipFault{ZipErrorKind::WriteToStream, path};
    m_physicalEnd = static_cast<uint64_t>(size);
}

void BufferedWriter::writeOut(const unsigned char* data, std::size_t size, uint64_t offset)
{
    if (offset >= m_physicalEnd && allZero(data, size))
        return; // a hole; finish() gives the file its length
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(m_fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ZipFault{ZipErrorKind::WriteToStream, m_path};
        }
        done += static_cast<std::size_t>(n);
    }
    if (offset + size > m_physicalEnd)
        m_physicalEnd = offset + size;
}

void BufferedWriter::write(const void* data, std::size_t size)
{
    const auto* in = static_cast<const unsigned char*>(data);
    if (m_used == 0 && size >= m_buffer.size()) {
        writeOut(in, size, m_start);
        m_start += size;
        return;
    }
    while (size > 0) {
        const std::size_t room = m_buffer.size() - m_used;
        const std::size_t n = size < room ? size : room;
        std::memcpy(m_buffer.data() + m_used, in, n);
        m_used += n;
        in += n;
        size -= n;
        if (m_used == m_buffer.size())
            flush();
    }
}

unsigned char* BufferedWriter::space(std::size_t& available)
{
    if (m_used == m_buffer.size())
        flush();
    available = m_buffer.size() - m_used;
    return m_buffer.data() + m_used;
}

void BufferedWriter::patch(uint64_t offset, const void* data, std::size_t size)
{
    if (offset >= m_start && offset + size <= m_start + m_used) {
        std::memcpy(m_buffer.data() + (offset - m_start), data, size);
        return;
    }
    flush();
    // A patched record was written before (a header is never all zeros), so this is a
    // plain overwrite.
    writeOut(static_cast<const unsigned char*>(data), size, offset);
}

void BufferedWriter::flush()
{
    if (m_used == 0)
        return;
    writeOut(m_buffer.data(), m_used, m_start);
    m_start += m_used;
    m_used = 0;
}

void BufferedWriter::finish()
{
    flush();
    if (m_physicalEnd == m_start)
        return; // the file already ends here
    if (ftruncate(m_fd, static_cast<off_t>(m_start)) != 0)
        throw ZipFault{ZipErrorKind::WriteToStream, m_path};
    m_physicalEnd = m_start;
}

void BufferedWriter::rewind(uint64_t position)
{
    if (position >= m_start) {
        m_used = static_cast<std::size_t>(position - m_start);
        return;
    }
    // Bytes already on disk past position stay counted as written (m_physicalEnd is kept),
    // so zeros written over them are really written; finish() cuts off the rest.
    m_used = 0;
    m_start = position;
}

} // namespace torvinel::zipio
