#include "backup/Selection.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/TextFile.h"
#include "backup/HiddenMounts.h"
#include "support/ScriptedView.h"
#include "support/TempDir.h"

namespace torvinel {
namespace {

namespace fs = std::filesystem;

using test::ScriptedView;

// The tree with the given paths (and their ancestors), all unticked.
void build(MemoryCheckTree& tree, const std::vector<std::string>& paths)
{
    for (const auto& path : paths)
        tree.addPath(path);
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& content = "x")
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// A scratch folder with an application folder and an open log.
class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = m_dir.path();
        fs::create_directories(m_root / "app");
        state.AppFolder = (m_root / "app").string();
        state.DatabaseFolder = state.AppFolder + "/Database";
        state.TempFolder = (m_root / "tempbase" / "torvineltemp").string();
        fs::create_directories(state.DatabaseFolder);
        fs::create_directories(state.TempFolder);
        state.log.open(state.appFile("LogFile.txt"));
    }
    void TearDown() override { state.log.close(); }
    std::string path(const std::string& relative) const { return (m_root / relative).string(); }
    std::string logText() const { return readAll(state.appFile("LogFile.txt")); }

    // Runs the walk over FQList and returns the files handed to the action, sorted.
    std::vector<std::string> walk(const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> files;
        getFQFullList(
            state, view, [&files](const std::string& file) { files.push_back(file); }, extra);
        std::sort(files.begin(), files.end());
        return files;
    }

    test::TempDir m_dir;
    fs::path m_root;
    RunState state;
    ScriptedView view;
};

// ---- collecting and saving the ticks ------------------------------------------------------

TEST_F(SelectionTest, TicksBecomeTopmostCheckedAndUncheckedPathsInTreeOrder)
{
    MemoryCheckTree& data = view.backupMemoryTree();
    build(data, {"/data/a.txt", "/data/b.txt", "/data/sub/c", "/other"});

    struct Case {
        std::vector<std::string> ticked;
        std::vector<std::string> fq;
        std::vector<std::string> fqu;
    } cases[] = {
        {{"/data"}, {"/data"}, {"/other"}}, // ticked folder: its path only
        {{"/data/a.txt", "/data/sub"}, {"/data/a.txt", "/data/sub"}, {"/data/b.txt", "/other"}}, // partly ticked
        {{}, {}, {"/"}},                                                                         // nothing ticked
        {{"/"}, {"/"}, {}},
    };
    for (const auto& c : cases) {
        data.setCheckState(data.firstTopLevel(), CheckState::Unchecked);
        for (const auto& p : c.ticked)
            data.setCheckState(data.find(p), CheckState::Checked);
        SaveSelection(state, view);
        EXPECT_EQ(state.FQList, c.fq);
        EXPECT_EQ(state.FQUList, c.fqu);
        std::string fqText, fquText;
        for (const auto& p : c.fq)
            fqText += p + "\r\n";
        for (const auto& p : c.fqu)
            fquText += p + "\r\n";
        EXPECT_EQ(readAll(state.appFile("FQList.txt")), fqText);
        EXPECT_EQ(readAll(state.appFile("FQUList.txt")), fquText);
    }
}

TEST_F(SelectionTest, PhaseOneCollectsAndSavesOnlyFQListAndResumesRepainting)
{
    MemoryCheckTree& data = view.backupMemoryTree();
    build(data, {"/a", "/b"});
    data.setCheckState(data.find("/b"), CheckState::Checked);
    CollectFQList(state, view);
    EXPECT_EQ(state.FQList, std::vector<std::string>{"/b"});
    EXPECT_EQ(readAll(state.appFile("FQList.txt")), "/b\r\n");
    EXPECT_FALSE(fs::exists(state.appFile("FQUList.txt")));
    EXPECT_FALSE(data.repaintSuspended());
}

// ---- expanding the selection into files --------------------------------------------------

