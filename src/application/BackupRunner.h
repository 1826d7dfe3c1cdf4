#pragma once
#include <functional>

#include "application/Application.h"
#include "application/ClosingMessageView.h"
#include "archive/ZipArchive.h"
#include "backup/BackupRun.h"
#include "platform/Platform.h"

namespace torvinel {

// The one wiring of a backup run, for the Backup button and for `torvinel-cli backup`: the
// archive engine set up for packing, the record of archive bits in AppFolder, the burn
// session on the writer chosen among those start-up found, and the image drive's folder
// left out of every selection.
// Each run's end (finished, cancelled or failed) is told to the desktop with the run's
// closing message (notifyRunEnd).
// REQUIRES: application has started up (AppFolder, SplitVolumeSize and the drive list are
// set). The engine and the record are kept from one run to the next while the runner lives.
class BackupRunner {
public:
    // refreshRestore, when given, runs after the backup state was assembled again at the end
    // of a run (the GUI's restore chooser and tree).
    explicit BackupRunner(Application& application, std::function<void()> refreshRestore = {});
    BackupRunner(const BackupRunner&) = delete;
    BackupRunner& operator=(const BackupRunner&) = delete;

    // One backup run: Finished or Cancelled; a failure is raised as Error (runBackup).
    BackupOutcome run();
    // One backup run of these paths instead of the ticks; the saved selection stays as it is.
    BackupOutcome runOf(std::vector<std::string> paths)
    {
        m_context.selection = std::move(paths);
        return run();
    }
    // The files the last run left out (BackupRun::notBackedUp); empty after a failed run.
    const std::vector<NotBackedUp>& notBackedUp() const { return m_notBackedUp; }

private:
    Application& m_application;
    ZipArchive m_engine;
    platform::ArchiveAttribute m_archiveBits;
    ClosingMessageView m_view; // the run's view: the application's, whose closing box it notes
    BackupContext m_context;
    std::vector<NotBackedUp> m_notBackedUp;
};

} // namespace torvinel
