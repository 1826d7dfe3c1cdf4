#include "archive/internal/ZipIo.h"

#include <cstring>

#include "archive/ZipError.h"

namespace torvinel::zipio {

std::size_t readAt(const platform::File& file, void* data, std::size_t size, uint64_t offset, const std::string& path,
                   ZipErrorKind failure)
{
    auto* out = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const int64_t n = file.readAt(out + done, size - done, offset + done);
        if (n < 0)
            throw ZipFault{failure, path};
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

void BufferedWriter::attach(platform::File& file, uint64_t position, const std::string& path, int64_t fileLength)
{
    m_file = &file;
    m_path = path;
    m_start = position;
    m_used = 0;
    const int64_t size = fileLength >= 0 ? fileLength : file.size();
    if (size < 0)
        throw ZipFault{ZipErrorKind::WriteToStream, path};
    m_physicalEnd = static_cast<uint64_t>(size);
}

void BufferedWriter::discard()
{
    m_file = nullptr;
    m_path.clear();
    m_start = 0;
    m_used = 0;
    m_physicalEnd = 0;
}

void BufferedWriter::writeOut(const unsigned char* data, std::size_t size, uint64_t offset)
{
    if (!m_file)
        return;
    if (offset >= m_physicalEnd && allZero(data, size))
        return; // a hole; finish() gives the file its length
    std::size_t done = 0;
    while (done < size) {
        const int64_t n = m_file->writeAt(data + done, size - done, offset + done);
        if (n < 0)
            throw ZipFault{ZipErrorKind::WriteToStream, m_path};
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
    if (!m_file || m_physicalEnd == m_start)
        return; // nothing kept, or the file already ends here
    if (!m_file->truncate(m_start))
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
