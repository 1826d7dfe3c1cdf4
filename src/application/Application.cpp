#include "application/Application.h"

#include <algorithm>
#include <vector>

#include "app/Error.h"
#include "app/FileHelpers.h"
#include "app/IniFile.h"
#include "app/SpeedLists.h"
#include "backup/Selection.h"
#include "catalog/AssembleBackupState.h"
#include "catalog/DiscFiling.h"
#include "discwriter/DeviceLists.h"
#include "discwriter/DiscLibrary.h"
#include "discwriter/WrapperServices.h"
#include "discwright/Discwright.h"
#include "discwright/ImageDriveSettings.h"
#include "platform/Platform.h"
#include "power/PowerGuard.h"
#include "restore/RestoreChooser.h"
#include "restore/RestoreTree.h"

namespace torvinel {

namespace {

// Creates folder when it is missing (one level: its parent must exist).
void createWorkingFolder(const std::string& folder)
{
    if (!platform::folderExists(folder) && !platform::createFolder(folder))
        throw Error("Could not create " + folder);
}

template <std::size_t N> std::vector<std::string> itemsOf(const std::array<std::string_view, N>& items)
{
    return {items.begin(), items.end()};
}

// A stored list position outside the list selects nothing.
int positionIn(int64_t position, std::size_t count)
{
    return position >= 0 && position < static_cast<int64_t>(count) ? static_cast<int>(position) : -1;
}

} // namespace

Application::Application(View& view) : m_view(view), m_restoreTree(std::make_unique<RestoreTree>()) { }

Application::~Application() = default;

void Application::startUp()
{
    m_startedUp = false;
    const std::string dataHome = platform::applicationDataFolder();
    const std::string appFolder = platform::joinPath(dataHome, "Torvinel");
    openApplicationFolder(dataHome, appFolder);
    holdInstanceLock();
    suppressAutoPlay();
    forgetLibraryLog(appFolder);
    startDiscLibrary();
    openLog();
    clearRunLists();
    const std::string ini = m_state.settingsFile();
    if (m_view.showsWindows())
        applyWindowGeometry(ini);
    readBackupStatus(ini);
    readStoredOptions(ini);
    setRunLimits();
    const std::string documents = platform::documentsFolder();
    openWorkingFolders(ini, documents);
    configureImageDrive(ini);
    discardLeftovers();
    discardHalfFiledDiscs();
    loadBackupState();
    if (m_selectionUsed)
        restoreSelection(documents);
    buildRestoreSide();
    if (!listDrives())
        return;
    startPowerGuard();
    m_startedUp = true;
}

// One Torvinel at a time per user: a second one would empty the first one's temporary
// folder and write over its log, settings and lists. Nothing has been changed yet when this
// refuses, except the application folder made when missing.
void Application::holdInstanceLock()
{
    if (m_instanceLock)
        return; // a second start-up of this object
    const std::string path = m_state.appFile("Torvinel.lock");
    auto lock = std::make_unique<platform::ProcessLock>(path);
    switch (lock->outcome()) {
    case platform::ProcessLock::Outcome::Held:
        m_instanceLock = std::move(lock);
        return;
    case platform::ProcessLock::Outcome::HeldElsewhere:
        throw Error("Torvinel is already running (process " + std::to_string(lock->holder()) + ").");
    case platform::ProcessLock::Outcome::Unavailable:
        break;
    }
    throw Error("Could not create " + path);
}

// The main window answers this message while it is in front, so inserting a disc during a
// run does not start another program.
void Application::suppressAutoPlay() { m_state.QueryCancelAutoPlay = platform::registerQueryCancelAutoPlay(); }

// The disc library's log of the previous run.
void Application::forgetLibraryLog(const std::string& appFolder)
{
    // Usually there is none; one that stays only keeps older lines in front of the new ones.
    static_cast<void>(platform::deleteFile(platform::joinPath(appFolder, "Discwright.log")));
}

void Application::startDiscLibrary()
{
    m_discLibrary = std::make_unique<DiscLibrary>();
    CheckLibraryVersion(m_view);
}

// A fresh account may not have the per-user data folder yet; it is the platform's own
// folder, so it is made with its parents.
void Application::openApplicationFolder(const std::string& dataHome, const std::string& appFolder)
{
    // A failure shows as the application folder's own, just below.
    if (!platform::folderExists(dataHome))
        static_cast<void>(platform::createFolders(dataHome));
    m_state.AppFolder = appFolder;
    createWorkingFolder(m_state.AppFolder);
}

// The log, created empty.
// The previous run's log is kept beside the new one, so that a failed run can still be read
// after the next start.
void Application::openLog()
{
    const std::string log = m_state.appFile("LogFile.txt");
    if (platform::fileExists(log) && !platform::replaceFile(log, m_state.appFile("LogFile.1.txt")))
        platform::debugOutput("Could not keep the previous log as LogFile.1.txt");
    m_state.log.open(log);
    if (m_state.QueryCancelAutoPlay == 0)
        m_state.WriteLog("AutoPlay: nothing to suppress on this platform");
    m_state.WriteLog(libraryVersionText());
}

void Application::clearRunLists()
{
    RunState& s = m_state;
    s.DiscList.clear();
    s.ScratchNames.clear();
    s.ScratchLines.clear();
    s.BackupState.clear();
    s.DeletedPaths.clear();
    s.FQList.clear();
    s.FQUList.clear();
    s.FullList.clear();
    s.NewList.clear();
    s.ArchiveCatalog.clear();
    s.StagedFiles.clear();
}

// Size, then position; each value is applied at once, so the position's defaults use the
// size the window really took.
void Application::applyWindowGeometry(const std::string& ini)
{
    WindowGeometry g = m_view.geometry(Window::Main);
    g.width = static_cast<int>(IniReadOrCreateInteger(ini, "Form", "Width", 620));
    m_view.setGeometry(Window::Main, g);
    g = m_view.geometry(Window::Main);
    g.height = static_cast<int>(IniReadOrCreateInteger(ini, "Form", "Height", 440));
    m_view.setGeometry(Window::Main, g);
    g = m_view.geometry(Window::Main);
    const WindowGeometry screen = m_view.screen();
    g.top = static_cast<int>(IniReadOrCreateInteger(ini, "Form", "Top", (screen.height - g.height) / 2));
    m_view.setGeometry(Window::Main, g);
    g = m_view.geometry(Window::Main);
    g.left = static_cast<int>(IniReadOrCreateInteger(ini, "Form", "Left", (screen.width - g.width) / 2));
    m_view.setGeometry(Window::Main, g);
}

void Application::readBackupStatus(const std::string& ini)
{
    m_state.NewestDisc = IniReadOrCreateString(ini, "Status", "NewestDisc", "");
    m_state.OldestCSV = IniReadOrCreateString(ini, "Status", "OldestCSV", "");
}

// The options the user set on the Backup page: the two check boxes and the speed limits.
void Application::readStoredOptions(const std::string& ini)
{
    m_view.setChecked(Control::Md5Check, IniReadOrCreateBool(ini, "Status", "DoMD5", false));
    m_view.setChecked(Control::VerifyCheck, IniReadOrCreateBool(ini, "Status", "DoVerify", false));
    m_view.setItems(Control::CdSpeed, itemsOf(CDSpeedItems),
                    positionIn(IniReadOrCreateInteger(ini, "Status", "MaxCDSpeed", 12), CDSpeedItems.size()));
    m_view.setItems(Control::DvdSpeed, itemsOf(DVDSpeedItems),
                    positionIn(IniReadOrCreateInteger(ini, "Status", "MaxDVDSpeed", 8), DVDSpeedItems.size()));
    m_state.RecoveryPercent =
        static_cast<int>(std::clamp<int64_t>(IniReadOrCreateInteger(ini, "Status", "RecoveryPercent", 12), 0, 50));
}

void Application::setRunLimits()
{
    m_state.SplitVolumeSize = 8388608;
    m_state.CDTrackLimit = 1;
    m_state.DVDTrackLimit = 1;
}

// The restore, database and temporary folders. A Linux account may have no documents
// folder; it is made so that the restore folder can be made inside it.
void Application::openWorkingFolders(const std::string& ini, const std::string& documents)
{
    RunState& s = m_state;
    // A failure shows as the restore folder's own, just below.
    if (!platform::folderExists(documents))
        static_cast<void>(platform::createFolders(documents));
    const std::string restoreBase = IniReadOrCreateString(ini, "Paths", "RestoreBase", documents);
    s.RestoreFolder = platform::joinPath(restoreBase, "Torvinel Restores");
    createWorkingFolder(s.RestoreFolder);

    s.DatabaseFolder = platform::joinPath(s.AppFolder, "Database");
    createWorkingFolder(s.DatabaseFolder);

    const std::string tempBase = IniReadOrCreateString(ini, "Paths", "TempBase", s.AppFolder);
    s.TempFolder = platform::joinPath(tempBase, "torvineltemp");
    createWorkingFolder(s.TempFolder);
}

// The image drive, the writer that needs no hardware, takes its folder and disc size from
// the settings.
void Application::configureImageDrive(const std::string& ini)
{
    const ImageDriveSettings settings = ReadImageDriveSettings(ini);
    Discwright_ConfigureImageDrive(settings);
    showImageDrive(settings);
}

void Application::showImageDrive(const ImageDriveSettings& settings)
{
    m_view.setText(Window::Main, Control::ImageFolder, settings.folder);
    const std::vector<std::string> types = imageMediaTypes();
    const auto chosen = std::find(types.begin(), types.end(), settings.mediaType);
    m_view.setItems(Control::ImageMediaType, types, static_cast<int>(chosen - types.begin()));
}

void Application::setImageDrive(const std::string& folder, const std::string& mediaType)
{
    if (imageMediaType(mediaType) == DISC_TYPE_UNKNOWN)
        throw Error("The image drive does not know the media type " + mediaType + ".");
    if (folder.empty() || folder.front() != '/')
        throw Error("The image drive's folder must be a full path: " + folder);
    const std::string ini = m_state.settingsFile();
    const ImageDriveSettings before = ReadImageDriveSettings(ini);
    IniWriteString(ini, "ImageDrive", "Folder", folder);
    IniWriteString(ini, "ImageDrive", "MediaType", mediaType);
    if (mediaType != before.mediaType)
        IniWriteInteger(ini, "ImageDrive", "Blocks", defaultImageBlocks(mediaType));
    m_state.WriteLog("Image drive: folder " + folder + ", media type " + mediaType);
    configureImageDrive(ini);
    // The Restore and Add lists name the shelf; the image drive keeps them from being empty.
    (void)fillRestoreDrives(m_state, m_view);
}

// Whatever an interrupted run left behind is discarded.
void Application::discardLeftovers()
{
    if (!EmptyFolder(m_state.TempFolder))
        throw Error("Could not delete Temp directory.");
}

// A disc whose filing a crash cut short is not in the database; its staged files went with
// TempFolder, so it can only be added again from the disc. No listing shows the folder, so
// one that cannot be removed is only logged.
void Application::discardHalfFiledDiscs()
{
    for (const HalfFiledDisc& disc : removeHalfFiledDiscs(m_state.DatabaseFolder))
        m_state.WriteLog(disc.removed ? "Removed the half-filed disc folder " + disc.path
                                            + "; the disc can be added again."
                                      : "Could not remove the half-filed disc folder " + disc.path);
}

// The list saved by the last assembly, or the catalogs themselves.
void Application::loadBackupState()
{
    RunState& s = m_state;
    const std::string backupList = s.appFile("BackupList.txt");
    if (platform::fileExists(backupList)) {
        s.BackupState.loadFromFile(backupList);
    } else {
        s.NewestDisc.clear();
        AssembleBackupState(s, m_view, s.NewestDisc, s.OldestCSV, false);
    }
}

// The ticks of the last session; on a first start the documents folder. The image drive's
// shelf is never backed up, so it is not offered as a new item either.
void Application::restoreSelection(const std::string& documents)
{
    std::vector<std::string> shelf;
    if (ImageDriveSettings image; Discwright_GetImageDriveSettings(image))
        shelf.push_back(image.folder);
    RestoreSelection(m_state, m_view, documents, shelf);
}

// The tree of the current state and the backup sets.
void Application::buildRestoreSide()
{
    BuildRestoreTree(m_state, *m_restoreTree);
    fillBackupSetChooser(m_state, m_view);
}

// Writers for the Backup page, readers for Restore and Add. False when there is no drive to
// read discs from.
bool Application::listDrives()
{
    fillWriterChooser(m_view, m_discLibrary->finder());
    return fillRestoreDrives(m_state, m_view);
}

// The guard refuses sleep and session end until the battery runs low.
void Application::startPowerGuard()
{
    if (!m_powerGuardEnabled)
        return;
    m_powerGuard = std::make_unique<PowerGuard>();
    m_powerGuard->AllowSuspend = false;
    m_powerGuard->AllowStandby = false;
    m_powerGuard->AllowEndSession = false;
    m_powerGuard->OnBatteryLow = allowSleepOnBatteryLow;
    m_powerGuard->start([this](const std::string& line) { m_state.WriteLog(line); });
}

void Application::refreshRestoreSide()
{
    fillBackupSetChooser(m_state, m_view);
    BuildRestoreTree(m_state, *m_restoreTree);
}

void Application::shutDown()
{
    if (!m_startedUp)
        return; // a start-up that ended early writes nothing
    RunState& s = m_state;
    const std::string ini = s.settingsFile();

    if (m_view.showsWindows()) {
        const WindowGeometry g = m_view.geometry(Window::Main);
        IniWriteInteger(ini, "Form", "Top", g.top);
        IniWriteInteger(ini, "Form", "Left", g.left);
        IniWriteInteger(ini, "Form", "Width", g.width);
        IniWriteInteger(ini, "Form", "Height", g.height);
    }

    IniWriteString(ini, "Status", "NewestDisc", s.NewestDisc);
    IniWriteString(ini, "Status", "OldestCSV", s.OldestCSV);
    const RunOptions options = m_view.options();
    IniWriteBool(ini, "Status", "DoMD5", options.md5);
    IniWriteBool(ini, "Status", "DoVerify", options.verify);
    IniWriteInteger(ini, "Status", "MaxCDSpeed", options.cdSpeedIndex);
    IniWriteInteger(ini, "Status", "MaxDVDSpeed", options.dvdSpeedIndex);
    IniWriteInteger(ini, "Status", "RecoveryPercent", s.RecoveryPercent);

    if (m_selectionUsed)
        SaveSelection(s, m_view);

    m_discLibrary.reset(); // after any drive search has ended, the library shuts down

    s.BackupState.clear();
    s.DeletedPaths.clear();
    s.FullList.clear();
    s.NewList.clear();

    m_powerGuard.reset();
    s.log.close();
    m_startedUp = false;
}

} // namespace torvinel
