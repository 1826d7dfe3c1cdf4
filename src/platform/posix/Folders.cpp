// The user's folders on POSIX, as the XDG base-directory and user-dirs conventions name them.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/Platform.h"

namespace torvinel::platform {

namespace {

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// An XDG variable counts only when it holds an absolute path; anything else is ignored.
std::string absoluteVariable(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/')
        return {};
    return withoutTrailingSlash(value);
}

// The value of XDG_DOCUMENTS_DIR in user-dirs.dirs: a double-quoted path that is either
// absolute or begins with $HOME (shell syntax, backslash escapes allowed). Empty when the
// file or the line is missing or malformed.
std::string documentsFromUserDirs(const std::string& configHome, const std::string& home)
{
    std::ifstream file(configHome + "/user-dirs.dirs");
    std::string line;
    std::string result;
    while (std::getline(file, line)) {
        std::size_t i = line.find_first_not_of(" \t");
        if (i == std::string::npos || line[i] == '#')
            continue;
        constexpr std::string_view key = "XDG_DOCUMENTS_DIR=\"";
        if (line.compare(i, key.size(), key) != 0)
            continue;
        i += key.size();
        std::string value;
        bool closed = false;
        for (; i < line.size(); ++i) {
            char c = line[i];
            if (c == '"') {
                closed = true;
                break;
            }
            if (c == '\\' && i + 1 < line.size())
                c = line[++i];
            value += c;
        }
        if (!closed)
            continue;
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
            value = (home == "/" ? "" : home) + value.substr(5);
        else if (value.empty() || value[0] != '/')
            continue;
        result = withoutTrailingSlash(value); // the last assignment wins, as in the shell
    }
    return result;
}

} // namespace

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return withoutTrailingSlash(home);
    if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_dir != nullptr)
        return withoutTrailingSlash(entry->pw_dir);
    return "/";
}

std::string applicationDataFolder()
{
    std::string folder = absoluteVariable("XDG_DATA_HOME");
    return folder.empty() ? joinPath(homeFolder(), ".local/share") : folder;
}

std::string documentsFolder()
{
    const std::string home = homeFolder();
    std::string configHome = absoluteVariable("XDG_CONFIG_HOME");
    if (configHome.empty())
        configHome = joinPath(home, ".config");
    std::string folder = documentsFromUserDirs(configHome, home);
    return folder.empty() ? joinPath(home, "Documents") : folder;
}

} // namespace torvinel::platform
