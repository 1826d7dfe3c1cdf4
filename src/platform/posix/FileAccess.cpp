// The file-in-use test on POSIX. There are no mandatory share modes, so "in use" means what
// cooperating writers announce: an exclusive flock held by someone else.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Platform.h"

namespace torvinel::platform {

FileAccess testFileAccess(const std::string& path)
{
    int64_t length = 0;
    return testFileAccess(path, length);
}

FileAccess testFileAccess(const std::string& path, int64_t& length)
{
    // Opened first and asked through the descriptor: one walk of the path instead of two.
    // O_NONBLOCK: a FIFO's open must not wait for a writer (the walk leaves FIFOs out, but a
    // name can change into one at any time).
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return FileAccess::Missing;
        struct stat facts { };
        // A folder is no file, whether or not it may be opened.
        return stat(path.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode) ? FileAccess::Missing : FileAccess::Unreadable;
    }
    struct stat facts { };
    FileAccess result = FileAccess::Free;
    if (fstat(fd, &facts) != 0)
        result = FileAccess::Unreadable;
    else if (S_ISDIR(facts.st_mode))
        result = FileAccess::Missing;
    else if (!S_ISREG(facts.st_mode))
        result = FileAccess::Unreadable; // a FIFO or device would block or never end
    else if (flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        result = FileAccess::InUse;
    // Any other flock failure means the file system has no such locks: nobody can hold one.
    if (result == FileAccess::Free || result == FileAccess::InUse)
        length = static_cast<int64_t>(facts.st_size);
    close(fd); // closing also releases our shared lock
    return result;
}

} // namespace torvinel::platform
