#pragma once
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Everything that differs between Windows and POSIX. One header, one implementation per OS
// (platform/posix/, platform/windows/), chosen by the build; callers never use #ifdef.
namespace torvinel::platform {

// --- folders --------------------------------------------------------------------------
// The per-user application-data folder (POSIX: $XDG_DATA_HOME or ~/.local/share).
std::string applicationDataFolder();
// The user's documents folder (POSIX: XDG_DOCUMENTS_DIR from user-dirs.dirs, else ~/Documents).
std::string documentsFolder();
// The user's home folder.
std::string homeFolder();
// '\\' on Windows, '/' on POSIX.
char pathSeparator();
std::string joinPath(const std::string& folder, const std::string& name);

// --- paths ----------------------------------------------------------------------------
// Length of the drive prefix of an absolute path: 3 for "C:\" on Windows, 1 for "/" on POSIX.
std::size_t drivePrefixLength();
// Group letter of a path's archive: the lowercase drive letter on Windows, 'r' on POSIX.
char groupLetter(std::string_view path);
// The collation of every sorted list and of path identity: case-insensitive ordinal on
// Windows, byte order on POSIX. Returns <0, 0, >0.
int comparePaths(std::string_view a, std::string_view b);
bool samePath(std::string_view a, std::string_view b);
// The first position, from `from` on, where a and b differ in that collation (the shorter
// one's length when it is a beginning of the other); a and b are known to agree before from.
// So a merge that keeps how far neighbours agree never compares the same beginning twice.
std::size_t pathMismatch(std::string_view a, std::string_view b, std::size_t from);

// --- listing --------------------------------------------------------------------------
struct DirEntry {
    std::string name;
    bool isFolder = false; // a real folder (POSIX: a directory, not a symbolic link to one)
};
// Entries of folder whose names match mask ("*" and "?" wildcards, letter case ignored),
// hidden entries included, "." and ".." excluded. A missing folder gives an empty list.
std::vector<DirEntry> listFolder(const std::string& folder, const std::string& mask);
// True when a mask ("2*.csv") matches a name, letter case ignored.
bool matchesMask(std::string_view name, std::string_view mask);

// --- file facts -----------------------------------------------------------------------
// POSIX: neither follows a symbolic link, so a link is neither a file nor a folder here.
bool fileExists(const std::string& path);   // a regular file
bool folderExists(const std::string& path); // a real folder
// Regular files only: POSIX skips FIFOs, sockets, devices and symbolic links.
bool isRegularFile(const std::string& path);
// Free bytes of the file system holding path; -1 when it cannot be asked.
[[nodiscard]] int64_t freeSpace(const std::string& path);
// Free bytes of the "drive" of path. Windows: the drive named by the first character (a
// letter, either case); 0 when that is not a letter A-Z, -1 when the drive does not exist.
// POSIX: freeSpace(path).
[[nodiscard]] int64_t driveFreeSpace(const std::string& path);
// The last-write time as a packed DOS stamp value: local time, even seconds, clamped to
// 1980-01-01 00:00:00 .. 2107-12-31 23:59:58. nullopt when the file does not exist.
struct Stamp {
    int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
// The stamp as the C library's broken-down local time (daylight saving left to mktime).
inline std::tm toTm(const Stamp& stamp)
{
    std::tm parts{};
    parts.tm_year = stamp.year - 1900;
    parts.tm_mon = stamp.month - 1;
    parts.tm_mday = stamp.day;
    parts.tm_hour = stamp.hour;
    parts.tm_min = stamp.minute;
    parts.tm_sec = stamp.second;
    parts.tm_isdst = -1;
    return parts;
}
[[nodiscard]] std::optional<Stamp> lastWriteStamp(const std::string& path);
// A moment as local date and time to the second (no rounding, no clamping).
Stamp localTime(std::time_t moment);
// Sets a file's last-write time from a stamp (local time).
[[nodiscard]] bool setLastWriteStamp(const std::string& path, const Stamp& stamp);
// The 64-bit length of a regular file; nullopt when it cannot be asked.
[[nodiscard]] std::optional<int64_t> fileLength(const std::string& path);
// What tells one version of a file from another without reading it. Any write moves the
// POSIX status-change time, and no program can set it back; Windows has only the size and the
// last-write time. So an identity taken before a read and the same one taken after it mean
// that nothing wrote the file meanwhile.
struct FileIdentity {
    int64_t size = 0;
    int64_t written = 0; // last-write time: nanoseconds (POSIX), 100-nanosecond units (Windows)
    int64_t changed = 0; // status-change time in nanoseconds (POSIX; 0 on Windows)
    bool operator==(const FileIdentity&) const = default;
};
// The identity of a regular file (a symbolic link is followed, as lastWriteStamp does);
// nullopt when there is none.
[[nodiscard]] std::optional<FileIdentity> fileIdentity(const std::string& path);
// The stamp lastWriteStamp gives for the last-write time an identity holds: one look at a
// file for both.
Stamp lastWriteStamp(const FileIdentity& identity);

// --- file in use ----------------------------------------------------------------------
enum class FileAccess { Free, InUse, Unreadable, Missing };
// Windows: an exclusive open. POSIX: open for reading plus a non-blocking shared flock, so
// a writer's exclusive flock makes the file InUse. Unreadable: it cannot be opened at all
// (no permission; POSIX also: not a regular file). Missing: no file of that name (a folder
// is no file).
[[nodiscard]] FileAccess testFileAccess(const std::string& path);
// The same, also giving the file's length as the test found it, when Free or InUse.
[[nodiscard]] FileAccess testFileAccess(const std::string& path, int64_t& length);

// --- archive attribute ----------------------------------------------------------------
// Windows: attribute 0x20. POSIX: emulated; a file counts as "set" unless its status-change
// time (ctime, nanoseconds) equals the one recorded when the bit was last cleared. The
// record lives in stateFolder (the application folder); it is read at the first question and
// written only by save().
class ArchiveAttribute {
public:
    explicit ArchiveAttribute(std::string stateFolder);
    ~ArchiveAttribute();
    ArchiveAttribute(const ArchiveAttribute&) = delete;
    ArchiveAttribute& operator=(const ArchiveAttribute&) = delete;
    // True also when the file cannot be asked: when in doubt, a file is backed up.
    bool isSet(const std::string& path);
    void clear(const std::string& path);
    // Clears the bit for the file as it was when readFrom was taken, before its content was
    // read: when the file is no longer that (or is gone), the bit is set instead, so a write
    // during the read is never taken for backed up.
    void clear(const std::string& path, const FileIdentity& readFrom);
    // Marks the file as not backed up again (its packed copy was discarded before the burn).
    void set(const std::string& path);
    // Writes the record when it changed (POSIX; always true on Windows). False when it
    // could not be written: the clears of this run are then forgotten and those files
    // count as set again, which costs a second copy but loses nothing.
    [[nodiscard]] bool save();
    // The record's file name in stateFolder (POSIX).
    static constexpr const char* recordName = "ArchiveBits.dat";

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// --- changing the file system ---------------------------------------------------------
// One level; true when a folder (POSIX: also one reached through a link) exists after.
[[nodiscard]] bool createFolder(const std::string& path);
[[nodiscard]] bool createFolders(const std::string& path); // with every missing parent
// Everything inside, recursively; true when nothing is left inside (an empty folder counts
// as emptied). False when folder is not a folder. folder itself may be a link to a folder;
// links inside it are removed, never followed.
[[nodiscard]] bool deleteFolderContents(const std::string& folder);
// The folder and everything in it; false when it is missing or something stays behind.
[[nodiscard]] bool deleteFolder(const std::string& folder);
[[nodiscard]] bool deleteFile(const std::string& path); // false when missing
// Moves temporary over target in one step (the target is replaced when it exists), so a
// reader sees the old or the new file, never half of one.
[[nodiscard]] bool replaceFile(const std::string& temporary, const std::string& target);
// Gives a folder a new name on the same drive in one step; false when something already
// has the new name or the move failed (nothing is replaced).
[[nodiscard]] bool renameFolder(const std::string& from, const std::string& to);
// Makes the entries of a folder (files made, renamed, removed in it) last through a power
// cut; false when that could not be done.
[[nodiscard]] bool syncFolder(const std::string& folder);
// Copies a file's content (replacing the target); true only when every byte was written and
// closed. The copy keeps the source's modification time and, on POSIX, its permission bits
// (a 0600 file stays 0600, also on another file system); on Windows it is an ordinary
// writable file.
[[nodiscard]] bool copyFile(const std::string& source, const std::string& target);

// --- one program at a time -------------------------------------------------------------
// An exclusive advisory lock on a file, taken without waiting and held while the object
// lives. The system lets go of it when the process ends, by a crash too, so a dead holder
// never blocks the next start. The holder writes its process id into the file as text, so a
// refused process can name it. POSIX: flock(LOCK_EX | LOCK_NB) on a descriptor that no child
// inherits. Windows: the file kept open for writing, sharing reads only.
class ProcessLock {
public:
    enum class Outcome { Held, HeldElsewhere, Unavailable };
    // Takes the lock on path; the file is created when missing (its folder must exist).
    explicit ProcessLock(const std::string& path);
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // Unavailable: the file could not be opened at all (no permission, no folder).
    Outcome outcome() const { return m_outcome; }
    // With HeldElsewhere: the holder's process id; 0 when the file does not tell it.
    int64_t holder() const { return m_holder; }

private:
    Outcome m_outcome = Outcome::Unavailable;
    int64_t m_holder = 0;
    intptr_t m_handle = -1; // the descriptor (POSIX) or HANDLE (Windows) that holds the lock
};

// --- drives and the disc library's surroundings -----------------------------------------
// The trace switch of the disc library's wrapper. Windows: the values LogEnabled and
// LogLevel of HKEY_LOCAL_MACHINE\Software\Discwright Labs\DiscwrightWrapper (the key is
// created when missing). POSIX: the same keys in section [DiscwrightWrapper] of
// $XDG_CONFIG_HOME/Discwright Labs/DiscwrightWrapper.ini (~/.config when XDG_CONFIG_HOME is
// unset). Absent values, or a switch that cannot be read: off, level 0.
struct TraceSwitch {
    bool enabled = false;
    int32_t level = 0;
};
TraceSwitch libraryTraceSwitch();
// Full path of the running program's file; empty when it cannot be told.
[[nodiscard]] std::string programFile();
// The drives a disc can be read from. Windows: every drive letter of the logical-drive
// mask, number 0 for A, root "E:\", optical when its type is CD-ROM. POSIX: every optical
// device (/sys/block/sr*), in the order of their numbers, number N of /dev/srN, root the
// folder its disc is mounted at, or the device path ("/dev/sr0") while nothing is mounted.
struct SystemDrive {
    int number = 0;
    std::string root;
    bool optical = false;
};
std::vector<SystemDrive> systemDrives();
// Where a device's disc is mounted now (POSIX; "" when it is not); Windows: the device.
std::string mountPointOf(const std::string& device);
// The volume label of a drive's disc ("E:" on Windows, "/dev/sr0" on POSIX); "" when it
// has none or cannot be told.
[[nodiscard]] std::string volumeLabel(const std::string& drive);

// --- desktop --------------------------------------------------------------------------
void debugOutput(const std::string& text); // OutputDebugString / standard error
// Registers the shell's "QueryCancelAutoPlay" message and returns its number; 0 where the
// platform has no AutoPlay to suppress.
unsigned registerQueryCancelAutoPlay();

} // namespace torvinel::platform
