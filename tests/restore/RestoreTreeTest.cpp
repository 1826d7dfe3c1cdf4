#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "RestoreFixture.h"
#include "app/SortedList.h"
#include "catalog/DiscMaintenance.h"
#include "catalog/DiscSource.h"
#include "support/CliRunner.h"
#include "restore/RestoreChooser.h"
#include "restore/RestoreTree.h"
#include "restore/StateBlock.h"

namespace torvinel::test {
namespace {

using Names = std::vector<std::string>;

SortedList stateOf(const Names& paths)
{
    SortedList state;
    for (const std::string& p : paths)
        state.add("\"" + p + "\",20240305140326,4,");
    return state;
}

// The children as shown once the user opened the folder.
Names childTexts(RestoreTree& tree, CheckTree::Node node)
{
    tree.expand(node);
    Names texts;
    for (CheckTree::Node c = tree.firstChild(node); c; c = tree.nextSibling(c))
        texts.push_back(tree.displayText(c));
    return texts;
}

const Names paths = {"/home/u/b.txt", "/home/u/A/x.txt",   "/home/u/c/z.txt", "/home/u/c/d/w.txt",
                     "/home/u/a.txt", "/home/u/a.txt.bak", "/etc/x"};

TEST(StateBlockTest, BlocksAndChildrenOfPrefixes)
{
    const SortedList state = stateOf(paths);
    struct Case {
        std::string prefix;
        std::size_t lines; // 0: no block
    } blocks[] = {
        {"", 7},           {"\"/home/u/", 6},  {"\"/home/u/a.txt\"", 1}, {"\"/home/u/a.txt", 2}, {"\"/home/u/c/", 2},
        {"\"/nothing", 0}, {"\"/home/u/zz", 0}};
    for (const Case& c : blocks) {
        const StateBlock block = FindStateBlock(state, c.prefix);
        EXPECT_EQ(block.found, c.lines > 0) << c.prefix;
        if (block.found) {
            EXPECT_EQ(block.last - block.first + 1, c.lines) << c.prefix;
        }
    }
    EXPECT_FALSE(FindStateBlock(SortedList{}, "").found);

    // Folders first, each group sorted; a whole sub-folder counts once.
    EXPECT_EQ(ListTreeChildren(state, ""), Names{"/"});
    EXPECT_EQ(ListTreeChildren(state, "/"), (Names{"etc/", "home/"}));
    EXPECT_EQ(ListTreeChildren(state, "/home/u/"), (Names{"A/", "c/", "a.txt", "a.txt.bak", "b.txt"}));
    EXPECT_EQ(ListTreeChildren(state, "/home/u/c/"), (Names{"d/", "z.txt"}));
    EXPECT_TRUE(ListTreeChildren(state, "/nothing/").empty());
}

TEST(StateBlockTest, DamagedLinesNameNothing)
{
    SortedList state = stateOf({"/a/b.txt"});
    state.add("\"no closing quote");
    state.add("\"/a/\",20240305140326,4,"); // a line for the folder itself
    EXPECT_EQ(ListTreeChildren(state, "/"), Names{"a/"});
    EXPECT_EQ(ListTreeChildren(state, "/a/"), Names{"b.txt"});
}

class RestoreTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        s.BackupState = stateOf(paths);
        BuildRestoreTree(s, tree);
    }
    std::vector<std::string> ticked() const
    {
        std::vector<std::string> list;
        RestoreRunNodes(list, tree, tree.firstTopLevel());
        return list;
    }
    Names childTexts(CheckTree::Node node) { return test::childTexts(tree, node); }
    void tick(const std::string& path)
    {
        const CheckTree::Node node = tree.browseTo(path);
        ASSERT_NE(node, nullptr) << path;
        tree.setCheckState(node, CheckState::Checked);
    }
    RunState s;
    RestoreTree tree;
};

