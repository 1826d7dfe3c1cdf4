// The desktop notifier against a private session bus with a mock notification service.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "desktop/DesktopNotifier.h"
#include "support/MockNotificationService.h"
#include "support/TempDir.h"

namespace torvinel {
namespace {

using test::MockNotificationService;

// Sets an environment variable (or unsets it, for nullopt) for one test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class DesktopNotifierTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string why = service.startBus();
        if (!why.empty())
            GTEST_SKIP() << why;
    }
    MockNotificationService service;
};

TEST_F(DesktopNotifierTest, NotifyCarriesTheSummaryBodyAndTheProgramsIdentity)
{
    ASSERT_TRUE(service.startService());
    const DesktopNotifier notifier(service.address());
    EXPECT_TRUE(notifier.notify("Backup finished", "The backup is finished."));
    EXPECT_TRUE(notifier.notify("Backup failed", "Could not create /x.", DesktopNotifier::Urgency::Critical));

    const auto calls = service.notifyCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].appName, "Torvinel");
    EXPECT_EQ(calls[0].icon, "com.quenmark.Torvinel");
    EXPECT_EQ(calls[0].desktopEntry, "com.quenmark.Torvinel");
    EXPECT_EQ(calls[0].summary, "Backup finished");
    EXPECT_EQ(calls[0].body, "The backup is finished.");
    EXPECT_EQ(calls[0].urgency, 1);
    EXPECT_EQ(calls[1].summary, "Backup failed");
    EXPECT_EQ(calls[1].urgency, 2);
}

// A path may hold markup characters; a service that reads the body as markup gets them
// escaped, one that shows plain text gets them as they are.
TEST_F(DesktopNotifierTest, TheBodyIsEscapedOnlyWhereTheServiceReadsMarkup)
{
    struct Case {
        const char* capabilities;
        const char* body;
    };
    for (const Case& c : {Case{"body body-markup", "The restored files are in /t/&lt;a&gt; &amp; b"},
                          Case{"body", "The restored files are in /t/<a> & b"}}) {
        SCOPED_TRACE(c.capabilities);
        MockNotificationService own;
        ASSERT_EQ(own.startBus(), "");
        ASSERT_TRUE(own.startService(QString::fromLatin1(c.capabilities)));
        EXPECT_TRUE(DesktopNotifier(own.address()).notify("Restore finished", "The restored files are in /t/<a> & b"));
        const auto calls = own.notifyCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].body, c.body);
    }
}

// Without a service, without a bus, or with a service that never answers, nothing is shown,
// nothing is raised, and the call comes back (a stuck service within the timeout).
TEST_F(DesktopNotifierTest, WithoutAServiceOrABusNothingIsShownAndNothingFails)
{
    EXPECT_FALSE(DesktopNotifier(service.address()).notify("Backup finished", "no service on the bus"));

    test::TempDir runtime;
    EXPECT_FALSE(DesktopNotifier("unix:path=" + runtime.path() + "/no-bus").notify("Backup finished", "no bus"));
    {
        // The user's session bus, when the environment names none: no bus is started.
        const ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
        const ScopedEnv folder("XDG_RUNTIME_DIR", runtime.path());
        EXPECT_FALSE(DesktopNotifier().notify("Backup finished", "no session bus"));
    }

    ASSERT_TRUE(service.startService({}, true));
    EXPECT_FALSE(DesktopNotifier(service.address(), std::chrono::milliseconds(200)).notify("Backup finished", "stuck"));
}

TEST_F(DesktopNotifierTest, TheSessionBusIsTheOneTheEnvironmentNames)
{
    ASSERT_TRUE(service.startService());
    const ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", service.address());
    EXPECT_TRUE(DesktopNotifier().notify("Restore cancelled", "The Restore was cancelled."));
    const auto calls = service.notifyCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].body, "The Restore was cancelled.");
}

} // namespace
} // namespace torvinel
