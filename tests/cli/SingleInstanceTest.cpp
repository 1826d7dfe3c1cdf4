#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Platform.h"
#include "support/CliRunner.h"
#include "support/TempDir.h"

namespace torvinel::test {

namespace {

// A second process that takes the lock as a running Torvinel does and keeps it until killed.
pid_t holdLockInChild(const std::string& path)
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        platform::ProcessLock lock(path);
        const char held = lock.outcome() == platform::ProcessLock::Outcome::Held ? '1' : '0';
        static_cast<void>(write(ready[1], &held, 1));
        for (;;)
            pause();
    }
    close(ready[1]);
    char held = '0';
    const bool told = read(ready[0], &held, 1) == 1;
    close(ready[0]);
    return told && held == '1' ? child : -1;
}

} // namespace

// While another Torvinel holds the lock, every command stops before touching the application
// folder; once that process has died (even by SIGKILL), the next start takes the lock over.
TEST(SingleInstance, ASecondStartStopsUntouchedUntilTheFirstHasEnded)
{
    TempDir root;
    const CliRunner cli(root);
    const std::string app = "home/.local/share/Torvinel/";
    const std::string ini = "[ImageDrive]\r\nFolder=" + root.path() + "/shelf\r\n";
    const std::string planted[][2] = {{"Torvinel.ini", ini},
                                      {"LogFile.txt", "the first one's log\r\n"},
                                      {"Discwright.log", "the first one's library log\n"},
                                      {"torvineltemp/half.zip", "being packed"}};
    for (const auto& [name, bytes] : planted)
        root.write(app + name, bytes);

    const pid_t first = holdLockInChild(cli.appFolder() + "/Torvinel.lock");
    ASSERT_GT(first, 0);
    for (const char* command : {"discs", "drives", "sets"}) {
        const CliRunner::Result result = cli.run(command);
        EXPECT_EQ(result.code, 2) << command;
        EXPECT_EQ(result.err, "Torvinel is already running (process " + std::to_string(first) + ").\n") << command;
        for (const auto& [name, bytes] : planted)
            EXPECT_EQ(root.read(app + name), bytes) << command << ": " << name;
        EXPECT_FALSE(std::filesystem::exists(root / (app + "FQList.txt"))) << command;
    }

    ASSERT_EQ(kill(first, SIGKILL), 0);
    ASSERT_EQ(waitpid(first, nullptr, 0), first);
    const CliRunner::Result result = cli.run("discs");
    EXPECT_EQ(result.code, 0) << result.err;
    EXPECT_FALSE(std::filesystem::exists(root / (app + "torvineltemp/half.zip")));
}

} // namespace torvinel::test