TEST_F(RestoreTreeTest, TopLevelAndLazyChildren)
{
    const CheckTree::Node root = tree.firstTopLevel();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(tree.nextSibling(root), nullptr);
    EXPECT_EQ(tree.text(root), "/");
    EXPECT_EQ(tree.displayText(root), "/");
    // A folder offers its children before they exist.
    EXPECT_TRUE(tree.isFolder(root));
    EXPECT_TRUE(tree.canExpand(root));
    EXPECT_EQ(tree.childCount(root), 0);

    const CheckTree::Node u = tree.browseTo("/home/u/");
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(childTexts(u), (Names{"A", "c", "a.txt", "a.txt.bak", "b.txt"}));
    EXPECT_EQ(tree.text(tree.firstChild(u)), "A/");
    EXPECT_EQ(NodePath(tree, tree.firstChild(u)), "/home/u/A/");
    EXPECT_FALSE(tree.canExpand(u));
    // A later expansion lists nothing again.
    EXPECT_FALSE(tree.expand(u));
    EXPECT_EQ(tree.childCount(u), 5);
    EXPECT_EQ(tree.browseTo("/home/u"), u);
    EXPECT_EQ(tree.browseTo("/home/u/nothing"), nullptr);
}

TEST_F(RestoreTreeTest, TicksGiveThePathsToRestore)
{
    // A ticked folder stands for all of it, its path with the separator.
    tick("/home/u/c/");
    EXPECT_EQ(ticked(), Names{"/home/u/c/"});
    // Its children start ticked when it is opened.
    const CheckTree::Node c = tree.browseTo("/home/u/c/");
    tree.expand(c);
    EXPECT_EQ(tree.checkState(tree.firstChild(c)), CheckState::Checked);
    EXPECT_EQ(tree.checkState(tree.browseTo("/home/u/c/d/w.txt")), CheckState::Checked);
    tree.setCheckState(c, CheckState::Unchecked);

    // One file of a folder: the folder and its ancestors show mixed; only the file is passed.
    tick("/home/u/b.txt");
    EXPECT_EQ(tree.checkState(tree.browseTo("/home/u/")), CheckState::Mixed);
    EXPECT_EQ(tree.checkState(tree.firstTopLevel()), CheckState::Mixed);
    EXPECT_EQ(ticked(), Names{"/home/u/b.txt"});

    // Every child ticked: the folder is ticked and stands for them, and so on upwards.
    for (const char* p : {"/home/u/A/", "/home/u/c/", "/home/u/a.txt", "/home/u/a.txt.bak"})
        tick(p);
    EXPECT_EQ(tree.checkState(tree.browseTo("/home/u/")), CheckState::Checked);
    EXPECT_EQ(ticked(), Names{"/home/"}); // u/ is all that /home/ holds

    tree.setCheckState(tree.firstTopLevel(), CheckState::Unchecked);
    EXPECT_TRUE(ticked().empty());
    EXPECT_EQ(tree.checkState(tree.browseTo("/home/u/b.txt")), CheckState::Unchecked);
}

TEST_F(RestoreTreeTest, EmptyStateGivesEmptyTree)
{
    s.BackupState.clear();
    BuildRestoreTree(s, tree);
    EXPECT_EQ(tree.firstTopLevel(), nullptr);
    EXPECT_TRUE(ticked().empty());
}

TEST(ChooserTextTest, DateTimeInTheLocaleWithoutMidnight)
{
    const std::locale c = std::locale::classic();
    EXPECT_EQ(chooserDateText({2024, 3, 5, 14, 3, 26}, c), "03/05/24 14:03:26");
    EXPECT_EQ(chooserDateText({2024, 3, 5, 0, 0, 0}, c), "03/05/24");
    EXPECT_EQ(chooserDateText({2024, 3, 5, 0, 0, 2}, c), "03/05/24 00:00:02");
    EXPECT_EQ(chooserDiscId("03/05/24 14:03:26 (20240305002)"), "20240305002");
    EXPECT_EQ(chooserDiscId("(1)"), "");
}

// Three runs; the middle one needed two discs and deleted /home/u/gone.txt.
class ChooserTest : public RestoreFixture {
protected:
    void SetUp() override
    {
        RestoreFixture::SetUp();
        deletedCatalog("20240301001", "2024030100001dd", {}, "20240301100000");
        archive("20240301001", "2024030100002rn", {{"/home/u/a.txt", "a1"}, {"/home/u/gone.txt", "g"}});
        deletedCatalog("20240302001", "2024030200001dd", {"/home/u/gone.txt"}, "20240302113000");
        archive("20240302001", "2024030200002rn", {{"/home/u/a.txt", "a2", "20240302100000"}});
        archive("20240302002", "2024030200003rn", {{"/home/u/docs/b.txt", "b"}});
        deletedCatalog("20240303001", "2024030300001dd", {}, "20240303000000");
        archive("20240303001", "2024030300002rf", {{"/home/u/docs/b.txt", "b"}});
    }
    static std::string item(const platform::Stamp& moment, const std::string& disc)
    {
        std::locale locale = std::locale::classic();
        try {
            locale = std::locale("");
        } catch (const std::runtime_error&) {
        }
        return chooserDateText(moment, locale) + " (" + disc + ")";
    }
};

