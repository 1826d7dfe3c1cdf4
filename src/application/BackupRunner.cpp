#include "application/BackupRunner.h"

#include <optional>

#include "app/Error.h"
#include "application/RunEndNotice.h"
#include "application/WriterMedia.h"
#include "backup/BackupSetup.h"
#include "discwright/Discwright.h"
#include "discwright/ImageDriveSettings.h"
#include "discwriter/BurnSession.h"
#include "discwriter/DiscLibrary.h"
#include "platform/Platform.h"

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

// The image drive's settings when it is the writer chosen.
std::optional<ImageDriveSettings> chosenImageDrive(Application& application)
{
    const DriveList& devices = application.discwright().devices();
    const int index = application.view().options().writerIndex;
    if (index < 0 || static_cast<std::size_t>(index) >= devices.size()
        || devices[static_cast<std::size_t>(index)].DeviceAddress.PortID != ImageDrivePort)
        return std::nullopt;
    ImageDriveSettings image;
    if (!Discwright_GetImageDriveSettings(image))
        return std::nullopt;
    return image;
}

// The image a disc of this run went into: the image drive names a disc's first session after
// it. A disc that went into another disc's image (a further session) names none.
std::string writtenImage(Application& application, const std::string& discId)
{
    const std::optional<ImageDriveSettings> image = chosenImageDrive(application);
    if (!image)
        return "";
    const std::string path = platform::joinPath(image->folder, discId + ".iso");
    return platform::fileExists(path) ? path : "";
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
    m_context.discMedia = [&application] {
        return writerMedia(application.discwright().devices(), application.view().options().writerIndex,
                           chosenImageDrive(application), application.state().RecoveryPercent);
    };
    m_context.imageOf = [&application](const std::string& discId) { return writtenImage(application, discId); };
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
