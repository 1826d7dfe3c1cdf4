// The conventions of both programs' command lines: help per command, relative paths, options
// that contradict each other, and nothing on standard error but errors.
#include "CliFixture.h"

#include <filesystem>
#include <fstream>

namespace torvinel::test {
namespace {

namespace fs = std::filesystem;

class CommandLineTest : public CliFixture { };

TEST_F(CommandLineTest, HelpAfterACommandPrintsItsUsage)
{
    const struct {
        const char* arguments;
        const char* usageLine; // the command's own line of the usage
    } cases[] = {
        {"backup --help", "  backup [--select PATH]..."},
        {"discs --help", "  discs "},
        {"state -h", "  state [--set DISCID]"},
        {"remove-disc --help", "  remove-disc [--yes] DISCID"},
        {"add-disc /nowhere --help", "  add-disc SOURCE"},
        {"sets --help", "  sets "},
        {"restore --plan --help", "  restore [--set DISCID]"},
        {"drives --help", "  drives "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cli(c.arguments), 0) << c.arguments << "\n" << output();
        EXPECT_TRUE(output().starts_with("Usage: torvinel-cli")) << c.arguments << "\n" << output();
        EXPECT_NE(output().find(c.usageLine), std::string::npos) << c.arguments << "\n" << output();
        EXPECT_EQ(errors(), "") << c.arguments;
        // Only that command: the usage of the others is not printed.
        EXPECT_EQ(output().find("Exit codes"), std::string::npos) << c.arguments;
    }
    EXPECT_FALSE(fs::exists(appFolder + "/LogFile.txt")) << "help starts nothing";
    EXPECT_EQ(cli("--help"), 0);
    EXPECT_NE(output().find("Exit codes"), std::string::npos);
}

TEST_F(CommandLineTest, ContradictingOptionsAreRefused)
{
    dir.write("data/a.txt", "a");
    for (const char* pair : {"--md5 --no-md5", "--no-verify --verify"}) {
        EXPECT_EQ(cli("backup --select " + shellQuoted(dir / "data") + " " + pair), 2) << pair;
        EXPECT_NE(errors().find("contradict each other"), std::string::npos) << pair << "\n" << output();
    }
    EXPECT_FALSE(fs::exists(dir / "discs")) << "nothing was backed up";
}

// The walk never enters system folders or removable media: a backup of one would back up
// nothing and still finish.
TEST_F(CommandLineTest, PathsTheBackupNeverEntersAreRefused)
{
    for (const char* path : {"/dev/null", "/proc/self", "/sys"}) {
        EXPECT_EQ(cli(std::string("backup --select ") + path), 2) << path;
        EXPECT_NE(errors().find(std::string("Cannot back up ") + path + ": it is in a system folder"),
                  std::string::npos)
            << errors();
    }
    EXPECT_FALSE(fs::exists(dir / "discs"));
}

TEST_F(CommandLineTest, RelativePathsAreReadFromTheWorkingFolder)
{
    dir.write("data/a.txt", "alpha");
    const fs::path before = fs::current_path();
    fs::current_path(dir / "data");
    const int backedUp = cli("backup --select .");
    fs::current_path(dir.path());
    const int restored = cli("restore --from discs --to restored data/");
    const std::string target = lastLine();
    fs::current_path(before);

    ASSERT_EQ(backedUp, 0) << output();
    ASSERT_EQ(restored, 0) << output();
    EXPECT_EQ(fs::path(target).parent_path(), fs::path(dir / "restored"));
    std::ifstream file(target + "/r" + dir / "data/a.txt");
    std::string content;
    std::getline(file, content);
    EXPECT_EQ(content, "alpha");
}

TEST_F(CommandLineTest, AQuietRunWritesNothingButItsOutput)
{
    ASSERT_EQ(cli("discs"), 0) << output();
    EXPECT_EQ(output(), "");
    // The disc library's version goes to the log, under a name this system uses.
    const std::string log = dir.read("home/.local/share/Torvinel/LogFile.txt");
    EXPECT_NE(log.find("Discwright : disc library version : 0x"), std::string::npos) << log;
    EXPECT_EQ(log.find(".dll"), std::string::npos) << log;
    // The previous run's log is kept.
    ASSERT_EQ(cli("sets"), 0) << output();
    EXPECT_EQ(dir.read("home/.local/share/Torvinel/LogFile.1.txt"), log);
}

TEST_F(CommandLineTest, TheWindowedProgramAnswersHelpAndVersionWithoutAWindow)
{
    const std::string gui = std::string(TORVINEL_BINARY_DIR) + "/src/ui/torvinel";
    if (!fs::exists(gui))
        GTEST_SKIP() << "built without the GUI";
    for (const char* option : {"--help", "--version"}) {
        // No display at all: answering must not need one.
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb " + shellQuoted(gui) + " "
            + option + " >" + shellQuoted(dir / "gui.out") + " 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << option << "\n" << dir.read("gui.out");
        EXPECT_TRUE(dir.read("gui.out").starts_with(std::string(option) == "--help" ? "Usage: torvinel" : "torvinel "))
            << dir.read("gui.out");
    }
}

} // namespace
} // namespace torvinel::test
