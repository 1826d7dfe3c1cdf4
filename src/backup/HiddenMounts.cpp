#include "backup/HiddenMounts.h"

#include <array>
#include <fstream>
#include <iterator>
#include <sstream>

namespace torvinel {

namespace {

constexpr std::array<std::string_view, 4> SystemFolders{"/proc", "/sys", "/dev", "/run"};

constexpr std::array<std::string_view, 22> PseudoTypes{
    "proc",        "sysfs",    "devtmpfs",   "devpts",   "cgroup",    "cgroup2",        "securityfs", "debugfs",
    "tracefs",     "pstore",   "bpf",        "configfs", "fusectl",   "mqueue",         "hugetlbfs",  "autofs",
    "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",     "selinuxfs", "fuse.gvfsd-fuse"};

bool inside(std::string_view path, std::string_view folder)
{
    return path == folder
        || (path.size() > folder.size() && path.substr(0, folder.size()) == folder && path[folder.size()] == '/');
}

bool underSystemFolder(std::string_view path)
{
    for (auto folder : SystemFolders)
        if (inside(path, folder))
            return true;
    return false;
}

// mountinfo writes space, tab, newline and backslash in a mount point as \ooo.
std::string unescape(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    const auto digit = [](char c) { return c >= '0' && c <= '7'; };
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && digit(field[i + 1]) && digit(field[i + 2])
            && digit(field[i + 3])) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += field[i];
    }
    return out;
}

bool sysfsRemovable(const std::string& device)
{
    // A whole disc has "removable" beside its device folder; a partition has it one up.
    for (const char* file : {"/removable", "/../removable"}) {
        std::ifstream in("/sys/dev/block/" + device + file);
        char flag = 0;
        if (in >> flag)
            return flag == '1';
    }
    return false;
}

} // namespace

std::vector<std::string> hiddenMountPoints(std::string_view mountinfo,
                                           const std::function<bool(const std::string&)>& isRemovable)
{
    std::vector<std::string> hidden(SystemFolders.begin(), SystemFolders.end());
    std::istringstream lines{std::string(mountinfo)};
    std::string line;
    while (std::getline(lines, line)) {
        // id parent major:minor root mount-point options [optional...] - type source options
        std::istringstream fields(line);
        std::vector<std::string> f{std::istream_iterator<std::string>(fields), std::istream_iterator<std::string>()};
        std::size_t dash = 6;
        while (dash < f.size() && f[dash] != "-")
            ++dash;
        if (f.size() < 5 || dash + 1 >= f.size())
            continue; // not a line we understand
        const std::string mountPoint = unescape(f[4]);
        const std::string& type = f[dash + 1];
        if (mountPoint == "/" || mountPoint.empty() || mountPoint[0] != '/')
            continue;
        bool hide = false;
        for (auto pseudo : PseudoTypes)
            hide = hide || type == pseudo;
        hide = hide || (type == "tmpfs" && underSystemFolder(mountPoint));
        hide = hide || inside(mountPoint, "/media") || inside(mountPoint, "/run/media");
        hide = hide || (isRemovable && isRemovable(f[2]));
        if (hide && !underSystemFolder(mountPoint))
            hidden.push_back(mountPoint);
    }
    return hidden;
}

std::vector<std::string> hiddenMountPoints()
{
    std::ifstream in("/proc/self/mountinfo", std::ios::binary);
    if (!in)
        return {};
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return hiddenMountPoints(text, sysfsRemovable);
}

} // namespace torvinel
