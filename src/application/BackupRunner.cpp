#include "application/BackupRunner.h"

#include "app/Error.h"
#include "application/RunEndNotice.h"
#include "backup/BackupSetup.h"
#include "discwright/Discwright.h"
#include "discwright/ImageDriveSettings.h"
#include "discwriter/BurnSession.h"
#include "discwriter/DiscLibrary.h"

namespace torvinel {

namespace {

// The image drive writes its discs into a folder of this computer; backing that folder up
// would put every disc onto the next one.
std::vector<std::string> imageDriveFolder()
{
    std::vector<std::string> excluded;
    if (ImageDriveSettings image; Discwright_GetImageDriveSettings(image))
        excluded.push_back(image.folder);
    return excluded;
}

} // namespace

BackupRunner::BackupRunner(Application& application, std::function<void()> refreshRestore)
    : m_application(application),
      m_archiveBits(application.state().AppFolder),
      m_view(application.view()),
      m_context{application.state(),
                m_view,
                m_engine,
                m_archiveBits,
                [&application](const std::string& name, int64_t& discFreeBytes) {
                    RunState& state = application.state();
                    View& view = application.view();
                    const DriveList& devices = application.discwright().devices();
                    return burnDisc(state, view, devices, name, discFreeBytes);
                },
                std::move(refreshRestore),
                imageDriveFolder()}
{
    configureArchiveEngine(m_engine, application.state());
}

BackupOutcome BackupRunner::run()
{
    m_notBackedUp.clear();
    m_view.forget();
    BackupRun backup(m_context);
    BackupOutcome outcome = BackupOutcome::Finished;
    try {
        outcome = backup.runBackup();
    } catch (const Error& failure) {
        notifyRunEnd(m_application.desktopNotifier(), RunKind::Backup, RunEnd::Failed, errorBoxText(failure.what()));
        throw;
    }
    m_notBackedUp = backup.notBackedUp();
    notifyRunEnd(m_application.desktopNotifier(), RunKind::Backup,
                 outcome == BackupOutcome::Cancelled ? RunEnd::Cancelled : RunEnd::Finished, m_view.lastInformation());
    return outcome;
}

} // namespace torvinel
