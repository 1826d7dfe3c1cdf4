// The file-in-use test on Windows: an open for reading that shares nothing fails while any
// other program has the file open.
#include <windows.h>

#include "platform/Platform.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

FileAccess testFileAccess(const std::string& path)
{
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return FileAccess::Missing;
    const HANDLE file =
        CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return FileAccess::Free;
    }
    switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return FileAccess::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return FileAccess::Missing;
    default:
        return FileAccess::Unreadable; // no permission, or the file cannot be opened at all
    }
}

} // namespace torvinel::platform
