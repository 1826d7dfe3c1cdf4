// Folder listings on POSIX: every entry (hidden ones too), nothing followed.
#include <dirent.h>
#include <sys/stat.h>

#include "platform/Platform.h"

namespace torvinel::platform {

std::vector<DirEntry> listFolder(const std::string& folder, const std::string& mask)
{
    std::vector<DirEntry> entries;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return entries;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || !matchesMask(name, mask))
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) { // some file systems do not fill d_type
            struct stat facts { };
            isFolder = lstat(joinPath(folder, std::string(name)).c_str(), &facts) == 0 && S_ISDIR(facts.st_mode);
        }
        entries.push_back({std::string(name), isFolder});
    }
    closedir(dir);
    return entries;
}

} // namespace torvinel::platform
