#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/Platform.h"

namespace torvinel::platform {

namespace {

// The holder writes its id just after taking the lock; a start that comes in between waits
// a moment for it.
int64_t readHolder(int fd)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        char text[32] = {};
        const ssize_t length = pread(fd, text, sizeof text - 1, 0);
        if (length > 0) {
            try {
                return std::stoll(std::string(text, static_cast<std::size_t>(length)));
            } catch (const std::exception&) {
                return 0; // not a number: the holder cannot be named
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

} // namespace

ProcessLock::ProcessLock(const std::string& path)
{
    // O_CLOEXEC: a program started from here must not keep the lock after this process ends.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    int locked = 0;
    do
        locked = flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        // Any failure but a holder means a file system without such locks: nobody can hold
        // one, and the start goes on as before there were locks.
        if (errno == EWOULDBLOCK) {
            m_outcome = Outcome::HeldElsewhere;
            m_holder = readHolder(fd);
            close(fd);
            return;
        }
    }
    m_handle = fd;
    m_outcome = Outcome::Held;
    const std::string id = std::to_string(getpid());
    // Without the id the lock still holds; a refused start then names process 0.
    if (ftruncate(fd, 0) == 0)
        static_cast<void>(pwrite(fd, id.data(), id.size(), 0));
}

ProcessLock::~ProcessLock()
{
    if (m_handle >= 0)
        close(static_cast<int>(m_handle)); // closing lets go of the lock
}

} // namespace torvinel::platform
