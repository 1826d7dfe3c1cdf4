#include "app/MemoryCheckTree.h"

#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include "support/ScriptedView.h"

namespace torvinel {
namespace {

using CS = CheckState;

// /            (top level)
// /home
// /home/a.txt
// /home/b.txt
// /home/docs
// /home/docs/c.txt
// /etc
class MemoryCheckTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* path : {"/home/a.txt", "/home/b.txt", "/home/docs/c.txt", "/etc"})
            tree.addPath(path);
    }
    MemoryCheckTree tree;
};

TEST_F(MemoryCheckTreeTest, BuildsAncestorsInOrderAndWalksLikeATree)
{
    CheckTree::Node root = tree.firstTopLevel();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(tree.itemPath(root), "/");
    EXPECT_EQ(tree.nextSibling(root), nullptr);
    EXPECT_EQ(tree.childCount(root), 2);
    CheckTree::Node home = tree.firstChild(root);
    EXPECT_EQ(tree.itemPath(home), "/home");
    EXPECT_EQ(tree.itemPath(tree.nextSibling(home)), "/etc");
    std::vector<std::string> children;
    for (auto n = tree.firstChild(home); n; n = tree.nextSibling(n))
        children.push_back(tree.itemPath(n));
    EXPECT_EQ(children, (std::vector<std::string>{"/home/a.txt", "/home/b.txt", "/home/docs"}));
    EXPECT_EQ(tree.firstChild(tree.find("/etc")), nullptr);
    // Adding a path again returns its node.
    EXPECT_EQ(tree.addPath("/home"), home);
    EXPECT_EQ(tree.childCount(root), 2);
}

TEST_F(MemoryCheckTreeTest, TicksSpreadDownAndAncestorsFollow)
{
    ASSERT_TRUE(tree.setStateOf("/home/docs", CS::Checked));
    EXPECT_EQ(tree.stateOf("/home/docs/c.txt"), CS::Checked);
    EXPECT_EQ(tree.stateOf("/home"), CS::Mixed);
    EXPECT_EQ(tree.stateOf("/"), CS::Mixed);

    tree.setStateOf("/home/a.txt", CS::Checked);
    tree.setStateOf("/home/b.txt", CS::Checked);
    EXPECT_EQ(tree.stateOf("/home"), CS::Checked);
    EXPECT_EQ(tree.stateOf("/"), CS::Mixed); // /etc is still unticked

    tree.setStateOf("/", CS::Unchecked);
    for (const char* path : {"/", "/home", "/home/a.txt", "/home/docs/c.txt", "/etc"})
        EXPECT_EQ(tree.stateOf(path), CS::Unchecked) << path;

    // A pressed box counts as neither ticked nor unticked for its parent.
    tree.setStateOf("/etc", CS::Pressed);
    EXPECT_EQ(tree.stateOf("/etc"), CS::Pressed);
    EXPECT_EQ(tree.stateOf("/"), CS::Mixed);
    EXPECT_FALSE(tree.setStateOf("/nowhere", CS::Checked));
}

TEST_F(MemoryCheckTreeTest, BrowseToToleratesATrailingSeparatorAndCountsCalls)
{
    EXPECT_EQ(tree.itemPath(tree.browseTo("/home/docs/")), "/home/docs");
    EXPECT_EQ(tree.browseTo("/home/missing"), nullptr);
    EXPECT_EQ(tree.browseCount(), 2);

    MemoryCheckTree windows;
    windows.addPath("C:\\Users\\x\\", '\\');
    EXPECT_EQ(windows.itemPath(windows.firstTopLevel()), "C:\\");
    EXPECT_NE(windows.browseTo("C:\\Users\\x"), nullptr);
}

TEST(ScriptedViewTest, AnswersInOrderAndFailsOnAnUnscriptedOrMismatchedQuestion)
{
    test::ScriptedView view;
    view.answerYes("include");
    view.answerIgnore();
    EXPECT_TRUE(view.askYesNo("Would you like to include it?"));
    EXPECT_FALSE(view.askRetryIgnore("Please close the program"));
    EXPECT_EQ(view.unusedAnswers(), 0u);
    EXPECT_NONFATAL_FAILURE(EXPECT_THROW(view.askOkCancel("Insert disc"), test::ScriptedView::UnscriptedQuestion),
                            "unscripted question: askOkCancel Insert disc");
    view.answerOk();
    EXPECT_NONFATAL_FAILURE(EXPECT_THROW(view.askYesNo("Really?"), test::ScriptedView::UnscriptedQuestion),
                            "askYesNo Really?");
    EXPECT_EQ(view.countPrefix("ask"), 4);
}

TEST(ScriptedViewTest, KeepsTheMainWindowMinimumAndTheSpeedLists)
{
    test::ScriptedView view;
    EXPECT_EQ(view.geometry(Window::Main).width, 700);
    view.setGeometry(Window::Main, {5, 6, 500, 300});
    const WindowGeometry g = view.geometry(Window::Main);
    EXPECT_EQ(g.width, 620);
    EXPECT_EQ(g.height, 440);
    EXPECT_TRUE(view.has("setGeometry Main 5 6 500 300"));
    EXPECT_EQ(view.items(Control::CdSpeed).size(), 17u);
    view.setSelectedIndex(Control::CdSpeed, 40);
    EXPECT_EQ(view.selectedIndex(Control::CdSpeed), -1);
    EXPECT_EQ(view.text(Window::BackupProgress, Control::ProgressCaption), "Progress");
}

} // namespace
} // namespace torvinel
