#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

// Files as the archive engine reads and writes them: an owned handle with positioned reads
// and writes, and the few facts about names and changes of names that the engine needs.
// Paths are UTF-8. One implementation per OS (platform/posix/File.cpp,
// platform/windows/File.cpp), chosen by the build.
namespace torvinel::platform {

// Why an open or a change of a name failed, where callers act on the difference.
enum class FileFailure { None, Missing, Exists, Other };

enum class FileKind {
    Missing, // no such name
    Unknown, // the name cannot be asked about (no permission, an I/O error)
    Regular,
    Folder,
    Other // a link not followed, a device, a pipe, a socket
};

// Mode bits as Unix writes them (type in 0170000, permissions in 07777). Windows makes them
// up: 0100666 or 0040777, without the write bits when the item is read-only.
namespace unixmode {
constexpr uint32_t TypeMask = 0170000;
constexpr uint32_t Regular = 0100000;
constexpr uint32_t Folder = 0040000;
constexpr uint32_t Permissions = 07777;
constexpr uint32_t OwnerWrite = 0200;
constexpr uint32_t AnyWrite = 0222;
} // namespace unixmode

struct FileStatus {
    FileKind kind = FileKind::Unknown;
    uint64_t size = 0;
    std::time_t lastWrite = 0;
    uint32_t mode = 0; // see unixmode
    // Identity: two statuses with the same device and file number are the same file.
    uint64_t device = 0;
    uint64_t fileNumber = 0;

    bool sameFile(const FileStatus& other) const { return device == other.device && fileNumber == other.fileNumber; }
};

enum class Links { Follow, DoNotFollow };
FileStatus fileStatus(const std::string& path, Links links);

enum class FileMode {
    Read,       // an existing file, for reading
    ReadWrite,  // an existing file, for reading and writing
    Create,     // made or emptied, for reading and writing (POSIX: 0666 less the umask)
    CreateNew,  // made, never an existing name nor through a link; for writing (POSIX: 0600)
    ReadSource, // an existing file read once from start to end: never through a link, and
                // the open does not wait should the name have become a pipe
};

class File {
public:
    File() = default;
    ~File() { reset(); }
    File(File&& other) noexcept
        : m_handle(other.m_handle), m_failure(other.m_failure), m_partOffset(other.m_partOffset),
          m_partLength(other.m_partLength)
    {
        other.m_handle = InvalidHandle;
    }
    File& operator=(File&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_handle = other.m_handle;
            m_failure = other.m_failure;
            m_partOffset = other.m_partOffset;
            m_partLength = other.m_partLength;
            other.m_handle = InvalidHandle;
        }
        return *this;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // An unopened File when the open fails; failure() tells why.
    [[nodiscard]] static File open(const std::string& path, FileMode mode);
    // Opens, read-only, the length bytes of path that start at offset as a file of their
    // own (a file stored inside a disc image): reads, size() and status().size see only
    // them; such a file is never sparse, and writes and truncate fail. The part may reach
    // beyond the end of path: reads then end early, as at any end of file.
    [[nodiscard]] static File openPart(const std::string& path, uint64_t offset, uint64_t length)
    {
        File file = open(path, FileMode::Read);
        file.m_partOffset = offset;
        file.m_partLength = static_cast<int64_t>(length);
        return file;
    }
    // Makes a new file named prefix plus a unique ending, for reading and writing, readable
    // by its owner only. path is set to the file's name (on failure: the last name tried).
    [[nodiscard]] static File createUnique(const std::string& prefix, std::string& path);

    bool isOpen() const { return m_handle != InvalidHandle; }
    bool isPart() const { return m_partLength >= 0; }
    FileFailure failure() const { return m_failure; }

    // Closes the file; false when the close reported an error (a late write error shows here).
    [[nodiscard]] bool close();
    // Closes the file without asking how the close went.
    void reset();

    // The current length; -1 when it cannot be asked.
    int64_t size() const;
    FileStatus status() const;
    // Reads up to size bytes at offset (interrupted reads are retried). Returns the count
    // read, less than size only at the end of the file or for a short read; -1 on an error.
    [[nodiscard]] int64_t readAt(void* data, std::size_t size, uint64_t offset) const;
    // Writes up to size bytes at offset; returns the count written, -1 on an error.
    [[nodiscard]] int64_t writeAt(const void* data, std::size_t size, uint64_t offset);
    [[nodiscard]] bool truncate(uint64_t length);
    // Puts the file's data on the device (its metadata only as far as reading it back needs).
    [[nodiscard]] bool sync();
    // Sparse files: true when fewer blocks are allocated than the length needs. holeAt gives
    // the length of the hole that starts at offset (0 where there is data, or where the file
    // system cannot tell), so that readers can make zeros instead of reading them.
    bool isSparse() const;
    uint64_t holeAt(uint64_t offset) const;
    // Sets the last-write time; the last-access time stays.
    [[nodiscard]] bool setLastWrite(std::time_t moment);
    // Sets the permission bits (Windows: read-only when the owner may not write).
    [[nodiscard]] bool setMode(uint32_t mode);

private:
    static constexpr std::intptr_t InvalidHandle = -1; // both a bad descriptor and a bad HANDLE
    explicit File(std::intptr_t handle, FileFailure failure) : m_handle(handle), m_failure(failure) { }
    // A read of a part, turned into one of the whole file: false when it starts at or past
    // the part's end, else size is cut to the part and offset moved by its start.
    bool partToWhole(std::size_t& size, uint64_t& offset) const
    {
        if (offset >= static_cast<uint64_t>(m_partLength))
            return false;
        if (size > static_cast<uint64_t>(m_partLength) - offset)
            size = static_cast<std::size_t>(static_cast<uint64_t>(m_partLength) - offset);
        offset += m_partOffset;
        return true;
    }

    std::intptr_t m_handle = InvalidHandle;
    FileFailure m_failure = FileFailure::None;
    uint64_t m_partOffset = 0;
    int64_t m_partLength = -1; // -1: the whole file
};

// The names in a folder, "." and ".." left out, in no particular order; nullopt when the
// folder cannot be read.
std::optional<std::vector<std::string>> folderNames(const std::string& folder);
// Makes one folder (POSIX: 0777 less the umask). Exists when the name is already taken.
[[nodiscard]] FileFailure makeFolder(const std::string& path);
// Removes a file's name; a link is removed itself, never what it points at.
[[nodiscard]] FileFailure removeFile(const std::string& path);
// Sets the permission bits of a name, following links (Windows: the read-only attribute
// of a file; folders keep theirs).
[[nodiscard]] bool setPathMode(const std::string& path, uint32_t mode);
// The bits the process takes away from the mode of what it creates (POSIX: the umask;
// Windows: none).
uint32_t creationMask();
// Where temporary files go: $TMPDIR or /tmp on POSIX, the user's temporary folder on
// Windows. No trailing separator.
std::string temporaryFolder();

} // namespace torvinel::platform
