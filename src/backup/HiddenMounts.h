#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace torvinel {

// Mount points that are not the user's data: pseudo file systems (proc, sysfs, devtmpfs,
// cgroup, ...), tmpfs mounts under /proc, /sys, /dev and /run, and removable media. The
// backup tree does not show them and the selection walk never enters them, so ticking "/"
// does not read /proc or a memory stick. /proc, /sys, /dev and /run are always included.
// Reads /proc/self/mountinfo; where there is none (Windows) the list is empty.
std::vector<std::string> hiddenMountPoints();

// The same from the text of a mountinfo file. isRemovable is asked with a mount's
// "major:minor" device number.
std::vector<std::string> hiddenMountPoints(std::string_view mountinfo,
                                           const std::function<bool(const std::string&)>& isRemovable);

} // namespace torvinel