TEST_F(SelectionTest, TickedFolderYieldsEveryFileBelowItHiddenOnesAndArchivesAsFiles)
{
    writeFile(path("home/a.txt"));
    writeFile(path("home/.hidden"));
    writeFile(path("home/deep/er/b.bin"));
    writeFile(path("home/pack.zip")); // one file, not descended into
    writeFile(path("home/Setup.CAB"));
    writeFile(path("home/named.zip/inside")); // a real folder, whatever its name
    fs::create_directories(path("home/empty"));
    writeFile(path("single.txt"));
    state.FQList = {path("home"), path("gone"), path("single.txt")};

    EXPECT_EQ(walk(),
              (std::vector<std::string>{path("home/.hidden"), path("home/Setup.CAB"), path("home/a.txt"),
                                        path("home/deep/er/b.bin"), path("home/named.zip/inside"),
                                        path("home/pack.zip"), path("single.txt")}));
    EXPECT_TRUE(state.FQList.empty());
    EXPECT_EQ(logText(), ""); // a vanished path is skipped silently
}

TEST_F(SelectionTest, OwnWorkingFoldersAreNeverBackedUpEvenInsideATickedFolder)
{
    writeFile(state.appFile("FQList.txt"));
    writeFile(state.DatabaseFolder + "/20260101001/a.csv");
    writeFile(state.TempFolder + "/staged.zip");
    writeFile(path("tempbase/mine.txt"));
    writeFile(path("images/20260101001.iso"));
    writeFile(path("keep.txt"));
    state.FQList = {m_root.string(), state.appFile("LogFile.txt")};

    EXPECT_EQ(walk({path("images/")}), (std::vector<std::string>{path("keep.txt"), path("tempbase/mine.txt")}));
    const std::string log = logText();
    EXPECT_NE(log.find("Skipped " + state.AppFolder + ": excluded from backups\r\n"), std::string::npos);
    EXPECT_NE(log.find("Skipped " + state.TempFolder + ": excluded from backups\r\n"), std::string::npos);
    EXPECT_NE(log.find("Skipped " + path("images") + ": excluded from backups\r\n"), std::string::npos);
    EXPECT_NE(log.find("Skipped " + state.appFile("LogFile.txt") + ": excluded from backups\r\n"), std::string::npos);
}

