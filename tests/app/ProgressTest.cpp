#include "app/Progress.h"

#include <gtest/gtest.h>

#include "support/ScriptedView.h"

namespace torvinel {
namespace {

using test::ScriptedView;
constexpr Window B = Window::BackupProgress;
constexpr Window R = Window::RestoreProgress;

TEST(ProgressTest, BackupUpdateSetsEachGivenControlThenHandlesEvents)
{
    ScriptedView view;
    ShowBackupProgress(view, "Phase 3", "File: /a", "part 2", "Warning", 10, 20);
    const std::vector<std::string> expected{
        "setText BackupProgress gbProgressbars Phase 3", "setText BackupProgress LPhase File: /a",
        "setText BackupProgress LExtra part 2",         "setText BackupProgress lMessage Warning",
        "setPosition BackupProgress pbPhase 10",        "setPosition BackupProgress pbExtra 20",
        "processEvents"};
    EXPECT_EQ(view.calls(), expected);
}

TEST(ProgressTest, EmptyTextsAndNegativePositionsLeaveControlsButStillHandleEvents)
{
    ScriptedView view;
    ShowBackupProgress(view, "Phase 1", "File: /a", "x", "hello", 500, 600);
    ShowRestoreProgress(view, "Restore", "File: /b", "msg", 700);
    view.clearCalls();

    ShowBackupProgress(view, "", "", "", "", -1, -1);
    ShowRestoreProgress(view, "", "", "", -1);

    EXPECT_EQ(view.calls(), (std::vector<std::string>{"processEvents", "processEvents"}));
    EXPECT_EQ(view.text(B, "LPhase"), "File: /a");
    EXPECT_EQ(view.text(B, "lMessage"), "hello");
    EXPECT_EQ(view.position(B, "pbPhase"), 500);
    EXPECT_EQ(view.position(B, "pbExtra"), 600);
    EXPECT_EQ(view.text(R, "gbProgressbars"), "Restore");
    EXPECT_EQ(view.text(R, "LProgress"), "File: /b");
    EXPECT_EQ(view.position(R, "pbProgress"), 700);
}

TEST(ProgressTest, PositionsAboveTheRangeShowAFullBarAndZeroIsAPosition)
{
    struct Case {
        int given;
        int shown;
    };
    for (Case c : {Case{0, 0}, Case{1000, 1000}, Case{1001, 1000}, Case{2147483647, 1000}}) {
        ScriptedView view;
        ShowBackupProgress(view, "", "", "", "", c.given, c.given);
        ShowRestoreProgress(view, "", "", "", c.given);
        EXPECT_TRUE(view.has("setPosition BackupProgress pbPhase " + std::to_string(c.shown))) << c.given;
        EXPECT_TRUE(view.has("setPosition BackupProgress pbExtra " + std::to_string(c.shown))) << c.given;
        EXPECT_TRUE(view.has("setPosition RestoreProgress pbProgress " + std::to_string(c.shown))) << c.given;
    }
}

TEST(ProgressTest, PhaseStartBlanksTheDetailLinesWithASpaceAndResetsTheBars)
{
    ScriptedView view;
    ShowBackupProgress(view, "Old", "File: /old", "old extra", "old message", 900, 800);

    StartBackupPhase(view, "Phase 2: Reading the database");
    EXPECT_EQ(view.text(B, "gbProgressbars"), "Phase 2: Reading the database");
    EXPECT_EQ(view.text(B, "LPhase"), " ");
    EXPECT_EQ(view.text(B, "LExtra"), " ");
    EXPECT_EQ(view.text(B, "lMessage"), " ");
    EXPECT_EQ(view.position(B, "pbPhase"), 0);
    EXPECT_EQ(view.position(B, "pbExtra"), 0);

    StartBackupPhase(view, "Phase 4", "Insert a blank disc");
    EXPECT_EQ(view.text(B, "lMessage"), "Insert a blank disc");
}

TEST(ProgressTest, PendingCancelClickIsSeenDuringAnUpdateThatChangesNothing)
{
    RunState state;
    ScriptedView view;
    view.post([&] { requestBackupCancel(state, view); });
    ASSERT_FALSE(state.CancelRequested);

    ShowBackupProgress(view, "", "", "", "", -1, -1);

    EXPECT_TRUE(state.CancelRequested);
    EXPECT_EQ(view.text(B, "lMessage"), "Cancelling...");
    // The click's own update touches only the message line.
    EXPECT_EQ(view.calls(), (std::vector<std::string>{"processEvents",
                                                      "setText BackupProgress lMessage Cancelling...",
                                                      "processEvents"}));
}

TEST(ProgressTest, RestoreCancelOnlySetsTheFlag)
{
    RunState state;
    ScriptedView view;
    view.post([&] { requestRestoreCancel(state, view); });
    ShowRestoreProgress(view, "", "", "", -1);
    EXPECT_TRUE(state.CancelRequested);
    EXPECT_EQ(view.calls(), std::vector<std::string>{"processEvents"});
}

} // namespace
} // namespace torvinel
