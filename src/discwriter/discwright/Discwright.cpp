#include "discwriter/discwright/Discwright.h"

#include <atomic>

namespace torvinel {

namespace {
std::atomic<bool> started{false};
}

DiscwrightException Discwright_StartUpEx(const void* block, std::size_t blockSize)
{
    if (block == nullptr || blockSize < sizeof(DiscwrightStartUpBlock))
        return 1;
    const auto* startUp = static_cast<const DiscwrightStartUpBlock*>(block);
    if (startUp->size != blockSize || startUp->interfaceVersion != DiscwrightInterfaceVersion)
        return 2;
    if (started.exchange(true))
        return 3; // already started
    return 0;
}

DiscwrightException Discwright_ShutDown()
{
    started = false;
    return 0;
}

uint32_t Discwright_GetVersion()
{
    return DiscwrightInterfaceVersion;
}

bool Discwright_IsStarted()
{
    return started;
}

} // namespace torvinel