// Restored copies are older versions of what the discs hold: backing them up would burn them
// again. The folder chosen to restore into is left out too, unless the user ticks it or
// something inside it.
TEST_F(SelectionTest, RestoresFoldersAreNotBackedUpUnlessTheChoiceHoldsATick)
{
    state.RestoreFolder = path("Documents/Torvinel Restores");
    writeFile(path("Documents/Torvinel Restores/20260101001/r/Documents/a.txt"));
    const std::string restoredElsewhere = path("Documents/Elsewhere/20260102001/r/Documents/a.txt");
    writeFile(restoredElsewhere);
    writeFile(path("Documents/a.txt"));
    struct Case {
        std::string chosen;
        std::vector<std::string> ticked;
        std::vector<std::string> files;
    } cases[] = {
        {"", {path("Documents")}, {restoredElsewhere, path("Documents/a.txt")}},
        {path("Documents/Elsewhere"), {path("Documents")}, {path("Documents/a.txt")}},
        {path("Documents"), {path("Documents")}, {restoredElsewhere, path("Documents/a.txt")}},
        {path(""), {path("Documents/a.txt")}, {path("Documents/a.txt")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        state.ChosenRestoreFolder = c.chosen;
        state.FQList = c.ticked;
        EXPECT_EQ(walk(), c.files);
    }
    EXPECT_NE(logText().find("Skipped " + state.RestoreFolder + ": excluded from backups\r\n"), std::string::npos);
}

TEST_F(SelectionTest, SpecialFilesLinksAndUncarriableNamesAreSkippedAndLogged)
{
    writeFile(path("t/plain.txt"));
    ASSERT_EQ(mkfifo(path("t/pipe").c_str(), 0600), 0);
    fs::create_symlink(path("t/plain.txt"), path("t/link"));
    fs::create_directory_symlink(path("t"), path("t/loop")); // would recurse for ever if followed
    writeFile(path("t/line\nbreak"));
    writeFile(path("t/quote\",comma"));
    writeFile(path("t/lone\"quote"));
    writeFile(path("t/bad\rdir/inner.txt"));
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = path("t/sock");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    state.FQList = {path("t")};

    const auto files = walk();
    close(sock);
    EXPECT_EQ(files, (std::vector<std::string>{path("t/lone\"quote"), path("t/plain.txt")}));
    const std::string log = logText();
    for (const std::string& line :
         {"Skipped " + path("t/pipe") + ": not a regular file or folder",
          "Skipped " + path("t/sock") + ": not a regular file or folder",
          "Skipped " + path("t/link") + ": a symbolic link is not followed",
          "Skipped " + path("t/loop") + ": a symbolic link is not followed",
          "Warning: Skipped " + path("t/line\\nbreak") + ": a catalog line cannot carry its name",
          "Warning: Skipped " + path("t/quote\",comma") + ": a catalog line cannot carry its name",
          "Warning: Skipped " + path("t/bad\\rdir") + ": a catalog line cannot carry its name"}) {
        EXPECT_NE(log.find(line + "\r\n"), std::string::npos) << line;
    }
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 7); // each once

    EXPECT_EQ(view.countPrefix("setText BackupProgress MessageText Warning: Skipped "), 3);
}

// A ticked link is the user's choice: followed, while links met inside folders are not.
TEST_F(SelectionTest, ATickedLinkIsFollowedButNotTheLinksInsideAFolder)
{
    writeFile(path("d/a.txt"));
    writeFile(path("other/b.txt"));
    writeFile(path("app/settings.txt"));
    fs::create_directory_symlink(path("other"), path("d/inner"));
    fs::create_directory_symlink(path("d"), path("dl"));
    fs::create_symlink(path("other/b.txt"), path("fl"));
    fs::create_directory_symlink(path("app"), path("al")); // the program's own folder
    fs::create_symlink(path("none"), path("dangling"));
    state.FQList = {path("dl"), path("fl"), path("al"), path("dangling")};

    EXPECT_EQ(walk(), (std::vector<std::string>{path("dl/a.txt"), fs::canonical(path("other/b.txt")).string()}));
    const std::string log = logText();
    EXPECT_NE(log.find("Skipped " + path("dl/inner") + ": a symbolic link is not followed"), std::string::npos);
    EXPECT_NE(log.find("Skipped " + path("al") + ": excluded from backups"), std::string::npos);
}

TEST_F(SelectionTest, CancelEndsEachEnumerationAfterTheEntryInHandButVisitsTheRestOfFQList)
{
    for (const char* name : {"A/w1", "A/w2", "A/w3", "A/sub/x", "A/sub/y", "A/sub/z", "B/1", "B/2", "B/3", "f"})
        writeFile(path(name));
    state.FQList = {path("A"), path("f"), path("B")};
    std::vector<std::string> files;
    getFQFullList(state, view, [&](const std::string& file) {
        files.push_back(file);
        state.CancelRequested = true; // as a Cancel click during the first progress update
    });
    ASSERT_EQ(files.size(), 3u); // one entry of A (at any depth), the ticked file, one entry of B
    EXPECT_EQ(files[0].rfind(path("A/"), 0), 0u);
    EXPECT_EQ(files[1], path("f"));
    EXPECT_EQ(files[2].rfind(path("B/"), 0), 0u);
    EXPECT_TRUE(state.FQList.empty());
}

TEST_F(SelectionTest, AnErrorOfTheActionConsumesOnlyThePathsVisited)
{
    writeFile(path("a"));
    writeFile(path("b"));
    state.FQList = {path("a"), path("b")};
    const std::string b = path("b");
    EXPECT_THROW(getFQFullList(state, view,
                               [&b](const std::string& file) {
                                   if (file == b)
                                       throw std::runtime_error("disc full");
                               }),
                 std::runtime_error);
    EXPECT_EQ(state.FQList, std::vector<std::string>{b});
}

// The walk tells the run what the user would miss (a name no catalog line carries, a FIFO
// ticked by name) apart from what a ticked folder holds and is skipped by design.
TEST_F(SelectionTest, TheWalkTellsWhatItLeavesOutApartFromWhatItSkipsByDesign)
{
    writeFile(path("t/plain.txt"));
    writeFile(path("t/line\nbreak"));
    ASSERT_EQ(mkfifo(path("t/pipe").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(path("ticked-pipe").c_str(), 0600), 0);
    fs::create_symlink(path("t/plain.txt"), path("t/link"));
    state.FQList = {path("t"), path("ticked-pipe")};

    std::vector<std::string> leftOut;
    int skippedByDesign = 0;
    getFQFullList(
        state, view, [](const std::string&) {}, {},
        {.notBackedUp = [&](const std::string& p, const std::string& why) { leftOut.push_back(p + ": " + why); },
         .skippedByDesign = [&] { ++skippedByDesign; }});
    std::sort(leftOut.begin(), leftOut.end());
    EXPECT_EQ(leftOut,
              (std::vector<std::string>{path("t/line\\nbreak") + ": a catalog line cannot carry its name",
                                        path("ticked-pipe") + ": not a regular file or folder"}));
    EXPECT_EQ(skippedByDesign, 2); // the FIFO and the link inside t
}

// Backup with nothing ticked would record every earlier file as deleted: asked first.
TEST_F(SelectionTest, BackupWithNothingTickedAsksFirst)
{
    const std::string question =
        "askYesNo Nothing is selected for backup. Every file backed up before will be recorded as deleted. "
        "Do you want to continue?";
    const struct {
        const char* name;
        bool ticked;
        bool answer; // to the question, when asked
        bool runs;
    } cases[] = {{"something ticked", true, false, true},
                 {"nothing ticked, Yes", false, true, true},
                 {"nothing ticked, No", false, false, false}};
    for (const auto& c : cases) {
        ScriptedView fresh;
        fresh.backupMemoryTree().addPath(path("data"));
        if (c.ticked)
            fresh.backupMemoryTree().setStateOf(path("data"), CheckState::Checked);
        else if (c.answer)
            fresh.answerYes("Nothing is selected");
        else
            fresh.answerNo("Nothing is selected");
        EXPECT_EQ(confirmBackupSelection(fresh), c.runs) << c.name;
        EXPECT_EQ(fresh.count(question), c.ticked ? 0 : 1) << c.name;
    }
}

// ---- restoring the ticks at start-up -----------------------------------------------------

class RestoreSelectionTest : public SelectionTest {
protected:
    // A home folder as the tree shows it at start-up.
    static void buildHome(ScriptedView& v)
    {
        build(v.backupMemoryTree(), {"/home/u/Documents/a", "/home/u/Music", "/home/u/new.txt", "/srv"});
    }
    void SetUp() override
    {
        SelectionTest::SetUp();
        buildHome(view);
    }
    MemoryCheckTree& home = view.backupMemoryTree();
};

TEST_F(RestoreSelectionTest, FirstStartTicksTheDocumentsFolder)
{
    RestoreSelection(state, view, "/home/u/Documents");
    EXPECT_EQ(home.stateOf("/home/u/Documents"), CheckState::Checked);
    EXPECT_EQ(home.stateOf("/home/u"), CheckState::Mixed);
    EXPECT_EQ(view.countPrefix("show"), 0);
    EXPECT_EQ(view.countPrefix("ask"), 0);
}

TEST_F(RestoreSelectionTest, AnEmptyFQListTicksNothingNotEvenDocuments)
{
    writeLines(state.appFile("FQList.txt"), {});
    RestoreSelection(state, view, "/home/u/Documents");
    EXPECT_EQ(home.stateOf("/"), CheckState::Unchecked);
}

TEST_F(RestoreSelectionTest, AVanishedPathIsReportedLoggedAndDroppedAtTheNextSave)
{
    writeLines(state.appFile("FQList.txt"), {"/home/u/gone.txt", "/srv"});
    RestoreSelection(state, view, "/home/u/Documents");
    EXPECT_EQ(view.callsStartingWith("show"),
              std::vector<std::string>{"showInformation The following file or folder could not be found and will be "
                                       "removed from the backup set:\n/home/u/gone.txt"});
    EXPECT_EQ(logText(), "Could not add to Backuptree: /home/u/gone.txt\r\n");
    EXPECT_EQ(home.stateOf("/srv"), CheckState::Checked);
    EXPECT_EQ(home.stateOf("/home/u/Documents"), CheckState::Unchecked);
    SaveSelection(state, view);
    EXPECT_EQ(readAll(state.appFile("FQList.txt")), "/srv\r\n");
}

// Every new item is offered in one window, except what no walk backs up: the program's own
// folders (met as children of a partly ticked folder too) and the image drive's shelf. The
// items ticked there are added as a Yes did; the rest, offered or not, are saved unticked at
// close as a No did, so the next start offers nothing.
TEST_F(RestoreSelectionTest, NewItemsAreOfferedInOneWindowExceptTheProgramsOwnFolders)
{
    state.RestoreFolder = path("restores");
    const std::string shelf = path("shelf");
    const auto startWith = [&](ScriptedView& v) {
        build(v.backupMemoryTree(),
              {path("Documents/a"), path("Music"), path("new.txt"), path("photos/x"), state.AppFolder, state.TempFolder,
               path("tempbase/other"), state.RestoreFolder, shelf + "/20240301001.iso"});
    };
    const std::vector<std::string> ticks{path("Documents"), path("tempbase/other")};
    struct Case {
        std::vector<std::string> answer; // ticked in the window
        std::vector<std::string> fqList; // in tree order
        std::vector<std::string> fqUList;
    } cases[] = {
        {{},
         ticks,
         {path("Music"), path("new.txt"), path("photos"), state.AppFolder, state.TempFolder, path("restores"), shelf}},
        {{path("photos")},
         {path("Documents"), path("photos"), path("tempbase/other")},
         {path("Music"), path("new.txt"), state.AppFolder, state.TempFolder, path("restores"), shelf}},
        {{path("new.txt"), path("photos")},
         {path("Documents"), path("new.txt"), path("photos"), path("tempbase/other")},
         {path("Music"), state.AppFolder, state.TempFolder, path("restores"), shelf}},
    };
    for (const auto& c : cases) {
        const std::string context = c.answer.empty() ? "Not now" : c.answer.back();
        writeLines(state.appFile("FQList.txt"), ticks);
        writeLines(state.appFile("FQUList.txt"), {path("Music")});
        ScriptedView start;
        startWith(start);
        start.answerNewItems(c.answer);
        RestoreSelection(state, start, path("Documents"), {shelf});
        EXPECT_EQ(start.callsStartingWith("ask"),
                  std::vector<std::string>{"askNewItems " + path("new.txt") + "\n" + path("photos")})
            << context;
        EXPECT_EQ(start.newItemsReference(), ticks) << context;
        SaveSelection(state, start);
        EXPECT_EQ(readLines(state.appFile("FQList.txt")), c.fqList) << context;
        EXPECT_EQ(readLines(state.appFile("FQUList.txt")), c.fqUList) << context;

        ScriptedView next;
        startWith(next);
        RestoreSelection(state, next, path("Documents"), {shelf});
        EXPECT_EQ(next.countPrefix("ask"), 0) << context;
    }
}

// ---- mounts the tree hides and the walk skips ---------------------------------------------

TEST(HiddenMountsTest, PseudoFileSystemsSystemTmpfsAndRemovableMediaAreHidden)
{
    const std::string mountinfo = "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
                                  "28 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
                                  "29 28 0:26 / /tmp rw - tmpfs tmpfs rw\n"
                                  "30 28 0:27 / /run/user/1000 rw - tmpfs tmpfs rw\n"
                                  "31 28 8:1 / /home rw shared:1 - ext4 /dev/sda1 rw\n"
                                  "32 28 8:17 / /mnt/usb\\040stick rw - vfat /dev/sdb1 rw\n"
                                  "33 28 11:0 / /media/cdrom rw - iso9660 /dev/sr0 ro\n"
                                  "34 28 0:40 / /srv/cg rw - cgroup2 cgroup2 rw\n"
                                  "35 28 0:41 / /var/lib/trace rw - tracefs tracefs rw\n"
                                  "garbage line\n";
    const auto hidden = hiddenMountPoints(mountinfo, [](const std::string& device) { return device == "8:17"; });
    const std::set<std::string> got(hidden.begin(), hidden.end());
    EXPECT_EQ(got,
              (std::set<std::string>{"/proc", "/sys", "/dev", "/run", "/mnt/usb stick", "/media/cdrom", "/srv/cg",
                                     "/var/lib/trace"}));
}

} // namespace
} // namespace torvinel
