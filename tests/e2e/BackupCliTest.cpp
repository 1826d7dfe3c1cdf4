// torvinel-cli backup as a user runs it: the built program, its own application folder, the
// image drive with small CD-R discs, and the discs read back with xorriso and unzip.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "app/TextFile.h"
#include "archive/ZipArchive.h"
#include "CliFixture.h"
#include "E2eSupport.h"
#include "support/TempDir.h"

namespace torvinel {
namespace {

namespace fs = std::filesystem;

using test::incompressible;
using test::shellQuoted;

class BackupCliTest : public test::CliFixture {
protected:
    std::vector<std::string> discIds() const
    {
        std::vector<std::string> ids;
        for (const auto& entry : fs::directory_iterator(appFolder + "/Database"))
            ids.push_back(entry.path().filename().string());
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    // The catalogs of a disc in the database, by name.
    std::map<std::string, std::vector<std::string>> catalogs(const std::string& disc) const
    {
        std::map<std::string, std::vector<std::string>> found;
        for (const auto& entry : fs::directory_iterator(appFolder + "/Database/" + disc))
            if (entry.path().extension() == ".csv")
                found[entry.path().filename().string()] = readLines(entry.path().string());
        return found;
    }
    // Extracts a disc image; returns the disc's folder.
    std::string readDisc(const std::string& disc)
    {
        const std::string target = dir / ("read/" + disc);
        fs::create_directories(target);
        const std::string command = "xorriso -osirrox on -indev " + shellQuoted(dir / ("discs/" + disc + ".iso"))
            + " -extract / " + shellQuoted(target) + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << disc;
        return target + "/" + disc;
    }
};

// Catalog names (without ".csv") of the split archives among these discs' catalogs.
std::set<std::string> splitNames(const std::map<std::string, std::vector<std::string>>& all)
{
    std::set<std::string> names;
    for (const auto& [name, lines] : all)
        if (name.size() == 23)
            names.insert(name.substr(0, 15));
    return names;
}

// The estimate counts discs of the image drive's own kind and size (CD-R of 15360 blocks, not
// a standard CD or DVD), and each run's output ends with its summary: for the backup the
// files and bytes and each disc with its image, for the restore the files and bytes and the
// folder, before the folder's own line.
TEST_F(BackupCliTest, RunsEndWithTheirSummaryAndTheEstimateCountsTheWritersDiscs)
{
    dir.write("data/a.txt", "alpha\n");
    dir.write("data/big.bin", incompressible(25000000, 3));
    ASSERT_EQ(cli("backup --select " + shellQuoted(dir / "data") + " --no-verify"), 0) << output();
    EXPECT_NE(standardOutput().find("\nThis backup should fit on 1 CD.\n"), std::string::npos) << output();
    const std::vector<std::string> ids = discIds();
    ASSERT_EQ(ids.size(), 2u) << output();
    const std::string summary = "The backup is finished.\nBacked up 2 files, 25.0 MB (25000006 bytes).\n"
                                "Disc " + ids[0] + " was written to " + dir / ("discs/" + ids[0] + ".iso") + ".\n"
                                "Disc " + ids[1] + " was written to " + dir / ("discs/" + ids[1] + ".iso") + ".\n";
    const std::string out = standardOutput();
    ASSERT_GE(out.size(), summary.size()) << out;
    EXPECT_EQ(out.substr(out.size() - summary.size()), summary) << out;
    for (const std::string& id : ids)
        EXPECT_TRUE(fs::exists(dir / ("discs/" + id + ".iso"))) << id;

    ASSERT_EQ(cli("restore --from " + shellQuoted(dir / "discs") + " --to " + shellQuoted(dir / "back") + " "
                  + shellQuoted(dir / "data/")),
              0)
        << output();
    const std::string target = lastLine();
    const std::string restored = "The restored files are in " + target + "\nRestored 2 files, 25.0 MB (25000006 bytes), into "
        + target + ".\n" + target + "\n";
    const std::string back = standardOutput();
    ASSERT_GE(back.size(), restored.size()) << back;
    EXPECT_EQ(back.substr(back.size() - restored.size()), restored) << back;
}

TEST_F(BackupCliTest, RunsOverAChangingTreeGiveDiscsThatOtherToolsAndTheEngineReadBack)
{
    dir.write("data/keep.txt", "kept as it is\n");
    const std::string change = dir.write("data/docs/change.txt", "first version\n");
    const std::string gone = dir.write("data/docs/gone.txt", "deleted before the second run\n");
    const std::string bigBytes = incompressible(20000000, 7);
    const std::string big = dir.write("data/media/big.zip", bigBytes);

    // Run 1: everything is new; the big file's volumes run on onto a second disc.
    ASSERT_EQ(cli("backup --select " + shellQuoted(dir / "data") + " --md5 --no-verify"), 0) << output();
    EXPECT_NE(output().find("The backup is finished."), std::string::npos);
    ASSERT_EQ(discIds().size(), 2u) << output();
    const std::string first = discIds()[0], second = discIds()[1];
    const auto firstCatalogs = catalogs(first), secondCatalogs = catalogs(second);
    const auto splits = splitNames(firstCatalogs);
    ASSERT_EQ(splits.size(), 1u);
    const std::string split = *splits.begin();
    EXPECT_TRUE(firstCatalogs.count(split + "_001.csv") && firstCatalogs.count(split + "_002.csv"));
    EXPECT_TRUE(secondCatalogs.count(split + ".csv"));

    // The images hold what the database says; unzip accepts every ordinary archive.
    std::map<std::string, std::string> read; // file name -> extracted path
    for (const auto& id : {first, second}) {
        const std::string folder = readDisc(id);
        for (const auto& entry : fs::directory_iterator(folder))
            read[entry.path().filename().string()] = entry.path().string();
        for (const auto& [name, lines] : catalogs(id))
            EXPECT_TRUE(read.count(name)) << name;
    }
    int tested = 0;
    for (const auto& [name, path] : read)
        if (name.ends_with(".zip") && name.size() == 19 && !splits.count(name.substr(0, 15))) {
            EXPECT_EQ(std::system(("unzip -tqq " + shellQuoted(path) + " >/dev/null").c_str()), 0) << name;
            ++tested;
        }
    EXPECT_EQ(tested, 1);

    // The split volumes from both discs, put in one folder, give the file back byte for byte.
    fs::create_directories(dir / "joined");
    for (const auto& suffix : {"_001.zip", "_002.zip", ".zip"})
        fs::copy_file(read.at(split + suffix), dir / ("joined/" + split + suffix));
    ZipArchive zip;
    zip.fileName = dir / ("joined/" + split + ".zip");
    zip.open();
    zip.baseDir = dir / "restored";
    ASSERT_TRUE(zip.extractFiles("*.*"));
    zip.close();
    EXPECT_TRUE(dir.read("restored" + big) == bigBytes);

    // Run 2: one file changed, one deleted, one added. The third disc holds the deletion
    // record, the new and changed files, and as much of the unchanged ones as fits.
    dir.write("data/docs/change.txt", "second, longer version\n");
    fs::remove(gone);
    const std::string added = dir.write("data/new.txt", "new\n");
    ASSERT_EQ(cli("backup --select " + shellQuoted(dir / "data") + " --save-selection"), 0) << output();
    ASSERT_EQ(discIds().size(), 3u) << output();
    std::map<char, std::vector<std::string>> byKind;
    for (const auto& [name, lines] : catalogs(discIds()[2]))
        byKind[name[14]].insert(byKind[name[14]].end(), lines.begin(), lines.end());
    ASSERT_EQ(byKind['d'].size(), 1u);
    EXPECT_EQ(byKind['d'][0].substr(0, gone.size() + 2), "\"" + gone + "\"");
    ASSERT_EQ(byKind['n'].size(), 2u);
    EXPECT_EQ(byKind['n'][0].substr(1, change.size()), change);
    EXPECT_EQ(byKind['n'][1].substr(1, added.size()), added);
    EXPECT_FALSE(byKind['f'].empty()); // the big file's first volumes, in rotation

    // Run 3 without --select takes FQList.txt (saved by run 2), and completes the rotated split first.
    ASSERT_EQ(cli("backup"), 0) << output();
    ASSERT_EQ(discIds().size(), 4u) << output();
    const auto rotated = splitNames(catalogs(discIds()[2]));
    ASSERT_EQ(rotated.size(), 1u);
    EXPECT_TRUE(catalogs(discIds()[3]).count(*rotated.begin() + ".csv")) << output();
}

TEST_F(BackupCliTest, ExitCodesForCancelAndForAWrongCommandLine)
{
    dir.write("data/a.txt", "a");
    // A disc far larger than the free space of the temporary folder's drive: the writer
    // cancels before anything is packed.
    setDisc("DVD+R DL", 2000000000);
    EXPECT_EQ(cli("backup --select " + shellQuoted(dir / "data")), 1) << output();
    EXPECT_NE(output().find("The backup was cancelled."), std::string::npos) << output();
    EXPECT_NE(output().find("You do not have enough space on your hard drive"), std::string::npos);

    EXPECT_EQ(cli("backup --writer x"), 2);
    EXPECT_EQ(cli("backup --writer 5"), 2);

    // A disc that cannot even keep the reserve is refused before anything is packed: no
    // label to write on it, nothing recorded.
    setDisc("DVD+R", 5000);
    EXPECT_EQ(cli("backup --select " + shellQuoted(dir / "data")), 2) << output();
    EXPECT_NE(output().find("The disk in the CD/DVD writer is too small"), std::string::npos) << output();
    EXPECT_EQ(output().find("mark it with the following number"), std::string::npos) << output();
    EXPECT_TRUE(discIds().empty());
}

// A run that finished but left files out names each on standard error and exits with 3;
// links and FIFOs inside the ticked folder are only counted, and leave the exit code at 0.
TEST_F(BackupCliTest, FilesLeftOutAreNamedOnStandardErrorWithExitCodeThree)
{
    const struct {
        const char* folder;
        bool unreadable; // a file of mode 000 (root reads it anyway: the case is skipped)
        bool tooLarge;   // a 6 MB file on discs of 4 MiB of room
        bool specials;   // a FIFO and a link
        int code;
        std::string errors; // <f> stands for the folder
        std::string told;   // on standard output
    } cases[] = {
        {"unreadable", true, false, false, 3, "Not backed up: <f>/b.txt: could not be read\n",
         "The backup is finished, but 1 file was not backed up."},
        {"large", false, true, false, 3, "Not backed up: <f>/b.txt: too large for an empty disc\n",
         "The backup is finished, but 1 file was not backed up."},
        {"specials", false, false, true, 0, "",
         "The backup is finished.\nSkipped 2 links, FIFOs, sockets or devices inside the selected folders; they "
         "are listed in the log."},
    };
    for (const auto& c : cases) {
        if (c.unreadable && ::geteuid() == 0)
            continue;
        const std::string folder = dir / ("data/" + std::string(c.folder));
        const std::string b = dir.write("data/" + std::string(c.folder) + "/b.txt",
                                        c.tooLarge ? incompressible(6000000, 7) : std::string("beta"));
        dir.write("data/" + std::string(c.folder) + "/c.txt", "gamma");
        if (c.unreadable)
            fs::permissions(b, fs::perms::none);
        if (c.specials) {
            ASSERT_EQ(::mkfifo((folder + "/pipe").c_str(), 0600), 0);
            fs::create_symlink(folder + "/c.txt", folder + "/link");
        }
        fs::remove_all(appFolder + "/Database");
        fs::remove_all(dir / "discs");
        setDisc("CD-R", c.tooLarge ? (4 + 10) * 512 : 15360);

        EXPECT_EQ(cli("backup --select " + shellQuoted(folder)), c.code) << c.folder << "\n" << output();
        std::string errors = c.errors;
        if (const std::size_t at = errors.find("<f>"); at != std::string::npos)
            errors.replace(at, 3, folder);
        std::string named; // the library traces its start on standard error too
        std::istringstream lines(this->errors());
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("Not backed up: ", 0) == 0)
                named += line + "\n";
        EXPECT_EQ(named, errors) << c.folder << "\n" << output();
        EXPECT_NE(output().find(c.told + "\n"), std::string::npos) << c.folder << "\n" << output();
        EXPECT_EQ(output().find("Could not find file"), std::string::npos) << c.folder << "\n" << output();
        EXPECT_EQ(discIds().size(), 1u) << c.folder << ": no disc is burnt to find a file too large";
        fs::permissions(b, fs::perms::owner_all);
    }
}

// --select names this run's paths; the saved selection changes only when asked to, and a
// selection that names nothing to back up is refused before any disc is asked for.
TEST_F(BackupCliTest, SelectChoosesThisRunOnlyAndMustNameSomething)
{
    const std::string a = dir.write("data/a.txt", "a"), b = dir.write("data/b/b.txt", "b");
    const std::string fqList = appFolder + "/FQList.txt";
    const std::string unticked = "/elsewhere\r\n";
    const std::string saved = a + "\r\n";
    struct Case {
        std::string arguments;
        std::optional<std::string> savedList; // none: no FQList.txt
        int code;
        std::string message;
        std::string listAfter; // FQList.txt afterwards
        std::string backedUp;  // the one file the run records
    } cases[] = {
        {"backup --select missing", saved, 2, "Cannot back up " + dir / "missing: it does not exist.", saved, ""},
        {"backup --select data/b/", saved, 0, "The backup is finished.", saved, b},
        {"backup --select data/b --save-selection", saved, 0, "The backup is finished.", dir / "data/b\r\n", b},
        {"backup", saved, 0, "The backup is finished.", saved, a},
        {"backup", "", 2, "Nothing is selected for backup.", "", ""},
        {"backup", dir / "gone.txt\r\n", 2, "Nothing is selected for backup.", "", ""},
        {"backup", std::nullopt, 2, "Nothing is selected for backup.", "", ""},
    };
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path()); // relative paths are taken from here
    for (const auto& c : cases) {
        fs::remove_all(appFolder + "/Database");
        fs::remove_all(dir / "discs");
        setDisc("CD-R", 15360); // and no newest disc
        fs::remove(fqList);
        if (c.savedList)
            dir.write("home/.local/share/Torvinel/FQList.txt", *c.savedList);
        dir.write("home/.local/share/Torvinel/FQUList.txt", unticked);
        EXPECT_EQ(cli(c.arguments), c.code) << c.arguments << "\n" << output();
        EXPECT_NE(output().find(c.message), std::string::npos) << c.arguments << "\n" << output();
        if (c.savedList) {
            EXPECT_EQ(dir.read("home/.local/share/Torvinel/FQList.txt"), c.listAfter) << c.arguments;
        }
        if (c.arguments.find("--save-selection") == std::string::npos) {
            EXPECT_EQ(dir.read("home/.local/share/Torvinel/FQUList.txt"), unticked) << c.arguments;
        }
        if (c.code == 2)
            EXPECT_FALSE(fs::exists(dir / "discs")) << c.arguments;
        else
            EXPECT_EQ(readLines(appFolder + "/NewList.txt"), std::vector<std::string>{c.backedUp}) << c.arguments;
    }
    fs::current_path(cwd);
}

// A ticked link is followed and recorded under its own path; links inside folders are not.
TEST_F(BackupCliTest, ATickedLinkIsBackedUpAndRestoredUnderItsOwnPath)
{
    dir.write("data/real/a.txt", "through the link");
    dir.write("other/b.txt", "behind a link inside");
    fs::create_directory_symlink(dir / "other", dir / "data/real/inner");
    fs::create_directory_symlink(dir / "data/real", dir / "linkdir");
    ASSERT_EQ(cli("backup --select " + shellQuoted(dir / "linkdir")), 0) << output();
    ASSERT_EQ(discIds().size(), 1u) << output();
    std::vector<std::string> lines;
    for (const auto& [name, catalogLines] : catalogs(discIds()[0]))
        lines.insert(lines.end(), catalogLines.begin(), catalogLines.end());
    ASSERT_EQ(lines.size(), 1u) << output();
    EXPECT_EQ(lines[0].substr(0, (dir / "linkdir/a.txt").size() + 2), "\"" + dir / "linkdir/a.txt" + "\"");

    ASSERT_EQ(cli("restore --from " + shellQuoted(dir / "discs") + " " + shellQuoted(dir / "linkdir/")), 0) << output();
    EXPECT_EQ(readLines(lastLine() + "/r" + dir / "linkdir/a.txt"), std::vector<std::string>{"through the link"});
}

// Only a backup uses the saved selection: every other command leaves both lists exactly as
// they were, a vanished path included (the GUI reports and drops it at its next start), and
// says nothing about it. Nor does a command line store a window position.
TEST_F(BackupCliTest, OtherCommandsKeepTheSelection)
{
    dir.write("data/a.txt", "a");
    dir.write("data/sub/b.txt", "b");
    const std::string selection = dir / "data/a.txt" + "\r\n" + dir / "data/sub" + "\r\n" + dir / "gone.txt" + "\r\n";
    dir.write("home/.local/share/Torvinel/FQList.txt", selection);
    const std::string unticked = dir / "data/sub/b.txt" + "\r\n" + "/elsewhere\r\n";
    for (const bool withUntickedList : {false, true}) {
        if (withUntickedList)
            dir.write("home/.local/share/Torvinel/FQUList.txt", unticked);
        for (const char* command : {"discs", "sets", "drives", "state"}) {
            ASSERT_EQ(cli(command), 0) << command << "\n" << output();
            EXPECT_EQ(dir.read("home/.local/share/Torvinel/FQList.txt"), selection) << command;
            EXPECT_EQ(fs::exists(appFolder + "/FQUList.txt"), withUntickedList) << command;
            if (withUntickedList) {
                EXPECT_EQ(dir.read("home/.local/share/Torvinel/FQUList.txt"), unticked) << command;
            }
            EXPECT_EQ(dir.read("home/.local/share/Torvinel/LogFile.txt").find("Could not add to Backuptree"),
                      std::string::npos)
                << command;
            EXPECT_EQ(output().find("gone.txt"), std::string::npos) << command << "\n" << output();
            EXPECT_EQ(dir.read("home/.local/share/Torvinel/Torvinel.ini").find("[Form]"), std::string::npos)
                << command;
        }
    }
}

} // namespace
} // namespace torvinel
