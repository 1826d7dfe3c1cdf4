#include "power/PowerGuard.h"

#include "power/PowerBinding.h"

namespace torvinel {

namespace {

void notify(PowerGuard& sender, const PowerGuard::NotifyEvent& event)
{
    if (event)
        event(sender);
}

// A suspend or standby query: the handler decides only when the query allows user
// interaction. The handler starts from the property's answer, so one that does not decide
// leaves the configured answer instead of an undefined one.
std::intptr_t answerQuery(PowerGuard& sender, std::uintptr_t data, const PowerGuard::QueryEvent& handler, bool property)
{
    bool allow = property;
    if ((data & QueryAllowsUserInteraction) != 0 && handler)
        handler(sender, allow);
    return allow ? 1 : BroadcastQueryDeny;
}

} // namespace

PowerGuard::PowerGuard() = default;
PowerGuard::~PowerGuard() = default;

void PowerGuard::start(LogFn log, const std::string& busAddress)
{
    if (!m_guard)
        m_guard = std::make_unique<PowerBinding>(*this, std::move(log), busAddress);
}

void PowerGuard::refresh()
{
    if (m_guard)
        m_guard->refresh();
}

bool PowerGuard::holding() const { return m_guard && m_guard->holding(); }

std::intptr_t PowerGuard::PowerBroadcast(unsigned code, std::uintptr_t data, const StatusReader& readStatus)
{
    switch (code) {
    case PowerEvent::QuerySuspend:
        return answerQuery(*this, data, OnQuerySuspend, AllowSuspend);
    case PowerEvent::QueryStandby:
        return answerQuery(*this, data, OnQueryStandby, AllowStandby);
    case PowerEvent::QuerySuspendFailed:
        notify(*this, OnQuerySuspendFailed);
        break;
    case PowerEvent::QueryStandbyFailed:
        notify(*this, OnQueryStandbyFailed);
        break;
    case PowerEvent::Suspend:
        notify(*this, OnSuspend);
        break;
    case PowerEvent::Standby:
        notify(*this, OnStandby);
        break;
    case PowerEvent::ResumeCritical:
        notify(*this, OnResumeCritical);
        break;
    case PowerEvent::ResumeSuspend:
        notify(*this, OnResumeSuspend);
        break;
    case PowerEvent::ResumeStandby:
        notify(*this, OnResumeStandby);
        break;
    case PowerEvent::BatteryLow:
        notify(*this, OnBatteryLow);
        break;
    case PowerEvent::PowerStatusChange:
        if (OnPowerStatusChange && readStatus) {
            if (const auto status = readStatus())
                OnPowerStatusChange(*this, status->ACLineStatus, status->BatteryFlag, status->BatteryLifePercent,
                                    status->BatteryLifeTime, status->BatteryFullLifeTime);
        }
        break;
    case PowerEvent::OemEvent:
        if (OnOemEvent)
            OnOemEvent(*this, static_cast<int>(data));
        break;
    default:
        break;
    }
    return 0;
}

bool PowerGuard::QueryEndSession(bool logoff)
{
    bool allow = true;
    const QueryEvent& firstSay = logoff ? OnQueryLogoff : OnQueryShutdown;
    if (firstSay)
        firstSay(*this, allow);
    if (allow) {
        if (OnQueryEndSession)
            OnQueryEndSession(*this, allow);
        else
            allow = AllowEndSession;
    }
    return allow;
}

bool PowerGuard::refusesSleep()
{
    return PowerBroadcast(PowerEvent::QuerySuspend, 0) != 1 || PowerBroadcast(PowerEvent::QueryStandby, 0) != 1;
}

bool PowerGuard::refusesEndSession() { return !QueryEndSession(false); }

void allowSleepOnBatteryLow(PowerGuard& sender)
{
    sender.AllowSuspend = true;
    sender.AllowStandby = true;
    sender.AllowEndSession = true;
}

} // namespace torvinel
