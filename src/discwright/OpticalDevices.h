#pragma once
#include <string>
#include <vector>

namespace torvinel {

// A CD/DVD drive of this computer as the operating system sees it, for reading discs.
struct OpticalDevice {
    std::string device;     // "/dev/sr0"
    std::string mountPoint; // where its disc is mounted; empty when it is not
};

// The optical drives (sysBlock's sr* entries) in name order, each with the mount point of
// its disc from the mount table.
std::vector<OpticalDevice> listOpticalDevices(const std::string& sysBlock = "/sys/block",
                                              const std::string& mountTable = "/proc/self/mounts");

} // namespace torvinel
