// Files on Windows: HANDLEs from CreateFileW, positioned reads and writes through an
// OVERLAPPED offset on a synchronous handle. Holes of sparse files are read as the zeros
// they hold.
#include <windows.h>

#include <cstdint>

#include "platform/File.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

namespace {

// Seconds between 1601-01-01 (FILETIME) and 1970-01-01 (time_t).
constexpr int64_t EpochDifference = 11644473600LL;
constexpr int64_t TicksPerSecond = 10000000LL; // FILETIME counts 100 ns

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

FileFailure failureOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return FileFailure::Missing;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return FileFailure::Exists;
    default:
        return FileFailure::Other;
    }
}

std::time_t timeOf(const FILETIME& time)
{
    const int64_t ticks = (static_cast<int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<std::time_t>(ticks / TicksPerSecond - EpochDifference);
}

FILETIME fileTimeOf(std::time_t moment)
{
    const int64_t ticks = (static_cast<int64_t>(moment) + EpochDifference) * TicksPerSecond;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
    return time;
}

FileStatus statusOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    FileStatus status;
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    status.kind = link ? FileKind::Other : folder ? FileKind::Folder : FileKind::Regular;
    status.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    status.lastWrite = timeOf(info.ftLastWriteTime);
    status.mode = folder ? (unixmode::Folder | 0777) : (unixmode::Regular | 0666);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        status.mode &= ~unixmode::AnyWrite;
    status.device = info.dwVolumeSerialNumber;
    status.fileNumber = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return status;
}

OVERLAPPED at(uint64_t offset)
{
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

} // namespace

FileStatus fileStatus(const std::string& path, Links links)
{
    // Opening with no access asks nothing of the content; backup semantics open folders.
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
    if (links == Links::DoNotFollow)
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    const HANDLE file = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, flags, nullptr);
    FileStatus status;
    if (file == INVALID_HANDLE_VALUE) {
        status.kind = failureOf(GetLastError()) == FileFailure::Missing ? FileKind::Missing : FileKind::Unknown;
        return status;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info))
        status = statusOf(info);
    CloseHandle(file);
    return status;
}

File File::open(const std::string& path, FileMode mode)
{
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    switch (mode) {
    case FileMode::Read:
        break;
    case FileMode::ReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
    case FileMode::Create:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    case FileMode::CreateNew:
        access = GENERIC_WRITE | FILE_WRITE_ATTRIBUTES;
        disposition = CREATE_NEW;
        break;
    case FileMode::ReadSource:
        flags |= FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT;
        break;
    }
    const HANDLE file = CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, disposition, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return File(InvalidHandle, failureOf(GetLastError()));
    return File(reinterpret_cast<std::intptr_t>(file), FileFailure::None);
}

File File::createUnique(const std::string& prefix, std::string& path)
{
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    uint64_t seed = GetTickCount64() ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = prefix;
        for (int i = 0; i < 6; ++i) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            path += digits[(seed >> 33) % 36];
        }
        const HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return File(reinterpret_cast<std::intptr_t>(file), FileFailure::None);
        if (GetLastError() != ERROR_FILE_EXISTS)
            return File(InvalidHandle, failureOf(GetLastError()));
    }
    return File(InvalidHandle, FileFailure::Exists);
}

bool File::close()
{
    if (!isOpen())
        return true;
    const BOOL closed = CloseHandle(handleOf(m_handle));
    m_handle = InvalidHandle;
    return closed != 0;
}

void File::reset()
{
    if (isOpen())
        CloseHandle(handleOf(m_handle));
    m_handle = InvalidHandle;
}

int64_t File::size() const
{
    if (isPart())
        return m_partLength;
    LARGE_INTEGER length;
    if (!GetFileSizeEx(handleOf(m_handle), &length))
        return -1;
    return length.QuadPart;
}

FileStatus File::status() const
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handleOf(m_handle), &info))
        return FileStatus{};
    FileStatus status = statusOf(info);
    if (isPart())
        status.size = static_cast<uint64_t>(m_partLength);
    return status;
}

int64_t File::readAt(void* data, std::size_t size, uint64_t offset) const
{
    if (isPart() && !partToWhole(size, offset))
        return 0;
    // One call moves at most 4 GiB less a little; callers loop for more.
    const DWORD want = size > 0x7fffffff ? 0x7fffffff : static_cast<DWORD>(size);
    OVERLAPPED position = at(offset);
    DWORD done = 0;
    if (!ReadFile(handleOf(m_handle), data, want, &done, &position))
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return done;
}

int64_t File::writeAt(const void* data, std::size_t size, uint64_t offset)
{
    if (isPart())
        return -1;
    const DWORD want = size > 0x7fffffff ? 0x7fffffff : static_cast<DWORD>(size);
    OVERLAPPED position = at(offset);
    DWORD done = 0;
    if (!WriteFile(handleOf(m_handle), data, want, &done, &position))
        return -1;
    return done;
}

bool File::truncate(uint64_t length)
{
    if (isPart())
        return false;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(length);
    return SetFilePointerEx(handleOf(m_handle), position, nullptr, FILE_BEGIN) && SetEndOfFile(handleOf(m_handle));
}

bool File::sync() { return FlushFileBuffers(handleOf(m_handle)) != 0; }

bool File::isSparse() const
{
    return false; // holes are read as the zeros they hold
}

uint64_t File::holeAt(uint64_t) const { return 0; }

bool File::setLastWrite(std::time_t moment)
{
    const FILETIME time = fileTimeOf(moment);
    return SetFileTime(handleOf(m_handle), nullptr, nullptr, &time) != 0;
}

bool File::setMode(uint32_t mode)
{
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(handleOf(m_handle), FileBasicInfo, &info, sizeof info))
        return false;
    if (mode & unixmode::OwnerWrite)
        info.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    else
        info.FileAttributes |= FILE_ATTRIBUTE_READONLY;
    if (info.FileAttributes == 0)
        info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handleOf(m_handle), FileBasicInfo, &info, sizeof info) != 0;
}

std::optional<std::vector<std::string>> folderNames(const std::string& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(wide(folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::vector<std::string> names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(narrow(name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

FileFailure makeFolder(const std::string& path)
{
    return CreateDirectoryW(wide(path).c_str(), nullptr) ? FileFailure::None : failureOf(GetLastError());
}

FileFailure removeFile(const std::string& path)
{
    return DeleteFileW(wide(path).c_str()) ? FileFailure::None : failureOf(GetLastError());
}

bool setPathMode(const std::string& path, uint32_t mode)
{
    const std::wstring name = wide(path);
    DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return true; // on a folder the attribute means something else
    if (mode & unixmode::OwnerWrite)
        attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    else
        attributes |= FILE_ATTRIBUTE_READONLY;
    return SetFileAttributesW(name.c_str(), attributes) != 0;
}

uint32_t creationMask() { return 0; }

std::string temporaryFolder()
{
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH)
        return ".";
    std::string path = narrow(std::wstring(buffer, length));
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}

} // namespace torvinel::platform
