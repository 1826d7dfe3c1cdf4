#include <windows.h>

#include <stdexcept>
#include <string>

#include "platform/Platform.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

namespace {

// The holder shares reads, so its id can be read while it keeps the file open. It writes the
// id just after opening; a start that comes in between waits a moment for it.
int64_t readHolder(const std::wstring& name)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 0;
        char text[32] = {};
        DWORD length = 0;
        const BOOL read = ReadFile(file, text, sizeof text - 1, &length, nullptr);
        CloseHandle(file);
        if (read && length > 0) {
            try {
                return std::stoll(std::string(text, length));
            } catch (const std::exception&) {
                return 0; // not a number: the holder cannot be named
            }
        }
        Sleep(10);
    }
    return 0;
}

} // namespace

ProcessLock::ProcessLock(const std::string& path)
{
    const std::wstring name = wide(path);
    // Sharing reads only: a second open for writing fails while this handle lives, and the
    // system closes the handle when the process ends.
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
            m_outcome = Outcome::HeldElsewhere;
            m_holder = readHolder(name);
        }
        return;
    }
    m_handle = reinterpret_cast<intptr_t>(file);
    m_outcome = Outcome::Held;
    const std::string id = std::to_string(GetCurrentProcessId());
    DWORD written = 0;
    // Without the id the lock still holds; a refused start then names process 0.
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER && SetEndOfFile(file))
        static_cast<void>(WriteFile(file, id.data(), static_cast<DWORD>(id.size()), &written, nullptr));
}

ProcessLock::~ProcessLock()
{
    if (m_handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

} // namespace torvinel::platform
