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
    struct stat facts { };
    if (stat(path.c_str(), &facts) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileAccess::Missing : FileAccess::Unreadable;
    if (S_ISDIR(facts.st_mode))
        return FileAccess::Missing;
    if (!S_ISREG(facts.st_mode))
        return FileAccess::Unreadable; // a FIFO or device would block or never end
    // O_NONBLOCK: should the name have become a FIFO since stat, the open must not wait.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? FileAccess::Missing : FileAccess::Unreadable;
    FileAccess result = FileAccess::Free;
    if (flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        result = FileAccess::InUse;
    // Any other flock failure means the file system has no such locks: nobody can hold one.
    close(fd); // closing also releases our shared lock
    return result;
}

} // namespace torvinel::platform
