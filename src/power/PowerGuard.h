#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace torvinel {

class PowerBinding;

// Event codes of a power broadcast. Named apart from the platform's own macros so that this
// header can sit next to the Windows headers.
namespace PowerEvent {
constexpr unsigned QuerySuspend = 0;
constexpr unsigned QueryStandby = 1;
constexpr unsigned QuerySuspendFailed = 2;
constexpr unsigned QueryStandbyFailed = 3;
constexpr unsigned Suspend = 4;
constexpr unsigned Standby = 5;
constexpr unsigned ResumeCritical = 6;
constexpr unsigned ResumeSuspend = 7;
constexpr unsigned ResumeStandby = 8;
constexpr unsigned BatteryLow = 9;
constexpr unsigned PowerStatusChange = 10;
constexpr unsigned OemEvent = 11;
} // namespace PowerEvent

// Bit 0 of a suspend or standby query's extra value: the query allows user interaction, so
// the query handler may be asked.
constexpr std::uintptr_t QueryAllowsUserInteraction = 1;
// Answer to a suspend or standby query that is refused ("BMQD").
constexpr std::intptr_t BroadcastQueryDeny = 0x424D5144;

// The platform's system power status, in the platform's own encoding (255 or 0xFFFFFFFF:
// unknown; BatteryFlag bits 1 high, 2 low, 4 critical, 8 charging, 128 no battery).
struct PowerStatus {
    std::uint8_t ACLineStatus = 255;
    std::uint8_t BatteryFlag = 255;
    std::uint8_t BatteryLifePercent = 255;
    std::uint32_t BatteryLifeTime = 0xFFFFFFFF;
    std::uint32_t BatteryFullLifeTime = 0xFFFFFFFF;
};

// The power-event guard. It answers the platform's suspend, standby and end-of-session
// queries from its Allow properties and query handlers, and relays the other power events to
// its notification handlers. An event whose handler is not set does nothing.
//
// The decision tables (PowerBroadcast, QueryEndSession) need no platform and are what the
// platform binding calls; start() attaches that binding, which holds off sleep and session end
// by the platform's own means for as long as the tables would refuse them.
class PowerGuard {
public:
    using QueryEvent = std::function<void(PowerGuard& sender, bool& allow)>;
    using NotifyEvent = std::function<void(PowerGuard& sender)>;
    using PowerStatusEvent = std::function<void(PowerGuard& sender, std::uint8_t ACLineStatus, std::uint8_t BatteryFlag,
                                                std::uint8_t BatteryLifePercent, std::uint32_t BatteryLifeTime,
                                                std::uint32_t BatteryFullLifeTime)>;
    using OemEventHandler = std::function<void(PowerGuard& sender, int dwEventCode)>;
    using LogFn = std::function<void(const std::string& line)>;
    using StatusReader = std::function<std::optional<PowerStatus>()>;

    PowerGuard();
    ~PowerGuard();
    PowerGuard(const PowerGuard&) = delete;
    PowerGuard& operator=(const PowerGuard&) = delete;

    bool AllowSuspend = false;    // answer to a suspend query that no handler decides
    bool AllowStandby = false;    // answer to a standby query that no handler decides
    bool AllowEndSession = false; // answer to an end-of-session query that no handler decides

    QueryEvent OnQuerySuspend;
    QueryEvent OnQueryStandby;
    QueryEvent OnQueryEndSession;
    QueryEvent OnQueryLogoff;   // first say when the user logs off
    QueryEvent OnQueryShutdown; // first say when the system shuts down
    NotifyEvent OnBatteryLow;
    PowerStatusEvent OnPowerStatusChange;
    OemEventHandler OnOemEvent;
    NotifyEvent OnQuerySuspendFailed;
    NotifyEvent OnQueryStandbyFailed;
    NotifyEvent OnResumeCritical;
    NotifyEvent OnResumeSuspend;
    NotifyEvent OnResumeStandby;
    NotifyEvent OnSuspend;
    NotifyEvent OnStandby;

    // Attaches the platform binding; call once, after the properties and handlers are set.
    // log receives the binding's technical lines (one line when the platform offers no means
    // of holding off sleep; the guard then runs without one). busAddress is for tests: the
    // D-Bus address to use instead of the system bus, where the platform's power services
    // are on D-Bus; elsewhere it is ignored.
    void start(LogFn log, const std::string& busAddress = {});
    // Brings the platform's hold in line with the current answers; the binding does this
    // after every event itself, so it is needed only after changing properties or handlers
    // outside an event.
    void refresh();
    // True while the platform binding holds off sleep or session end.
    bool holding() const;

    // A power broadcast with its event code and extra value. Returns the answer: 1 or
    // BroadcastQueryDeny for the two queries, 0 for everything else. readStatus gives the
    // platform's power status for a power status change (nothing when it cannot be read).
    std::intptr_t PowerBroadcast(unsigned code, std::uintptr_t data, const StatusReader& readStatus = {});
    // A query for ending the session; logoff is true when the user logs off and false when
    // the system shuts down. Returns whether the session may end.
    bool QueryEndSession(bool logoff);

    // What the guard would answer right now, as the platform binding asks without user
    // interaction: whether it refuses to suspend or stand by, and to end the session.
    bool refusesSleep();
    bool refusesEndSession();

private:
    std::unique_ptr<PowerBinding> m_guard;
};

// The main window's OnBatteryLow handler: from the first low-battery notice on, suspend,
// standby and the end of the session are allowed.
void allowSleepOnBatteryLow(PowerGuard& sender);

} // namespace torvinel
