// torvinel-cli backup and restore as a user runs them: several backups over a changing tree
// on small image discs, then every backup set restored in full and compared with the tree as
// it was at that run, bytes and modification times.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/Platform.h"
#include "CliFixture.h"
#include "E2eSupport.h"
#include "support/DiscwrightTestSupport.h"
#include "support/TempDir.h"

namespace torvinel {
namespace {

namespace fs = std::filesystem;

using test::incompressible;
using test::shellQuoted;

struct Version {
    std::string bytes;
    platform::Stamp stamp;
};
using Snapshot = std::map<std::string, Version>; // path below the data folder -> version

bool operator==(const platform::Stamp& a, const platform::Stamp& b)
{
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute
        && a.second == b.second;
}

class RestoreCliTest : public test::CliFixture {
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        cli("--help");
        if (output().find("\n  backup") == std::string::npos)
            GTEST_SKIP() << "this torvinel-cli has no backup command";
    }
    // Writes a file of the tree with a fixed stamp (even seconds, as the catalogs keep them).
    void put(const std::string& relative, const std::string& bytes, int minute)
    {
        dir.write("data/" + relative, bytes);
        ASSERT_TRUE(platform::setLastWriteStamp(dir / ("data/" + relative), {2024, 3, 5, 14, minute, 26}));
    }
    static Snapshot snapshotOf(const std::string& folder)
    {
        Snapshot snapshot;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string path = entry.path().string();
            snapshot[path.substr(folder.size())] = {
                std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
                *platform::lastWriteStamp(path)};
        }
        return snapshot;
    }
    // The backup sets as `sets` lists them, newest first: their last discs.
    std::vector<std::string> sets()
    {
        EXPECT_EQ(cli("sets"), 0) << output();
        std::vector<std::string> discs;
        std::istringstream lines(output());
        for (std::string line; std::getline(lines, line);)
            if (line.size() > 12 && line.back() == ')')
                discs.push_back(line.substr(line.size() - 12, 11));
        return discs;
    }
    // Restores the whole data folder of a set; the restored copy of it.
    std::string restoreAll(const std::string& set, const std::string& from)
    {
        const int code =
            cli("restore --set " + set + " --from " + shellQuoted(from) + " " + shellQuoted(dir / "data/"));
        EXPECT_EQ(code, 0) << output();
        return lastLine() + "/r" + (dir / "data").substr(platform::drivePrefixLength() - 1);
    }
};

TEST_F(RestoreCliTest, EverySetRestoresTheTreeAsItWasAtItsRun)
{
    put("keep.txt", "kept as it is\n", 1);
    put("docs/change.txt", "first version\n", 2);
    put("docs/gone.txt", "deleted before the second run\n", 3);
    put("media/big.bin", incompressible(20000000, 7), 4); // split, over two discs
    const std::string backup = "backup --select " + shellQuoted(dir / "data") + " --no-verify";
    ASSERT_EQ(cli(backup), 0) << output();
    std::vector<Snapshot> snapshots{snapshotOf(dir / "data")};

    put("docs/change.txt", "second, longer version\n", 5);
    fs::remove(dir / "data/docs/gone.txt");
    put("new.txt", "new\n", 6);
    ASSERT_EQ(cli(backup), 0) << output(); // rotates the big file's first volumes
    snapshots.push_back(snapshotOf(dir / "data"));

    ASSERT_EQ(cli(backup), 0) << output(); // completes the rotated split
    snapshots.push_back(snapshotOf(dir / "data"));

    const std::vector<std::string> discs = sets();
    ASSERT_EQ(discs.size(), 3u) << output();
    for (std::size_t run = 0; run < 3; ++run) {
        const std::string set = discs[2 - run];
        const Snapshot restored = snapshotOf(restoreAll(set, dir / "discs"));
        EXPECT_EQ(restored.size(), snapshots[run].size()) << set;
        for (const auto& [path, version] : snapshots[run]) {
            ASSERT_TRUE(restored.count(path)) << set << " " << path;
            EXPECT_TRUE(restored.at(path).bytes == version.bytes) << set << " " << path;
            EXPECT_TRUE(restored.at(path).stamp == version.stamp) << set << " " << path;
        }
    }

    // The newest set takes the big file from the rotated copy on the two newest discs: with
    // only those on the shelf it is still restored, and no other disc is asked for.
    fs::create_directories(dir / "newest");
    std::vector<std::string> all;
    for (const auto& entry : fs::directory_iterator(dir / "discs"))
        all.push_back(entry.path().filename().string());
    std::sort(all.begin(), all.end());
    ASSERT_GE(all.size(), 4u);
    for (std::size_t i = all.size() - 2; i < all.size(); ++i)
        fs::copy_file(dir / ("discs/" + all[i]), dir / ("newest/" + all[i]));
    ASSERT_EQ(cli("restore --from " + shellQuoted(dir / "newest") + " " + shellQuoted(dir / "data/media/big.bin")), 0)
        << output();
    EXPECT_EQ(output().find("Please insert"), std::string::npos) << output();
    const std::string target =
        lastLine() + "/r" + (dir / "data/media/big.bin").substr(platform::drivePrefixLength() - 1);
    std::ifstream in(target, std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())
                == snapshots[2].at("/media/big.bin").bytes);
}

