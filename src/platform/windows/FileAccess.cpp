// The file-in-use test on Windows: an open for reading that shares nothing fails while any
// other program has the file open.
#include <windows.h>

#include "platform/Platform.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

FileAccess testFileAccess(const std::string& path)
{
    int64_t length = 0;
    return testFileAccess(path, length);
}

FileAccess testFileAccess(const std::string& path, int64_t& length)
{
    const std::wstring name = wide(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)
        || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return FileAccess::Missing;
    const auto listed = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    const HANDLE file =
        CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER size;
        length = GetFileSizeEx(file, &size) ? static_cast<int64_t>(size.QuadPart) : listed;
        CloseHandle(file);
        return FileAccess::Free;
    }
    switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        length = listed;
        return FileAccess::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return FileAccess::Missing;
    default:
        return FileAccess::Unreadable; // no permission, or the file cannot be opened at all
    }
}

} // namespace torvinel::platform
