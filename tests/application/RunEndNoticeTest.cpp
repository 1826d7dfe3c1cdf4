// Every backup and restore run tells the desktop how it ended: a run through the application's
// runners, on the image drive, with a mock notification service on a private session bus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "application/Application.h"
#include "application/BackupRunner.h"
#include "application/RestoreRunner.h"
#include "app/Error.h"
#include "app/Progress.h"
#include "restore/RestoreChooser.h"
#include "restore/RestoreTree.h"
#include "support/MockNotificationService.h"
#include "support/ScriptedView.h"
#include "support/TempDir.h"

namespace torvinel {
namespace {

class RunEndNoticeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string why = service.startBus();
        if (!why.empty())
            GTEST_SKIP() << why;
        ASSERT_TRUE(service.startService());
        ::setenv("HOME", home.path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        home.write("Documents/photo.jpg", "the only copy");
        view.setScreen(1024, 768);
        app.setPowerGuardEnabled(false);
        app.setDesktopNotifier(DesktopNotifier(service.address()));
        app.startUp();
        ASSERT_TRUE(app.startedUp());
    }
    void TearDown() override { app.shutDown(); }

    // Ticks the documents folder in the newest backup set.
    void chooseDocuments()
    {
        app.refreshRestoreSide();
        view.setSelectedIndex(Control::BackupSetChooser, 0);
        chooseBackupSet(app.state(), view, app.restoreTree());
        const CheckTree::Node documents = app.restoreTree().browseTo(home / "Documents/");
        ASSERT_TRUE(documents);
        app.restoreTree().setCheckState(documents, CheckState::Checked);
        view.setSelectedIndex(Control::RestoreDrive, 0);
    }

    test::MockNotificationService service; // first: the bus outlives the application
    test::TempDir home;
    test::ScriptedView view;
    Application app{view};
};

TEST_F(RunEndNoticeTest, FinishedRunsTellTheirClosingMessage)
{
    BackupRunner backups(app);
    ASSERT_EQ(backups.runOf({home / "Documents"}), BackupOutcome::Finished) << view.dump();
    chooseDocuments();
    const RestoreResult restored = RestoreRunner(app).run(app.restoreTree());
    ASSERT_FALSE(restored.target.empty()) << view.dump();

    const auto calls = service.notifyCalls();
    ASSERT_EQ(calls.size(), 2u) << view.dump();
    EXPECT_EQ(calls[0].summary, "Backup finished");
    // The closing message ends with the run's summary: the disc went into the image drive's folder.
    EXPECT_EQ(calls[0].body.rfind("The backup is finished.\nBacked up 1 file, 13 B (13 bytes).\nDisc ", 0), 0u)
        << calls[0].body;
    EXPECT_NE(calls[0].body.find(" was written to " + (home / "Torvinel Discs/")), std::string::npos) << calls[0].body;
    EXPECT_EQ(calls[0].urgency, 1);
    EXPECT_EQ(calls[1].summary, "Restore finished");
    EXPECT_EQ(calls[1].body, "The restored files are in " + restored.target + "\nRestored 1 file, 13 B (13 bytes), into "
                                 + restored.target + ".");
}

TEST_F(RunEndNoticeTest, CancelledRunsSaySo)
{
    view.post([&] { requestBackupCancel(app.state(), view); });
    BackupRunner backups(app);
    ASSERT_EQ(backups.runOf({home / "Documents"}), BackupOutcome::Cancelled) << view.dump();
    const auto calls = service.notifyCalls();
    ASSERT_EQ(calls.size(), 1u) << view.dump();
    EXPECT_EQ(calls[0].summary, "Backup cancelled");
    EXPECT_EQ(calls[0].body.rfind("The backup was cancelled.", 0), 0u) << calls[0].body;
}

// A failure reaches the caller as before and the desktop with its error text, to stay.
TEST_F(RunEndNoticeTest, AFailedRunTellsTheErrorAndStays)
{
    BackupRunner backups(app);
    ASSERT_EQ(backups.runOf({home / "Documents"}), BackupOutcome::Finished) << view.dump();
    chooseDocuments();
    home.write("not-a-folder", "");
    std::string failure;
    try {
        RestoreRunner(app).run(app.restoreTree(), {.restoreFolder = home / "not-a-folder"});
    } catch (const Error& e) {
        failure = e.what();
    }
    ASSERT_FALSE(failure.empty()) << view.dump();

    const auto calls = service.notifyCalls();
    ASSERT_EQ(calls.size(), 2u) << view.dump();
    EXPECT_EQ(calls[1].summary, "Restore failed");
    EXPECT_EQ(calls[1].body, errorBoxText(failure));
    EXPECT_EQ(calls[1].urgency, 2);
}

// A restore with nothing ticked makes no folder and ends at its box: nothing to tell.
TEST_F(RunEndNoticeTest, ARestoreOfNothingTellsNothing)
{
    BackupRunner backups(app);
    ASSERT_EQ(backups.runOf({home / "Documents"}), BackupOutcome::Finished) << view.dump();
    app.refreshRestoreSide();
    view.setSelectedIndex(Control::BackupSetChooser, 0);
    chooseBackupSet(app.state(), view, app.restoreTree());
    view.setSelectedIndex(Control::RestoreDrive, 0);
    const RestoreResult restored = RestoreRunner(app).run(app.restoreTree());
    EXPECT_TRUE(restored.target.empty());
    EXPECT_TRUE(view.has("showInformation Nothing is selected for restore.")) << view.dump();
    EXPECT_EQ(service.notifyCalls().size(), 1u); // the backup's
}

} // namespace
} // namespace torvinel
