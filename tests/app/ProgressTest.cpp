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
    showBackupProgress(view,
                       {.caption = "Phase 3",
                        .phase = "File: /a",
                        .extra = "part 2",
                        .message = "Warning",
                        .phaseBar = 10,
                        .extraBar = 20});
    const std::vector<std::string> expected{"setText BackupProgress ProgressCaption Phase 3",
                                            "setText BackupProgress PhaseText File: /a",
                                            "setText BackupProgress ExtraText part 2",
                                            "setText BackupProgress MessageText Warning",
                                            "setPosition BackupProgress PhaseBar 10",
                                            "setPosition BackupProgress ExtraBar 20",
                                            "processEvents"};
    EXPECT_EQ(view.calls(), expected);
}

TEST(ProgressTest, EmptyTextsAndNegativePositionsLeaveControlsButStillHandleEvents)
{
    ScriptedView view;
    showBackupProgress(view,
                       {.caption = "Phase 1",
                        .phase = "File: /a",
                        .extra = "x",
                        .message = "hello",
                        .phaseBar = 500,
                        .extraBar = 600});
    showRestoreProgress(view, {.caption = "Restore", .progress = "File: /b", .message = "msg", .bar = 700});
    view.clearCalls();

    showBackupProgress(view, {});
    showRestoreProgress(view, {});

    EXPECT_EQ(view.calls(), (std::vector<std::string>{"processEvents", "processEvents"}));
    EXPECT_EQ(view.text(B, Control::PhaseText), "File: /a");
    EXPECT_EQ(view.text(B, Control::MessageText), "hello");
    EXPECT_EQ(view.position(B, Control::PhaseBar), 500);
    EXPECT_EQ(view.position(B, Control::ExtraBar), 600);
    EXPECT_EQ(view.text(R, Control::ProgressCaption), "Restore");
    EXPECT_EQ(view.text(R, Control::ProgressText), "File: /b");
    EXPECT_EQ(view.position(R, Control::ProgressBar), 700);
}

TEST(ProgressTest, PositionsAboveTheRangeShowAFullBarAndZeroIsAPosition)
{
    struct Case {
        int given;
        int shown;
    };
    for (Case c : {Case{0, 0}, Case{1000, 1000}, Case{1001, 1000}, Case{2147483647, 1000}}) {
        ScriptedView view;
        showBackupProgress(view, {.phaseBar = c.given, .extraBar = c.given});
        showRestoreProgress(view, {.bar = c.given});
        EXPECT_TRUE(view.has("setPosition BackupProgress PhaseBar " + std::to_string(c.shown))) << c.given;
        EXPECT_TRUE(view.has("setPosition BackupProgress ExtraBar " + std::to_string(c.shown))) << c.given;
        EXPECT_TRUE(view.has("setPosition RestoreProgress ProgressBar " + std::to_string(c.shown))) << c.given;
    }
}

TEST(ProgressTest, PhaseStartBlanksTheDetailLinesWithASpaceAndResetsTheBars)
{
    ScriptedView view;
    showBackupProgress(view,
                       {.caption = "Old",
                        .phase = "File: /old",
                        .extra = "old extra",
                        .message = "old message",
                        .phaseBar = 900,
                        .extraBar = 800});

    startBackupPhase(view, "Phase 2: Reading the database");
    EXPECT_EQ(view.text(B, Control::ProgressCaption), "Phase 2: Reading the database");
    EXPECT_EQ(view.text(B, Control::PhaseText), " ");
    EXPECT_EQ(view.text(B, Control::ExtraText), " ");
    EXPECT_EQ(view.text(B, Control::MessageText), " ");
    EXPECT_EQ(view.position(B, Control::PhaseBar), 0);
    EXPECT_EQ(view.position(B, Control::ExtraBar), 0);

    startBackupPhase(view, "Phase 4", "Insert a blank disc");
    EXPECT_EQ(view.text(B, Control::MessageText), "Insert a blank disc");
}

TEST(ProgressTest, PendingCancelClickIsSeenDuringAnUpdateThatChangesNothing)
{
    RunState state;
    ScriptedView view;
    view.post([&] { requestBackupCancel(state, view); });
    ASSERT_FALSE(state.CancelRequested);

    showBackupProgress(view, {});

    EXPECT_TRUE(state.CancelRequested);
    EXPECT_EQ(view.text(B, Control::MessageText), "Cancelling...");
    // The click's own update touches only the message line.
    EXPECT_EQ(view.calls(),
              (std::vector<std::string>{"processEvents", "setText BackupProgress MessageText Cancelling...",
                                        "processEvents"}));
}

TEST(ProgressTest, RestoreCancelOnlySetsTheFlag)
{
    RunState state;
    ScriptedView view;
    view.post([&] { requestRestoreCancel(state, view); });
    showRestoreProgress(view, {});
    EXPECT_TRUE(state.CancelRequested);
    EXPECT_EQ(view.calls(), std::vector<std::string>{"processEvents"});
}

} // namespace
} // namespace torvinel
