#include <windows.h>

#include "platform/Platform.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

TraceSwitch libraryTraceSwitch()
{
    TraceSwitch result;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Discwright Labs", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ,
                        nullptr, &key, nullptr)
            != ERROR_SUCCESS
        && RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Discwright Labs", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return result;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(key, L"DiscwrightWrapper", L"LogEnabled", RRF_RT_REG_DWORD | RRF_RT_REG_BINARY, nullptr, &value,
                     &size)
        == ERROR_SUCCESS)
        result.enabled = value != 0;
    value = 0;
    size = sizeof value;
    if (RegGetValueW(key, L"DiscwrightWrapper", L"LogLevel", RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS)
        result.level = static_cast<int32_t>(value);
    RegCloseKey(key);
    return result;
}

std::string programFile()
{
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(sizeof path / sizeof path[0]));
    return length == 0 ? std::string() : narrow(std::wstring(path, length));
}

std::string mountPointOf(const std::string& device) { return device; }

std::vector<SystemDrive> systemDrives()
{
    std::vector<SystemDrive> drives;
    const DWORD mask = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if (!(mask & (1u << letter)))
            continue;
        SystemDrive drive;
        drive.number = letter;
        drive.root = std::string(1, static_cast<char>('A' + letter)) + ":\\";
        drive.optical = GetDriveTypeW(wide(drive.root).c_str()) == DRIVE_CDROM;
        drives.push_back(drive);
    }
    return drives;
}

std::string volumeLabel(const std::string& drive)
{
    wchar_t label[MAX_PATH + 1] = {};
    std::string root = drive;
    if (root.empty() || root.back() != '\\')
        root += '\\';
    if (!GetVolumeInformationW(wide(root).c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
        return {};
    return narrow(label);
}

} // namespace torvinel::platform
