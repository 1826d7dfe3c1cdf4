#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "discwriter/DriveList.h"
#include "discwriter/LibraryTrace.h"

namespace torvinel {

// What the search's callback fills and tells.
struct DiscoveryContext {
    DriveList& list;
    LibraryTrace& logger;
    // Told each drive's product text once its names are read.
    std::function<void(const std::string& product)> deviceFound;
};

// The callback of Discwright_FindDevice, run on the finder thread; context: a
// DiscoveryContext. For each DEVICE_FOUND it lists the drive (one with a valid address even
// when it cannot be opened; then DeviceError holds the open's message), opens it and reads
// its names, buffer size, disc, capabilities and modes, tracing each library call.
void DiscoveryCallback(uint32_t code, void* context, void* parameter1, void* parameter2);

} // namespace torvinel
