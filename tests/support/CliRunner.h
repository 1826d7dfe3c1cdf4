#pragma once
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace torvinel::test {

// A text as one word for the shell, whatever it holds.
inline std::string shellQuoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs the built torvinel-cli as a user of its own account would: HOME, XDG_DATA_HOME and
// XDG_CONFIG_HOME inside a test's folder, standard input empty. The application folder is
// appFolder().
class CliRunner {
public:
    struct Result {
        int code = -1; // the exit code; -1 when the program did not exit normally
        std::string out;
        std::string err;
    };

    // The account's home is dir/home; its data and settings folders are the XDG defaults.
    explicit CliRunner(const TempDir& dir) : CliRunner(dir, dir / "home/.local/share", dir / "home/.config") { }
    CliRunner(const TempDir& dir, std::string dataHome, std::string configHome)
        : m_dir(dir), m_dataHome(std::move(dataHome)), m_configHome(std::move(configHome))
    {
    }

    std::string home() const { return m_dir / "home"; }
    std::string appFolder() const { return m_dataHome + "/Torvinel"; }

    Result run(const std::string& arguments) const
    {
        const std::string command = "env HOME=" + shellQuoted(home()) + " XDG_DATA_HOME=" + shellQuoted(m_dataHome)
            + " XDG_CONFIG_HOME=" + shellQuoted(m_configHome) + " "
            + shellQuoted(std::string(TORVINEL_BINARY_DIR) + "/src/cli/torvinel-cli") + " " + arguments
            + " </dev/null >" + shellQuoted(m_dir / "cli.out") + " 2>" + shellQuoted(m_dir / "cli.err");
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, m_dir.read("cli.out"), m_dir.read("cli.err")};
    }

private:
    const TempDir& m_dir;
    std::string m_dataHome;
    std::string m_configHome;
};

} // namespace torvinel::test