// A lost database comes back from the newest disc alone: its index records every earlier
// disc, and anyone can read the index and its README without this program.
TEST_F(RestoreCliTest, TheNewestDiscAloneRebuildsTheDatabase)
{
    put("docs/a.txt", "first\n", 1);
    put("media/big.bin", incompressible(20000000, 3), 2); // split, over two discs
    const std::string backup = "backup --select " + shellQuoted(dir / "data") + " --no-verify";
    ASSERT_EQ(cli(backup), 0) << output();
    put("docs/a.txt", "second version\n", 3);
    put("docs/b.txt", "new\n", 4);
    ASSERT_EQ(cli(backup), 0) << output();

    ASSERT_EQ(cli("sets"), 0) << output();
    const std::string setsBefore = output();
    ASSERT_EQ(cli("state"), 0) << output();
    const std::string stateBefore = output();
    ASSERT_EQ(cli("discs"), 0) << output();
    const std::string discsBefore = output();
    ASSERT_EQ(cli("report"), 0) << output();
    const std::string reportBefore = output();

    std::vector<std::string> images;
    for (const auto& entry : fs::directory_iterator(dir / "discs"))
        images.push_back(entry.path().filename().string());
    std::sort(images.begin(), images.end());
    ASSERT_GE(images.size(), 3u);
    const std::string newest = images.back().substr(0, 11);
    const std::string image = dir / ("discs/" + images.back());

    // The index as any tool reads it: every earlier disc's catalogs and STATUS.INI.
    const std::string extract = dir / "index";
    fs::create_directories(extract);
    ASSERT_EQ(std::system(("xorriso -osirrox on -indev " + shellQuoted(image) + " -extract /" + newest + "/index "
                           + shellQuoted(extract) + " >/dev/null 2>&1")
                              .c_str()),
              0);
    std::ifstream readme(extract + "/README.txt");
    const std::string readmeText{std::istreambuf_iterator<char>(readme), std::istreambuf_iterator<char>()};
    EXPECT_NE(readmeText.find("This is disc " + newest + " of a backup made with Torvinel."), std::string::npos);
    const std::string listing = test::run("unzip -l " + shellQuoted(extract + "/Catalogs.zip"));
    for (std::size_t i = 0; i + 1 < images.size(); ++i) {
        EXPECT_NE(listing.find(images[i].substr(0, 11) + "/STATUS.INI"), std::string::npos) << listing;
        EXPECT_NE(listing.find(images[i].substr(0, 11) + "/" + images[i].substr(0, 8)), std::string::npos) << listing;
    }
    EXPECT_EQ(listing.find(newest + "/"), std::string::npos) << listing;

    // The index and STATUS.INI lead the disc's data, where a disc is read most reliably.
    std::istringstream lbas(test::run("xorriso -indev " + shellQuoted(image)
                                      + " -find / -type f -exec report_lba -- 2>/dev/null"));
    long lastLeading = -1, firstArchive = -1;
    for (std::string line; std::getline(lbas, line);) {
        if (line.rfind("File data lba:", 0) != 0)
            continue;
        const long start = std::stol(line.substr(line.find(',') + 1));
        const bool leading = line.find("/index/") != std::string::npos || line.find("/status.ini'") != std::string::npos;
        if (leading)
            lastLeading = std::max(lastLeading, start);
        else if (line.find(".zip'") != std::string::npos && (firstArchive < 0 || start < firstArchive))
            firstArchive = start;
    }
    EXPECT_GT(lastLeading, 0);
    EXPECT_GT(firstArchive, lastLeading);

    fs::remove_all(appFolder + "/Database");
    fs::create_directories(dir / "newest");
    fs::copy_file(image, dir / ("newest/" + images.back()));
    ASSERT_EQ(cli("add-disc --all " + shellQuoted(dir / ("newest/" + images.back()))), 0) << output();
    ASSERT_EQ(cli("discs"), 0) << output();
    EXPECT_EQ(output(), discsBefore);
    ASSERT_EQ(cli("sets"), 0) << output();
    EXPECT_EQ(output(), setsBefore);
    ASSERT_EQ(cli("state"), 0) << output();
    EXPECT_EQ(output(), stateBefore);
    ASSERT_EQ(cli("report"), 0) << output();
    EXPECT_EQ(output(), reportBefore);
    EXPECT_FALSE(fs::exists(appFolder + "/indexread"));
    // Each disc has its line; the files the second run changed are on its disc alone.
    for (const auto& name : images)
        EXPECT_NE(reportBefore.find(name.substr(0, 11) + ": "), std::string::npos) << reportBefore;
    EXPECT_NE(reportBefore.find("  " + (dir / "data/docs/b.txt") + " ("), std::string::npos) << reportBefore;

    // A disc written before discs carried an index is refused with a word on what to do.
    dir.write("old/20240101001/STATUS.INI", "[MD5]\r\n");
    EXPECT_EQ(cli("add-disc --all " + shellQuoted(dir / "old")), 2);
    EXPECT_EQ(errors(), "Disc 20240101001 carries no index of earlier discs; add its discs one by one.\n");
}

} // namespace
} // namespace torvinel
