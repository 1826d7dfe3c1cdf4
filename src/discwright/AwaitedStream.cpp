#include "discwright/internal/AwaitedStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

struct Awaited {
    std::string path;
    AwaitedFile file;
    ino_t serial = 0;
    int fd = -1;
};

Awaited& awaitedOf(IsoStream* stream) { return *static_cast<Awaited*>(reinterpret_cast<StreamRecord*>(stream)->data); }

int openStream(IsoStream* stream)
{
    Awaited& awaited = awaitedOf(stream);
    if (awaited.fd >= 0)
        return ISO_FILE_ALREADY_OPENED;
    if (!awaited.file.ready || !awaited.file.ready())
        return ISO_FILE_READ_ERROR;
    awaited.fd = ::open(awaited.path.c_str(), O_RDONLY | O_CLOEXEC);
    return awaited.fd < 0 ? ISO_FILE_DOESNT_EXIST : ISO_SUCCESS;
}

int closeStream(IsoStream* stream)
{
    Awaited& awaited = awaitedOf(stream);
    if (awaited.fd < 0)
        return ISO_FILE_NOT_OPENED;
    ::close(awaited.fd);
    awaited.fd = -1;
    return ISO_SUCCESS;
}

off_t sizeOfStream(IsoStream* stream) { return static_cast<off_t>(awaitedOf(stream).file.size); }

// Whole reads but at the end, as the writer expects.
int readStream(IsoStream* stream, void* buffer, size_t count)
{
    Awaited& awaited = awaitedOf(stream);
    if (awaited.fd < 0)
        return ISO_FILE_NOT_OPENED;
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(awaited.fd, static_cast<char*>(buffer) + done, count - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ISO_FILE_READ_ERROR;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
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
    *inoId = awaitedOf(stream).serial;
}

void freeStream(IsoStream* stream)
{
    Awaited* awaited = &awaitedOf(stream);
    if (awaited->fd >= 0)
        ::close(awaited->fd);
    delete awaited;
}

int updateSizeOfStream(IsoStream*) { return ISO_SUCCESS; }

IsoStreamIface awaitedStreamClass = {.version = 1,
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

IsoStream* newAwaitedStream(const std::string& path, AwaitedFile file)
{
    // The library frees the record itself with free() when its last reference goes.
    auto* record = static_cast<StreamRecord*>(std::malloc(sizeof(StreamRecord)));
    if (record == nullptr)
        throw std::bad_alloc();
    record->streamClass = &awaitedStreamClass;
    record->refcount = 1;
    record->data = new Awaited{path, std::move(file), serial_id++, -1};
    return reinterpret_cast<IsoStream*>(record);
}

} // namespace torvinel
