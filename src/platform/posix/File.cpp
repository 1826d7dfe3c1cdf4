// Files on POSIX: descriptors opened close-on-exec, positioned reads and writes, holes of
// sparse files found with SEEK_DATA.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/File.h"

namespace torvinel::platform {

namespace {

FileFailure failureOf(int error)
{
    switch (error) {
    case ENOENT:
        return FileFailure::Missing;
    case EEXIST:
        return FileFailure::Exists;
    default:
        return FileFailure::Other;
    }
}

FileStatus statusOf(int result, const struct stat& facts)
{
    FileStatus status;
    if (result != 0) {
        status.kind = errno == ENOENT ? FileKind::Missing : FileKind::Unknown;
        return status;
    }
    status.kind = S_ISREG(facts.st_mode) ? FileKind::Regular
        : S_ISDIR(facts.st_mode)         ? FileKind::Folder
                                         : FileKind::Other;
    status.size = static_cast<uint64_t>(facts.st_size);
    status.lastWrite = facts.st_mtime;
    status.mode = static_cast<uint32_t>(facts.st_mode);
    status.device = static_cast<uint64_t>(facts.st_dev);
    status.fileNumber = static_cast<uint64_t>(facts.st_ino);
    return status;
}

int descriptorOf(std::intptr_t handle) { return static_cast<int>(handle); }

} // namespace

FileStatus fileStatus(const std::string& path, Links links)
{
    struct stat facts { };
    const int result = links == Links::Follow ? ::stat(path.c_str(), &facts) : ::lstat(path.c_str(), &facts);
    return statusOf(result, facts);
}

File File::open(const std::string& path, FileMode mode)
{
    int fd = -1;
    switch (mode) {
    case FileMode::Read:
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        break;
    case FileMode::ReadWrite:
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        break;
    case FileMode::Create:
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        break;
    case FileMode::CreateNew:
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        break;
    case FileMode::ReadSource:
        // O_NONBLOCK: for a regular file the flag changes nothing.
        fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        break;
    }
    if (fd < 0)
        return File(InvalidHandle, failureOf(errno));
    return File(fd, FileFailure::None);
}

File File::createUnique(const std::string& prefix, std::string& path)
{
    path = prefix + "XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0)
        return File(InvalidHandle, failureOf(errno));
    return File(fd, FileFailure::None);
}

bool File::close()
{
    if (!isOpen())
        return true;
    const int result = ::close(descriptorOf(m_handle));
    m_handle = InvalidHandle;
    return result == 0;
}

void File::reset()
{
    if (isOpen())
        ::close(descriptorOf(m_handle));
    m_handle = InvalidHandle;
}

int64_t File::size() const
{
    if (isPart())
        return m_partLength;
    struct stat facts { };
    if (fstat(descriptorOf(m_handle), &facts) != 0)
        return -1;
    // A device (an optical drive's) tells its size only to a seek to its end.
    if (S_ISBLK(facts.st_mode)) {
        const off_t end = lseek(descriptorOf(m_handle), 0, SEEK_END);
        return end < 0 ? -1 : static_cast<int64_t>(end);
    }
    return facts.st_size;
}

FileStatus File::status() const
{
    struct stat facts { };
    FileStatus status = statusOf(fstat(descriptorOf(m_handle), &facts), facts);
    if (isPart())
        status.size = static_cast<uint64_t>(m_partLength);
    return status;
}

int64_t File::readAt(void* data, std::size_t size, uint64_t offset) const
{
    if (isPart() && !partToWhole(size, offset))
        return 0;
    for (;;) {
        const ssize_t n = pread(descriptorOf(m_handle), data, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

int64_t File::writeAt(const void* data, std::size_t size, uint64_t offset)
{
    if (isPart())
        return -1;
    for (;;) {
        const ssize_t n = pwrite(descriptorOf(m_handle), data, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

bool File::truncate(uint64_t length)
{
    return !isPart() && ftruncate(descriptorOf(m_handle), static_cast<off_t>(length)) == 0;
}

bool File::sync() { return fdatasync(descriptorOf(m_handle)) == 0; }

bool File::isSparse() const
{
    struct stat facts { };
    return !isPart() && fstat(descriptorOf(m_handle), &facts) == 0
        && static_cast<uint64_t>(facts.st_blocks) * 512 < static_cast<uint64_t>(facts.st_size);
}

uint64_t File::holeAt(uint64_t offset) const
{
    if (isPart())
        return 0;
    const off_t data = lseek(descriptorOf(m_handle), static_cast<off_t>(offset), SEEK_DATA);
    if (data >= 0)
        return static_cast<uint64_t>(data) - offset;
    if (errno != ENXIO)
        return 0;                  // the file system cannot tell: read it
    const int64_t length = size(); // no data after offset: a hole to the end
    return length > static_cast<int64_t>(offset) ? static_cast<uint64_t>(length) - offset : 0;
}

bool File::setLastWrite(std::time_t moment)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, {moment, 0}};
    return futimens(descriptorOf(m_handle), times) == 0;
}

bool File::setMode(uint32_t mode) { return fchmod(descriptorOf(m_handle), static_cast<mode_t>(mode)) == 0; }

std::optional<std::vector<std::string>> folderNames(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

FileFailure makeFolder(const std::string& path)
{
    return ::mkdir(path.c_str(), 0777) == 0 ? FileFailure::None : failureOf(errno);
}

FileFailure removeFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 ? FileFailure::None : failureOf(errno);
}

bool setPathMode(const std::string& path, uint32_t mode)
{
    return ::chmod(path.c_str(), static_cast<mode_t>(mode)) == 0;
}

uint32_t creationMask()
{
    // umask can only be read by setting it: set and set back once, then remembered.
    static const mode_t mask = [] {
        const mode_t old = ::umask(022);
        ::umask(old);
        return old;
    }();
    return static_cast<uint32_t>(mask);
}

std::string temporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    std::string path = folder && *folder ? folder : "/tmp";
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace torvinel::platform
