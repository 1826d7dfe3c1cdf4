#pragma once
#include <functional>
#include <string>

namespace torvinel {

// Relays the library's notices to whoever listens: the drive discovery raises OnDeviceFound
// with each drive's product text. One per program run; the handler is set and cleared on the
// user-interface thread while no search runs.
class DiscLibraryEvents {
public:
    using DeviceFoundHandler = std::function<void(DiscLibraryEvents&, const std::string&)>;

    DeviceFoundHandler OnDeviceFound;

    // Calls the handler when one is assigned.
    void DeviceFound(const std::string& text)
    {
        if (OnDeviceFound)
            OnDeviceFound(*this, text);
    }
};

} // namespace torvinel
