#pragma once
#include <chrono>
#include <string>

namespace torvinel {

// Shows a notification on the desktop through the freedesktop notification service
// (org.freedesktop.Notifications, method Notify, on the session bus), with the program's
// name and icon.
//
// Best effort, and never in the way of a run: without a session bus, without the service,
// or without a running QCoreApplication (QtDBus needs its event machinery), nothing is shown
// and nothing is reported. A call waits at most the timeout for the service's answer.
class DesktopNotifier {
public:
    enum class Urgency { Normal, Critical };

    // busAddress "": the user's session bus (DBUS_SESSION_BUS_ADDRESS, else the bus socket in
    // XDG_RUNTIME_DIR); none is started when there is none.
    explicit DesktopNotifier(std::string busAddress = {},
                             std::chrono::milliseconds timeout = std::chrono::milliseconds(500));

    // Shows summary over body (plain text; escaped where the service reads markup). A
    // critical notification stays until the user dismisses it. True when the service took it.
    [[nodiscard]] bool notify(const std::string& summary, const std::string& body,
                              Urgency urgency = Urgency::Normal) const;

private:
    std::string m_busAddress;
    std::chrono::milliseconds m_timeout;
};

} // namespace torvinel
