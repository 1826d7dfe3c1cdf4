// A backup killed while it files a disc into the database, as a power cut would: what was
// filed stays whole, the half-filed disc goes at the next start, and the disc can be added
// back from the image drive's shelf.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "CliFixture.h"
#include "E2eSupport.h"
#include "discwright/DiscReader.h"

namespace torvinel {
namespace {

namespace fs = std::filesystem;

using test::incompressible;
using test::shellQuoted;

class FilingCrashTest : public test::CliFixture {
protected:
    // Starts a backup of dir/data in a child that halts inside the filing of its disc number
    // haltAt; returns once it has halted there (its pid), or -1 when it ended before.
    pid_t backupHaltingAtFiling(int haltAt)
    {
        const std::string marker = dir / "halted";
        const std::string command = "exec env HOME=" + shellQuoted(home)
            + " XDG_DATA_HOME=" + shellQuoted(dir / "home/.local/share")
            + " XDG_CONFIG_HOME=" + shellQuoted(dir / "home/.config")
            + " TORVINEL_TEST_HALT_FILING=" + std::to_string(haltAt) + " TORVINEL_TEST_HALT_MARKER="
            + shellQuoted(marker) + " "
            + shellQuoted(std::string(TORVINEL_BINARY_DIR) + "/tests/e2e/torvinel-cli-halting") + " backup --select "
            + shellQuoted(dir / "data") + " --no-md5 --no-verify </dev/null >" + shellQuoted(dir / "halting.out")
            + " 2>&1";
        const pid_t child = fork();
        if (child == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Waits on the child, not on a clock: it either halts and says so, or ends.
        while (!fs::exists(marker)) {
            if (waitpid(child, nullptr, WNOHANG) == child)
                return -1;
            usleep(10000);
        }
        return child;
    }

    std::set<std::string> folders(const std::string& path) const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(path))
            if (entry.is_directory())
                names.insert(entry.path().filename().string());
        return names;
    }
    // The catalogs of a disc image on the shelf, by name, with their bytes.
    std::map<std::string, std::string> catalogsOnShelf(const std::string& disc)
    {
        std::map<std::string, std::string> found;
        const auto image = makeIsoFileReader(dir / ("discs/" + disc + ".iso"));
        for (const auto& entry : image->list(disc))
            if (entry.name.ends_with(".csv")) {
                const std::string copy = dir / ("read-" + entry.name);
                EXPECT_TRUE(image->copy(disc + "/" + entry.name, copy)) << entry.name;
                found[entry.name] = dir.read(fs::path(copy).filename().string());
            }
        return found;
    }
    std::map<std::string, std::string> catalogsInDatabase(const std::string& disc) const
    {
        std::map<std::string, std::string> found;
        for (const auto& entry : fs::directory_iterator(appFolder + "/Database/" + disc))
            if (entry.path().extension() == ".csv")
                found[entry.path().filename().string()] =
                    dir.read(fs::relative(entry.path(), dir.path()).string());
        return found;
    }
    std::set<std::string> shelf() const
    {
        std::set<std::string> discs;
        for (const auto& entry : fs::directory_iterator(dir / "discs"))
            if (entry.path().extension() == ".iso")
                discs.insert(entry.path().stem().string());
        return discs;
    }
};

TEST_F(FilingCrashTest, AKillWhileFilingLeavesTheDatabaseWholeAndTheDiscCanBeAddedBack)
{
    // Two discs: the big file's volumes run on from the first onto the second.
    dir.write("data/small.txt", "small\n");
    dir.write("data/big.bin", incompressible(20000000, 11));

    const pid_t backup = backupHaltingAtFiling(2);
    ASSERT_GT(backup, 0) << dir.read("halting.out");
    ASSERT_EQ(kill(backup, SIGKILL), 0);
    ASSERT_EQ(waitpid(backup, nullptr, 0), backup);

    // Both discs were burnt; only the first was filed, and whole.
    const std::set<std::string> burnt = shelf();
    ASSERT_EQ(burnt.size(), 2u);
    const std::string first = *burnt.begin(), second = *burnt.rbegin();
    const std::string database = appFolder + "/Database";
    EXPECT_EQ(folders(database), (std::set<std::string>{first, "filing-" + second}));
    EXPECT_FALSE(catalogsInDatabase(first).empty());
    EXPECT_EQ(catalogsInDatabase(first), catalogsOnShelf(first));

    // The next start removes the half-filed folder; the cut disc is not in the database.
    ASSERT_EQ(cli("discs"), 0) << output();
    EXPECT_EQ(lastLine(), first);
    EXPECT_EQ(folders(database), std::set<std::string>{first});

    // Adding from the shelf takes the disc that is missing, and only that one.
    ASSERT_EQ(cli("add-disc " + shellQuoted(dir / "discs")), 0) << output();
    EXPECT_EQ(lastLine(), "The disk was successfully added.");
    EXPECT_EQ(folders(database), burnt);
    for (const auto& disc : burnt)
        EXPECT_EQ(catalogsInDatabase(disc), catalogsOnShelf(disc)) << disc;
    ASSERT_EQ(cli("add-disc " + shellQuoted(dir / "discs")), 0) << output();
    EXPECT_EQ(lastLine(), "This disk is already added.");
}

} // namespace
} // namespace torvinel
