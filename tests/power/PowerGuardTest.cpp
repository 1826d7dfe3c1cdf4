#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "power/PowerGuard.h"

namespace torvinel {
namespace {

// The guard as the main window configures it, with every notification recorded.
struct Guard {
    Guard()
    {
        pwr.OnBatteryLow = [this](PowerGuard& s) {
            events.push_back("BatteryLow");
            allowSleepOnBatteryLow(s);
        };
        const auto record = [this](const char* name) { return [this, name](PowerGuard&) { events.push_back(name); }; };
        pwr.OnQuerySuspendFailed = record("QuerySuspendFailed");
        pwr.OnQueryStandbyFailed = record("QueryStandbyFailed");
        pwr.OnSuspend = record("Suspend");
        pwr.OnStandby = record("Standby");
        pwr.OnResumeCritical = record("ResumeCritical");
        pwr.OnResumeSuspend = record("ResumeSuspend");
        pwr.OnResumeStandby = record("ResumeStandby");
        pwr.OnPowerStatusChange = [this](PowerGuard&, std::uint8_t ac, std::uint8_t flag, std::uint8_t percent,
                                         std::uint32_t life, std::uint32_t full) {
            events.push_back("PowerStatusChange " + std::to_string(ac) + " " + std::to_string(flag) + " "
                             + std::to_string(percent) + " " + std::to_string(life) + " " + std::to_string(full));
        };
        pwr.OnOemEvent = [this](PowerGuard&, int code) { events.push_back("Oem " + std::to_string(code)); };
    }

    // The answers to all four queries: suspend, standby (both allowing user interaction),
    // logoff, shutdown.
    std::vector<bool> answers()
    {
        return {pwr.PowerBroadcast(PowerEvent::QuerySuspend, QueryAllowsUserInteraction) == 1,
                pwr.PowerBroadcast(PowerEvent::QueryStandby, QueryAllowsUserInteraction) == 1,
                pwr.QueryEndSession(true), pwr.QueryEndSession(false)};
    }

