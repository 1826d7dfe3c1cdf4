#pragma once
#include <cstddef>
#include <cstdint>

// The disc library: every drive access of the program goes through these calls.
// Drive calls share one form: a handle, a buffer for the library's error text and its size,
// an out status; the result is an exception number, 0 meaning success.
namespace torvinel {

using DiscwrightException = uint8_t;

// Version of the library's interface: 0x20060630.
constexpr uint32_t DiscwrightInterfaceVersion = 0x20060630;

// The initialisation block the program hands to the library at start-up.
struct DiscwrightStartUpBlock {
    uint32_t size = sizeof(DiscwrightStartUpBlock);
    uint32_t interfaceVersion = DiscwrightInterfaceVersion;
    const char* applicationFolder = nullptr; // where the library keeps Discwright.log
};

// Starts the library once per program run. Returns 0 on success.
DiscwrightException Discwright_StartUpEx(const void* block, std::size_t blockSize);
// Shuts the library down; safe to call when it was not started.
DiscwrightException Discwright_ShutDown();
// The library's version (0x20060630).
uint32_t Discwright_GetVersion();
// True between a successful start-up and the shut-down.
bool Discwright_IsStarted();

} // namespace torvinel
