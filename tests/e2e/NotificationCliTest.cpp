// torvinel-cli tells the desktop how its backup and restore runs end, over the session bus
// its environment names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "CliFixture.h"
#include "support/MockNotificationService.h"

namespace torvinel::test {
namespace {

class NotificationCliTest : public CliFixture {
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        const std::string why = service.startBus();
        if (!why.empty())
            GTEST_SKIP() << why;
        ASSERT_TRUE(service.startService());
        ::setenv("DBUS_SESSION_BUS_ADDRESS", service.address().c_str(), 1);
    }
    void TearDown() override { ::unsetenv("DBUS_SESSION_BUS_ADDRESS"); }

    MockNotificationService service;
};

TEST_F(NotificationCliTest, BackupAndRestoreRunsNotifyTheirEnd)
{
    std::ofstream(dir / "data/photo.jpg") << "the only copy";
    ASSERT_EQ(cli("backup --select " + shellQuoted(dir / "data") + " --no-verify"), 0) << output();
    ASSERT_EQ(cli("restore --from " + shellQuoted(dir / "discs") + " --to " + shellQuoted(dir / "back") + " "
                  + shellQuoted(dir / "data/")),
              0)
        << output();
    // The last line of a restore is the folder it made.
    const std::string target = lastLine();

    const auto calls = service.notifyCalls();
    ASSERT_EQ(calls.size(), 2u) << output();
    EXPECT_EQ(calls[0].summary, "Backup finished");
    EXPECT_EQ(calls[0].body.rfind("The backup is finished.\nBacked up 1 file, 13 B (13 bytes).\nDisc ", 0), 0u)
        << calls[0].body;
    EXPECT_EQ(calls[1].summary, "Restore finished");
    EXPECT_EQ(calls[1].body,
              "The restored files are in " + target + "\nRestored 1 file, 13 B (13 bytes), into " + target + ".");
}

} // namespace
} // namespace torvinel::test