TEST_F(ChooserTest, OneItemPerRunNewestFirstNamingItsLastDisc)
{
    fillBackupSetChooser(s, view);
    EXPECT_EQ(view.items(Control::BackupSetChooser),
              (Names{item({2024, 3, 3, 0, 0, 0}, "20240303001"), item({2024, 3, 2, 11, 30, 0}, "20240302002"),
                     item({2024, 3, 1, 10, 0, 0}, "20240301001")}));
    EXPECT_EQ(view.selectedIndex(Control::BackupSetChooser), 0);
}

TEST_F(ChooserTest, OldestSetShowsOnlyItsFilesWithTheLaterDeletedOnes)
{
    chooseSet(2);
    ASSERT_NE(tree.browseTo("/home/u/"), nullptr);
    EXPECT_EQ(test::childTexts(tree, tree.browseTo("/home/u/")), (Names{"a.txt", "gone.txt"}));
    EXPECT_EQ(s.BackupState.size(), 2u);
    EXPECT_NE(s.BackupState[0].find(",2,"), std::string::npos); // a.txt's first version
    // The controls were disabled while the state was assembled, and are usable again.
    const auto enabling = view.callsStartingWith("setEnabled Main ");
    ASSERT_GE(enabling.size(), 6u);
    EXPECT_EQ(enabling.front(), "setEnabled Main RestoreButton 0");
    EXPECT_EQ(enabling.back(), "setEnabled Main RestoreTree 1");
    EXPECT_TRUE(view.isEnabled(Window::Main, Control::RestoreButton));

    chooseSet(0);
    EXPECT_EQ(test::childTexts(tree, tree.browseTo("/home/u/")), (Names{"docs", "a.txt"}));
}

// A set added back from its disc (after the database was lost) keeps the date of its run,
// read from a folder or from an image.
TEST_F(ChooserTest, AddedDiscShowsTheDateOfItsRunNotOfTheAdd)
{
    const std::string disc = "20230305001";
    const std::string folder = dir / "burnt";
    TestDiscs burnt(folder, folder, dir / "staging"); // catalogs beside the archives, as on the disc
    burnt.deletedCatalog(disc, "2023030500001dd", {}, "20230305120000");
    burnt.archive(disc, "2023030500002rn", {{"/home/u/old.txt", "old", "20230305110000"}});
    dir.write("burnt/" + disc + "/STATUS.INI", "[MD5]\r\n");
    const std::string image = dir / (disc + ".iso");
    const bool haveImage = std::system(("xorriso -as mkisofs -quiet -J -o " + shellQuoted(image) + " -graft-points "
                                        + shellQuoted("/" + disc + "=" + folder + "/" + disc) + " >/dev/null 2>&1")
                                           .c_str())
        == 0;

    struct Case {
        const char* name;
        std::function<std::unique_ptr<DiscReader>()> reader;
    } cases[] = {
        {"a disc in a folder", [&] { return makeFolderReader(folder); }},
        {"a disc image", [&] { return haveImage ? makeIsoFileReader(image) : nullptr; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<DiscReader> reader = c.reader();
        if (!reader)
            continue; // no image maker here
        std::filesystem::remove_all(s.DatabaseFolder + "/" + disc);
        ReaderDiscSource source(std::move(reader));
        ASSERT_EQ(addDisc(s, view, source, [] {}), AddDiskResult::Added);
        fillBackupSetChooser(s, view);
        const Names items = view.items(Control::BackupSetChooser);
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(items.back(), item({2023, 3, 5, 12, 0, 0}, disc));
    }
}

TEST_F(ChooserTest, EmptyDatabaseHasNoItemsAndAnEmptyTree)
{
    std::filesystem::remove_all(s.DatabaseFolder);
    std::filesystem::create_directories(s.DatabaseFolder);
    chooseSet(0);
    EXPECT_TRUE(view.items(Control::BackupSetChooser).empty());
    EXPECT_EQ(tree.firstTopLevel(), nullptr);
    EXPECT_TRUE(view.isEnabled(Window::Main, Control::BackupSetChooser));
}

} // namespace
} // namespace torvinel::test
