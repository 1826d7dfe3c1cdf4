#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "PlatformTestSupport.h"
#include "support/TempDir.h"
#include "platform/Platform.h"

using namespace torvinel::platform;

namespace {

// Sets environment variables for one test and puts the old values back afterwards.
class Environment {
public:
    void set(const char* name, const char* value)
    {
        if (!m_saved.count(name)) {
            const char* old = std::getenv(name);
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~Environment()
    {
        for (const auto& [name, value] : m_saved)
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

TEST(Folders, ApplicationDataFollowsXdgDataHome)
{
    Environment env;
    env.set("HOME", "/home/ann");
    env.set("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(applicationDataFolder(), "/home/ann/.local/share");
    env.set("XDG_DATA_HOME", "/data/ann/");
    EXPECT_EQ(applicationDataFolder(), "/data/ann");
    env.set("XDG_DATA_HOME", "relative/data"); // not absolute: ignored
    EXPECT_EQ(applicationDataFolder(), "/home/ann/.local/share");
    env.set("HOME", "/home/ann/");
    EXPECT_EQ(homeFolder(), "/home/ann");
}

TEST(Folders, DocumentsComeFromUserDirs)
{
    torvinel::test::TempDir s;
    Environment env;
    env.set("HOME", "/home/ann");
    env.set("XDG_CONFIG_HOME", s.path().c_str());
    struct Case {
        const char* file; // nullptr: no user-dirs.dirs at all
        const char* documents;
    };
    const Case cases[] = {
        {nullptr, "/home/ann/Documents"},
        {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", "/home/ann/Documents"},
        {"# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", "/home/ann/Dokumente"},
        {"XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n", "/srv/docs"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Files\\\"\"\n", "/home/ann/My \"Files\""},
        {"  XDG_DOCUMENTS_DIR=\"$HOME/a\"\nXDG_DOCUMENTS_DIR=\"$HOME/b\"\n", "/home/ann/b"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", "/home/ann"},             // switched off: the home folder
        {"XDG_DOCUMENTS_DIR=\"relative\"\n", "/home/ann/Documents"}, // not a path we can use
        {"XDG_DOCUMENTS_DIR=\"$HOMEWORK\"\n", "/home/ann/Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/unclosed\n", "/home/ann/Documents"},
        {"XDG_DOCUMENTS_DIR_X=\"/x\"\n", "/home/ann/Documents"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(s.path("user-dirs.dirs"));
        if (c.file)
            s.write("user-dirs.dirs", c.file);
        EXPECT_EQ(documentsFolder(), c.documents) << (c.file ? c.file : "(no file)");
    }
    env.set("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(documentsFolder(), "/home/ann/Documents") << "~/.config/user-dirs.dirs does not exist";
}

} // namespace
