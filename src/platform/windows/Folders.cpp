// The user's folders on Windows, from the shell's special folders.
#include <windows.h>
#include <shlobj.h>

#include "platform/Platform.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

namespace {

std::string specialFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    std::string folder = narrow(path);
    if (folder.size() > 3 && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

} // namespace

std::string applicationDataFolder() { return specialFolder(CSIDL_APPDATA); }

std::string documentsFolder() { return specialFolder(CSIDL_PERSONAL); }

std::string homeFolder() { return specialFolder(CSIDL_PROFILE); }

} // namespace torvinel::platform
