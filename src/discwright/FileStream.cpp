#include "discwright/internal/FileStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace torvinel {

namespace {

// The layout of libisofs's stream record, which its header keeps from C++ (a member of it is
// named class).
struct StreamRecord {
    IsoStreamIface* streamClass;
    int refcount;
    void* data;
};

constexpr std::size_t BufferBytes = std::size_t{256} << 10;

struct LocalFile {
    std::string path;
    uint64_t size = 0;
    std::function<bool()> ready;
    ino_t serial = 0;
    int fd = -1;
    std::unique_ptr<char[]> buffer; // while open
    std::size_t buffered = 0;       // bytes in buffer
    std::size_t taken = 0;          // of them, handed out
};

LocalFile& fileOf(IsoStream* stream) { return *static_cast<LocalFile*>(reinterpret_cast<StreamRecord*>(stream)->data); }

int openStream(IsoStream* stream)
{
    LocalFile& file = fileOf(stream);
    if (file.fd >= 0)
        return ISO_FILE_ALREADY_OPENED;
    if (file.ready && !file.ready())
        return ISO_FILE_READ_ERROR;
    file.fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file.fd < 0)
        return ISO_FILE_DOESNT_EXIST;
    file.buffer.reset(new (std::nothrow) char[BufferBytes]);
    file.buffered = file.taken = 0;
    if (!file.buffer) {
        ::close(file.fd);
        file.fd = -1;
        return ISO_OUT_OF_MEM;
    }
    return ISO_SUCCESS;
}

int closeStream(IsoStream* stream)
{
    LocalFile& file = fileOf(stream);
    if (file.fd < 0)
        return ISO_FILE_NOT_OPENED;
    ::close(file.fd);
    file.fd = -1;
    file.buffer.reset();
    return ISO_SUCCESS;
}

off_t sizeOfStream(IsoStream* stream) { return static_cast<off_t>(fileOf(stream).size); }

// Whole reads but at the end, as the writer expects.
int readStream(IsoStream* stream, void* buffer, size_t count)
{
    LocalFile& file = fileOf(stream);
    if (file.fd < 0)
        return ISO_FILE_NOT_OPENED;
    std::size_t done = 0;
    while (done < count) {
        if (file.taken == file.buffered) {
            const ssize_t got = ::read(file.fd, file.buffer.get(), BufferBytes);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return ISO_FILE_READ_ERROR;
            if (got == 0)
                break;
            file.buffered = static_cast<std::size_t>(got);
            file.taken = 0;
        }
        const std::size_t n = std::min(count - done, file.buffered - file.taken);
        std::memcpy(static_cast<char*>(buffer) + done, file.buffer.get() + file.taken, n);
        file.taken += n;
        done += n;
    }
    return static_cast<int>(done);
}

int repeatableStream(IsoStream*) { return 1; }

void idOfStream(IsoStream* stream, unsigned int* fsId, dev_t* devId, ino_t* inoId)
{
    // No file system of the library's knows the stream: a serial number of its own, as
    // libisofs asks of such streams.
    *fsId = 0;
    *devId = 0;
    *inoId = fileOf(stream).serial;
}

void freeStream(IsoStream* stream)
{
    LocalFile* file = &fileOf(stream);
    if (file->fd >= 0)
        ::close(file->fd);
    delete file;
}

int updateSizeOfStream(IsoStream*) { return ISO_SUCCESS; }

IsoStreamIface fileStreamClass = {.version = 1,
                                  .type = {'u', 's', 'e', 'r'},
                                  .open = openStream,
                                  .close = closeStream,
                                  .get_size = sizeOfStream,
                                  .read = readStream,
                                  .is_repeatable = repeatableStream,
                                  .get_id = idOfStream,
                                  .free = freeStream,
                                  .update_size = updateSizeOfStream,
                                  .get_input_stream = nullptr,
                                  .cmp_ino = nullptr,
                                  .clone_stream = nullptr};

} // namespace

IsoStream* newFileStream(const std::string& path, uint64_t size, std::function<bool()> ready)
{
    // The library frees the record itself with free() when its last reference goes.
    auto* record = static_cast<StreamRecord*>(std::malloc(sizeof(StreamRecord)));
    if (record == nullptr)
        throw std::bad_alloc();
    record->streamClass = &fileStreamClass;
    record->refcount = 1;
    try {
        record->data = new LocalFile{path, size, std::move(ready), serial_id++, -1, nullptr, 0, 0};
    } catch (...) {
        std::free(record);
        throw;
    }
    return reinterpret_cast<IsoStream*>(record);
}

} // namespace torvinel
