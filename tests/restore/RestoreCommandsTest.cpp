#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "RestoreFixture.h"
#include "support/CliRunner.h"

namespace torvinel::test {
namespace {

namespace fs = std::filesystem;

// Runs the built torvinel-cli with its data and documents folders inside the test's folder.
class RestoreCommandsTest : public RestoreFixture {
protected:
    void SetUp() override
    {
        RestoreFixture::SetUp();
        s.DatabaseFolder = dir / "data/Torvinel/Database";
        fs::create_directories(s.DatabaseFolder);
        deletedCatalog("20240301001", "2024030100001dd", {}, "20240301100000");
        archive("20240301001", "2024030100002rn", {{"/home/u/a.txt", "first"}, {"/home/u/b.txt", "b"}});
        deletedCatalog("20240302001", "2024030200001dd", {}, "20240302100000");
        archive("20240302001", "2024030200002rn", {{"/home/u/a.txt", "second", "20240302100000"}, {"/x", "x"}});
    }
    int cli(const std::string& arguments)
    {
        const CliRunner::Result result = CliRunner(dir, dir / "data", dir / "config").run(arguments);
        out = result.out;
        err = result.err;
        return result.code;
    }
    // The last line of the output: the target folder.
    std::string lastLine() const
    {
        std::string text = out;
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text.substr(text.find_last_of('\n') + 1);
    }
    std::string out, err;
};

TEST_F(RestoreCommandsTest, SetsAndRestoresFromEachSet)
{
    ASSERT_EQ(cli("sets"), 0) << err;
    EXPECT_NE(out.find("(20240302001)\n"), std::string::npos) << out;
    EXPECT_LT(out.find("(20240302001)"), out.find("(20240301001)"));

    struct Case {
        std::string arguments, path, content;
    } cases[] = {
        {"/home/u/a.txt", "/home/u/a.txt", "second"},
        {"--set 20240301001 /home/u/", "/home/u/a.txt", "first"},
        {"--set 20240301001 /home/u", "/home/u/b.txt", "b"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(cli("restore --from '" + drive() + "' " + c.arguments), 0) << c.arguments << "\n" << err;
        const std::string target = lastLine();
        EXPECT_EQ(target.rfind(dir / "home/Documents/Torvinel Restores/", 0), 0u) << out;
        EXPECT_EQ(dir.read(target.substr(dir.path().size() + 1) + "/r" + c.path), c.content) << c.arguments;
    }
}

TEST_F(RestoreCommandsTest, ReadsFromTheImageDriveByDefault)
{
    const std::string shelf = dir / "home/Torvinel Discs";
    fs::create_directories(shelf);
    for (const char* disc : {"20240301001", "20240302001"}) {
        const std::string make = std::string("xorriso -as mkisofs -quiet -J -o '") + shelf + "/" + disc
            + ".iso' -graft-points '/" + disc + "=" + drive() + "/" + disc + "' >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0)
            GTEST_SKIP() << "xorriso cannot make an image here";
    }
    dir.write("data/Torvinel/Torvinel.ini", "[ImageDrive]\r\nFolder=" + shelf + "\r\n");
    ASSERT_EQ(cli("restore --set 20240301001 /home/u/a.txt"), 0) << err << out;
    const std::string target = lastLine();
    EXPECT_EQ(dir.read(target.substr(dir.path().size() + 1) + "/r/home/u/a.txt"), "first");
}

TEST_F(RestoreCommandsTest, RestoresIntoTheFolderGivenWithTo)
{
    // Relative to the working folder, and made with its missing parents.
    const std::string chosen = dir / "restored/here";
    const std::string relative = fs::relative(chosen, fs::current_path()).string();
    ASSERT_EQ(cli("restore --from '" + drive() + "' --to " + shellQuoted(relative) + " /home/u/a.txt"), 0) << err;
    const std::string target = lastLine();
    EXPECT_EQ(target.rfind(chosen + "/", 0), 0u) << out;
    EXPECT_EQ(dir.read(target.substr(dir.path().size() + 1) + "/r/home/u/a.txt"), "second");
    EXPECT_FALSE(fs::exists(dir / "home/Documents/Torvinel Restores/" + fs::path(target).filename().string()));

    // A second run makes the next dated folder beside the first.
    ASSERT_EQ(cli("restore --from '" + drive() + "' --to '" + chosen + "' /x"), 0) << err;
    EXPECT_EQ(fs::path(lastLine()).parent_path(), fs::path(chosen));
    EXPECT_NE(lastLine(), target);

    dir.write("a-file", "not a folder");
    EXPECT_EQ(cli("restore --from '" + drive() + "' --to '" + (dir / "a-file") + "' /x"), 2);
    EXPECT_EQ(err, "Cannot restore to " + (dir / "a-file") + ": it is not a folder.\n");
}

TEST_F(RestoreCommandsTest, RefusalsCancelAndFailures)
{
    EXPECT_EQ(cli("restore"), 2);
    // A drive that does not exist is refused before any disc is asked for.
    EXPECT_EQ(cli("restore --from '" + (dir / "no-such-drive") + "' /x"), 2);
    EXPECT_EQ(err, "Cannot restore from " + (dir / "no-such-drive") + ": it does not exist.\n");
    EXPECT_EQ(out.find("Please insert"), std::string::npos) << out;
    EXPECT_EQ(cli("restore --set 20991231001 /x"), 2);
    EXPECT_NE(err.find("20991231001"), std::string::npos);
    EXPECT_EQ(cli("restore --from '" + drive() + "' /home/u/nothing.txt"), 2);
    EXPECT_NE(err.find("/home/u/nothing.txt"), std::string::npos);

    // A drive without the disc: nobody at the terminal to insert it, so the dialog is cancelled.
    fs::create_directories(dir / "empty");
    EXPECT_EQ(cli("restore --from '" + (dir / "empty") + "' /x"), 1);
    EXPECT_NE(out.find("Please insert the disk labeled 20240302001"), std::string::npos) << out;
    EXPECT_NE(out.find("The Restore was cancelled."), std::string::npos) << out;

    // A damaged archive that is the only copy: the file is reported, the run finishes.
    dir.write("discs/20240302001/2024030200002rn.zip", "damaged");
    EXPECT_EQ(cli("restore --from '" + drive() + "' /"), 3);
    EXPECT_NE(err.find("Not restored: /x: 20240302001/2024030200002rn.zip: the archive cannot be read"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("/home/u/b.txt"), std::string::npos) << err; // from the older disc
    EXPECT_NE(out.find("The restore is finished, but 2 files could not be restored."), std::string::npos) << out;
    const std::string target = lastLine();
    EXPECT_EQ(dir.read(target.substr(dir.path().size() + 1) + "/r/home/u/b.txt"), "b");
}

TEST_F(RestoreCommandsTest, PlanListsTheDiscsAndRestoresNothing)
{
    // The newest set: a.txt and x from the newest disc, b.txt (unchanged since) from the older.
    ASSERT_EQ(cli("restore --plan --from '" + drive() + "' /"), 0) << err;
    EXPECT_EQ(out, "20240302001  2 files  7 bytes\n20240301001  1 file  1 bytes\n");
    EXPECT_FALSE(fs::exists(dir / "home/Documents/Torvinel Restores")
                 && !fs::is_empty(dir / "home/Documents/Torvinel Restores"));
    EXPECT_EQ(cli("restore --plan --set 20240301001 /home/u/"), 0) << err;
    EXPECT_EQ(out, "20240301001  2 files  6 bytes\n");
}

} // namespace
} // namespace torvinel::test
