// Folder listings on Windows. The system's own mask matching also matches short 8.3 names
// ("2*.csv" can find a long name whose short name fits); listing everything and matching
// here gives the same answer as on every other platform.
#include <windows.h>

#include "platform/Platform.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

std::vector<DirEntry> listFolder(const std::string& folder, const std::string& mask)
{
    std::vector<DirEntry> entries;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(wide(joinPath(folder, "*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const std::string name = narrow(found.cFileName);
        if (name == "." || name == ".." || !matchesMask(name, mask))
            continue;
        entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

} // namespace torvinel::platform
