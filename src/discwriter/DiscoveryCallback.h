#pragma once
#include <cstdint>

#include "discwriter/TdwCallBackEventer.h"
#include "discwriter/TdwDeviceList.h"
#include "discwriter/TdwLogger.h"

namespace torvinel {

// What the search's callback fills and tells.
struct DiscoveryContext {
    TdwDeviceList& list;
    TdwLogger& logger;
    TdwCallBackEventer& eventer;
};

// The callback of Discwright_FindDevice, run on the finder thread; context: a
// DiscoveryContext. For each DEVICE_FOUND it lists the drive (one with a valid address even
// when it cannot be opened; then DeviceError holds the open's message), opens it and reads
// its names, buffer size, disc, capabilities and modes, tracing each library call.
void DiscoveryCallback(uint32_t code, void* context, void* parameter1, void* parameter2);

} // namespace torvinel
