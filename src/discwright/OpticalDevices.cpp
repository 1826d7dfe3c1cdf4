#include "discwright/OpticalDevices.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace torvinel {

namespace {

// The mount table writes blanks, tabs, newlines and backslashes as octal escapes.
std::string unescapeMountField(const std::string& field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && std::isdigit(static_cast<unsigned char>(field[i + 1]))
            && std::isdigit(static_cast<unsigned char>(field[i + 2]))
            && std::isdigit(static_cast<unsigned char>(field[i + 3]))) {
            out.push_back(
                static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

} // namespace

std::vector<OpticalDevice> listOpticalDevices(const std::string& sysBlock, const std::string& mountTable)
{
    std::vector<OpticalDevice> devices;
    std::error_code ec;
    for (fs::directory_iterator it(sysBlock, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("sr", 0) == 0)
            devices.push_back({"/dev/" + name, ""});
    }
    std::sort(devices.begin(), devices.end(),
              [](const OpticalDevice& a, const OpticalDevice& b) { return a.device < b.device; });

    std::ifstream mounts(mountTable);
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string source, target;
        if (!(fields >> source >> target))
            continue;
        source = unescapeMountField(source);
        std::error_code ignored;
        const std::string resolved = fs::weakly_canonical(source, ignored).string();
        for (OpticalDevice& device : devices)
            if ((source == device.device || resolved == device.device) && device.mountPoint.empty())
                device.mountPoint = unescapeMountField(target);
    }
    return devices;
}

} // namespace torvinel
