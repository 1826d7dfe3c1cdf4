#include "application/BackupRunner.h"

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
    : m_archiveBits(application.state().AppFolder),
      m_context{application.state(),
                application.view(),
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
    BackupRun backup(m_context);
    const BackupOutcome outcome = backup.runBackup();
    m_notBackedUp = backup.notBackedUp();
    return outcome;
}

} // namespace torvinel
