#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/Platform.h"

namespace torvinel::platform {

namespace fs = std::filesystem;

namespace {

// /proc/self/mounts writes blanks and a few other characters as \\ooo.
std::string unescapeMountField(const std::string& field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()
            && std::all_of(field.begin() + static_cast<long>(i) + 1, field.begin() + static_cast<long>(i) + 4,
                           [](char c) { return c >= '0' && c <= '7'; })) {
            text += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// /dev/disk/by-label writes blanks and other characters as \\xhh.
std::string unescapeLabel(const std::string& name)
{
    std::string text;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x'
            && std::isxdigit(static_cast<unsigned char>(name[i + 2]))
            && std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
            text += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            text += name[i];
        }
    }
    return text;
}

std::string canonical(const std::string& path)
{
    std::error_code ec;
    const fs::path resolved = fs::canonical(path, ec);
    return ec ? path : resolved.string();
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool equalsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

TraceSwitch libraryTraceSwitch()
{
    TraceSwitch result;
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const std::string folder = configHome && *configHome ? configHome : homeFolder() + "/.config";
    std::ifstream in(folder + "/Discwright Labs/DiscwrightWrapper.ini");
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line.front() == '[') {
            inSection = line.back() == ']' && equalsIgnoringCase(line.substr(1, line.size() - 2), "DiscwrightWrapper");
            continue;
        }
        const auto equals = line.find('=');
        if (!inSection || equals == std::string::npos)
            continue;
        const std::string key = trimmed(line.substr(0, equals));
        const std::string value = trimmed(line.substr(equals + 1));
        char* end = nullptr;
        const long number = std::strtol(value.c_str(), &end, 10);
        const bool isNumber = !value.empty() && end && *end == '\0';
        if (equalsIgnoringCase(key, "LogEnabled"))
            result.enabled = isNumber ? number != 0 : equalsIgnoringCase(value, "true");
        else if (equalsIgnoringCase(key, "LogLevel") && isNumber)
            result.level = static_cast<int32_t>(number);
    }
    return result;
}

std::string programFile()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}

std::string mountPointOf(const std::string& device)
{
    const std::string wanted = canonical(device);
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
        const auto blank = line.find(' ');
        if (blank == std::string::npos)
            continue;
        const auto next = line.find(' ', blank + 1);
        const std::string source = unescapeMountField(line.substr(0, blank));
        if (source.rfind("/dev/", 0) == 0 && canonical(source) == wanted)
            return unescapeMountField(
                line.substr(blank + 1, next == std::string::npos ? std::string::npos : next - blank - 1));
    }
    return {};
}

std::vector<SystemDrive> systemDrives()
{
    std::vector<SystemDrive> drives;
    std::error_code ec;
    for (fs::directory_iterator it("/sys/block", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 3 || name.compare(0, 2, "sr") != 0
            || !std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        SystemDrive drive;
        drive.number = std::stoi(name.substr(2));
        drive.optical = true;
        const std::string device = "/dev/" + name;
        const std::string mounted = mountPointOf(device);
        drive.root = mounted.empty() ? device : mounted;
        drives.push_back(drive);
    }
    std::sort(drives.begin(), drives.end(),
              [](const SystemDrive& a, const SystemDrive& b) { return a.number < b.number; });
    return drives;
}

std::string volumeLabel(const std::string& drive)
{
    if (drive.rfind("/dev/", 0) != 0)
        return {};
    const std::string wanted = canonical(drive);
    std::error_code ec;
    for (fs::directory_iterator it("/dev/disk/by-label", ec), end; !ec && it != end; it.increment(ec))
        if (canonical(it->path().string()) == wanted)
            return unescapeLabel(it->path().filename().string());
    return {};
}

} // namespace torvinel::platform
