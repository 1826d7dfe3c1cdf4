#pragma once
#include <functional>
#include <memory>
#include <string>

namespace torvinel {

class PowerGuard;

// The platform side of the power-event guard, one implementation per OS: it receives the
// platform's power and end-of-session events, hands them to the owner's decision tables, and
// after each event holds off sleep and session end by the platform's own means for as long as
// the owner refuses them. Created by PowerGuard::start; lives on the user-interface thread.
class PowerBinding {
public:
    using LogFn = std::function<void(const std::string& line)>;

    // busAddress: where the platform's power services are on D-Bus, the bus to use instead
    // of the system bus when not empty. The owner outlives the guard.
    PowerBinding(PowerGuard& owner, LogFn log, const std::string& busAddress);
    ~PowerBinding();
    PowerBinding(const PowerBinding&) = delete;
    PowerBinding& operator=(const PowerBinding&) = delete;

    void refresh();
    bool holding() const;

    struct Impl; // defined by each platform's file

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace torvinel
