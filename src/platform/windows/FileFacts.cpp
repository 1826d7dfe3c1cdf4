// What the program asks about a file on Windows.
#include <windows.h>

#include <ctime>

#include "platform/Platform.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

namespace {

constexpr Stamp earliestStamp{1980, 1, 1, 0, 0, 0};
constexpr Stamp latestStamp{2107, 12, 31, 23, 59, 58};

bool attributesOf(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data)
{
    return GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

} // namespace

bool fileExists(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return attributesOf(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool folderExists(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return attributesOf(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isRegularFile(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return attributesOf(path, data)
        && (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

int64_t freeSpace(const std::string& path)
{
    ULARGE_INTEGER available, total, totalFree;
    if (path.empty() || !GetDiskFreeSpaceExW(wide(path).c_str(), &available, &total, &totalFree))
        return -1;
    return static_cast<int64_t>(available.QuadPart);
}

int64_t driveFreeSpace(const std::string& path)
{
    if (path.empty())
        return 0;
    char letter = path[0];
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z')
        return 0;
    return freeSpace(std::string(1, letter) + ":\\");
}

Stamp localTime(std::time_t moment)
{
    std::tm parts{};
    if (localtime_s(&parts, &moment) != 0)
        return earliestStamp;
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

namespace {

Stamp stampOf(const FILETIME& written)
{
    // The daylight-saving rule of the file's own date, not today's: a stamp must not move
    // by an hour when the clocks change, or every file would look changed twice a year.
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&written, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return latestStamp; // only a time past the year 30827 cannot be converted
    if (local.wYear < 1980)
        return earliestStamp; // clamped instead of refused, so such a file is still backed up
    if (local.wYear > 2107)
        return latestStamp;
    // Two-second resolution; an odd second is rounded down, as the packed form does.
    return Stamp{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond - local.wSecond % 2};
}

} // namespace

std::optional<Stamp> lastWriteStamp(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!attributesOf(path, data))
        return std::nullopt;
    return stampOf(data.ftLastWriteTime);
}

Stamp lastWriteStamp(const FileIdentity& identity)
{
    const auto units = static_cast<uint64_t>(identity.written);
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(units & 0xFFFFFFFFu);
    written.dwHighDateTime = static_cast<DWORD>(units >> 32);
    return stampOf(written);
}

bool setLastWriteStamp(const std::string& path, const Stamp& stamp)
{
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(stamp.year);
    local.wMonth = static_cast<WORD>(stamp.month);
    local.wDay = static_cast<WORD>(stamp.day);
    local.wHour = static_cast<WORD>(stamp.hour);
    local.wMinute = static_cast<WORD>(stamp.minute);
    local.wSecond = static_cast<WORD>(stamp.second);
    SYSTEMTIME utc;
    FILETIME written;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &written))
        return false;
    const HANDLE file = CreateFileW(wide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = SetFileTime(file, nullptr, nullptr, &written) != 0;
    return CloseHandle(file) != 0 && ok;
}

std::optional<int64_t> fileLength(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!attributesOf(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

std::optional<FileIdentity> fileIdentity(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!attributesOf(path, data) || (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return std::nullopt;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const uint64_t written = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32)
        | data.ftLastWriteTime.dwLowDateTime;
    return FileIdentity{static_cast<int64_t>(size), static_cast<int64_t>(written), 0};
}

} // namespace torvinel::platform