    PowerGuard pwr;
    std::vector<std::string> events;
};

const std::vector<bool> AllRefused{false, false, false, false};
const std::vector<bool> AllAllowed{true, true, true, true};

TEST(PowerGuardTest, GuardsFromStartAndIsReleasedForGoodByTheFirstLowBattery)
{
    Guard g;
    EXPECT_EQ(g.pwr.PowerBroadcast(PowerEvent::QuerySuspend, 0), BroadcastQueryDeny);
    EXPECT_EQ(g.pwr.PowerBroadcast(PowerEvent::QueryStandby, 1), BroadcastQueryDeny);
    EXPECT_EQ(g.answers(), AllRefused);
    EXPECT_TRUE(g.pwr.refusesSleep());
    EXPECT_TRUE(g.pwr.refusesEndSession());

    EXPECT_EQ(g.pwr.PowerBroadcast(PowerEvent::BatteryLow, 0), 0);
    EXPECT_EQ(g.events, std::vector<std::string>{"BatteryLow"});
    EXPECT_EQ(g.answers(), AllAllowed);
    EXPECT_FALSE(g.pwr.refusesSleep());
    EXPECT_FALSE(g.pwr.refusesEndSession());

    // Events after the release, including resumes and a second notice, do not guard again.
    for (unsigned code = PowerEvent::QuerySuspendFailed; code <= PowerEvent::OemEvent; ++code)
        g.pwr.PowerBroadcast(code, 0, [] { return PowerStatus{}; });
    EXPECT_EQ(g.answers(), AllAllowed);
}

TEST(PowerGuardTest, NotificationsReachTheirOwnHandlerAndChangeNothing)
{
    struct Case {
        unsigned code;
        std::uintptr_t data;
        std::string event;
    };
    const std::vector<Case> cases{
        {PowerEvent::QuerySuspendFailed, 0, "QuerySuspendFailed"},
        {PowerEvent::QueryStandbyFailed, 0, "QueryStandbyFailed"},
        {PowerEvent::Suspend, 0, "Suspend"},
        {PowerEvent::Standby, 0, "Standby"},
        {PowerEvent::ResumeCritical, 0, "ResumeCritical"},
        {PowerEvent::ResumeSuspend, 0, "ResumeSuspend"},
        {PowerEvent::ResumeStandby, 0, "ResumeStandby"},
        {PowerEvent::PowerStatusChange, 0, "PowerStatusChange 0 2 20 3600 4294967295"},
        {PowerEvent::OemEvent, 0x1234, "Oem 4660"},
        {12, 0, ""},
        {0xFFFF, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Guard g;
        const PowerStatus status{0, 2, 20, 3600, 0xFFFFFFFF};
        EXPECT_EQ(g.pwr.PowerBroadcast(c.code, c.data, [&] { return status; }), 0);
        EXPECT_EQ(g.events, c.event.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.event});
        EXPECT_EQ(g.answers(), AllRefused);
    }
}

TEST(PowerGuardTest, UnsetEventsDoNothingAndAnUnreadableStatusIsNotReported)
{
    PowerGuard bare;
    for (unsigned code = PowerEvent::QuerySuspendFailed; code <= PowerEvent::OemEvent + 1; ++code)
        EXPECT_EQ(bare.PowerBroadcast(code, 0, [] { return PowerStatus{}; }), 0);
    EXPECT_EQ(bare.PowerBroadcast(PowerEvent::QuerySuspend, 1), BroadcastQueryDeny);

    Guard g;
    g.pwr.PowerBroadcast(PowerEvent::PowerStatusChange, 0, [] { return std::optional<PowerStatus>{}; });
    g.pwr.PowerBroadcast(PowerEvent::PowerStatusChange, 0);
    EXPECT_TRUE(g.events.empty());
}

TEST(PowerGuardTest, QueryHandlersDecideWhereTheyHaveASay)
{
    PowerGuard pwr;
    int suspendAsked = 0;
    pwr.OnQuerySuspend = [&](PowerGuard&, bool& allow) {
        ++suspendAsked;
        allow = true;
    };
    // Only a query that allows user interaction reaches the handler; otherwise the property.
    EXPECT_EQ(pwr.PowerBroadcast(PowerEvent::QuerySuspend, QueryAllowsUserInteraction), 1);
    EXPECT_EQ(pwr.PowerBroadcast(PowerEvent::QuerySuspend, 0), BroadcastQueryDeny);
    EXPECT_EQ(suspendAsked, 1);
    // A handler that does not decide leaves the property's answer.
    pwr.OnQueryStandby = [](PowerGuard&, bool&) {};
    pwr.AllowStandby = true;
    EXPECT_EQ(pwr.PowerBroadcast(PowerEvent::QueryStandby, QueryAllowsUserInteraction), 1);
    pwr.AllowStandby = false;
    EXPECT_EQ(pwr.PowerBroadcast(PowerEvent::QueryStandby, QueryAllowsUserInteraction), BroadcastQueryDeny);

    // End of session: logoff and shutdown each have the first say; a refusal there is final.
    std::vector<std::string> asked;
    bool logoffAllows = false;
    pwr.AllowEndSession = true;
    pwr.OnQueryLogoff = [&](PowerGuard&, bool& allow) {
        asked.push_back("logoff");
        allow = logoffAllows;
    };
    EXPECT_FALSE(pwr.QueryEndSession(true));
    EXPECT_TRUE(pwr.QueryEndSession(false)) << "shutdown does not ask the logoff handler";
    logoffAllows = true;
    EXPECT_TRUE(pwr.QueryEndSession(true)) << "then AllowEndSession decides";
    pwr.OnQueryEndSession = [&](PowerGuard&, bool& allow) {
        asked.push_back("end " + std::to_string(allow));
        allow = false;
    };
    pwr.OnQueryShutdown = [&](PowerGuard&, bool&) { asked.push_back("shutdown"); };
    EXPECT_FALSE(pwr.QueryEndSession(false));
    EXPECT_EQ(asked, (std::vector<std::string>{"logoff", "logoff", "shutdown", "end 1"}));
}

} // namespace
} // namespace torvinel
