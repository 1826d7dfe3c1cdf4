#include "application/Application.h"

#include <vector>

#include "app/Error.h"
#include "app/FileHelpers.h"
#include "app/IniFile.h"
#include "app/SpeedLists.h"
#include "backup/Selection.h"
#include "catalog/AssembleBackupState.h"
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

template <std::size_t N>
std::vector<std::string> itemsOf(const std::array<std::string_view, N>& items)
{
    return {items.begin(), items.end()};
}

// A stored list position outside the list selects nothing.
int positionIn(int64_t position, std::size_t count)
{
    return position >= 0 && position < static_cast<int64_t>(count) ? static_cast<int>(position) : -1;
}

} // namespace

Application::Application(View& view) : m_view(view), m_restoreTree(std::make_unique<RestoreTree>()) {}

Application::~Application() = default;

void Application::startUp()
{
    RunState& s = m_state;
    m_startedUp = false;

    // 1. The main window answers this message while it is in front, so inserting a disc
    // during a run does not start another program.
    s.QueryCancelAutoPlay = platform::registerQueryCancelAutoPlay();

    // 2. The disc library's log of the previous run.
    const std::string dataHome = platform::applicationDataFolder();
    const std::string appFolder = platform::joinPath(dataHome, "Torvinel");
    platform::deleteFile(platform::joinPath(appFolder, "Discwright.log"));

    // 3. The disc library.
    m_discLibrary = std::make_unique<DiscLibrary>();
    CheckLibraryVersion(m_view);

    // 4. AppFolder. A fresh account may not have the per-user data folder yet; it is the
    // platform's own folder, so it is made with its parents.
    if (!platform::folderExists(dataHome))
        platform::createFolders(dataHome);
    s.AppFolder = appFolder;
    createWorkingFolder(s.AppFolder);

    // 5. The log, created empty.
    s.log.open(s.appFile("LogFile.txt"));
    if (s.QueryCancelAutoPlay == 0)
        s.WriteLog("AutoPlay: nothing to suppress on this platform");

    // 6. The run-wide lists start empty.
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

    const std::string ini = s.settingsFile();

    // 7. Window size, then position; each value is applied at once, so the position's
    // defaults use the size the window really took.
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

    // 8.
    s.NewestDisc = IniReadOrCreateString(ini, "Status", "NewestDisc", "");
    s.OldestCSV = IniReadOrCreateString(ini, "Status", "OldestCSV", "");

    // 9.
    m_view.setChecked(Control::Md5Check, IniReadOrCreateBool(ini, "Status", "DoMD5", false));
    m_view.setChecked(Control::VerifyCheck, IniReadOrCreateBool(ini, "Status", "DoVerify", false));

    // 10.
    m_view.setItems(Control::CdSpeed, itemsOf(CDSpeedItems),
                    positionIn(IniReadOrCreateInteger(ini, "Status", "MaxCDSpeed", 12), CDSpeedItems.size()));
    m_view.setItems(Control::DvdSpeed, itemsOf(DVDSpeedItems),
                    positionIn(IniReadOrCreateInteger(ini, "Status", "MaxDVDSpeed", 8), DVDSpeedItems.size()));

    // 11.
    s.SplitVolumeSize = 8388608;
    s.CDTrackLimit = 1;
    s.DVDTrackLimit = 1;

    // 12. A Linux account may have no documents folder; it is made so that the restore
    // folder can be made inside it.
    const std::string documents = platform::documentsFolder();
    if (!platform::folderExists(documents))
        platform::createFolders(documents);
    const std::string restoreBase = IniReadOrCreateString(ini, "Paths", "RestoreBase", documents);
    s.RestoreFolder = platform::joinPath(restoreBase, "Torvinel Restores");
    createWorkingFolder(s.RestoreFolder);

    // 13.
    s.DatabaseFolder = platform::joinPath(s.AppFolder, "Database");
    createWorkingFolder(s.DatabaseFolder);

    // 14.
    const std::string tempBase = IniReadOrCreateString(ini, "Paths", "TempBase", s.AppFolder);
    s.TempFolder = platform::joinPath(tempBase, "torvineltemp");
    createWorkingFolder(s.TempFolder);

    // The image drive, the writer that needs no hardware, takes its folder and disc size from
    // the settings.
    Discwright_ConfigureImageDrive(ReadImageDriveSettings(ini));

    // 15. Whatever an interrupted run left behind is discarded.
    if (!EmptyFolder(s.TempFolder))
        throw Error("Could not delete Temp directory.");

    // 16. The backup state: the list saved by the last assembly, or the catalogs themselves.
    const std::string backupList = s.appFile("BackupList.txt");
    if (platform::fileExists(backupList)) {
        s.BackupState.loadFromFile(backupList);
    } else {
        s.NewestDisc.clear();
        AssembleBackupState(s, m_view, s.NewestDisc, s.OldestCSV, false);
    }

    // 17-18. The ticks of the last session; on a first start the documents folder.
    RestoreSelection(s, m_view, documents);

    // 19-20. The restore side: the tree of the current state and the backup sets.
    BuildRestoreTree(s, *m_restoreTree);
    fillBackupSetChooser(s, m_view);

    // 21-23. The drives: writers for the Backup page, readers for Restore and Add.
    fillWriterChooser(m_view, m_discLibrary->finder());
    if (!fillRestoreDrives(s, m_view))
        return;

    // The guard refuses sleep and session end until the battery runs low.
    if (m_powerGuardEnabled) {
        m_powerGuard = std::make_unique<PowerGuard>();
        m_powerGuard->AllowSuspend = false;
        m_powerGuard->AllowStandby = false;
        m_powerGuard->AllowEndSession = false;
        m_powerGuard->OnBatteryLow = allowSleepOnBatteryLow;
        m_powerGuard->start([this](const std::string& line) { m_state.WriteLog(line); });
    }

    m_startedUp = true;
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

    const WindowGeometry g = m_view.geometry(Window::Main);
    IniWriteInteger(ini, "Form", "Top", g.top);
    IniWriteInteger(ini, "Form", "Left", g.left);
    IniWriteInteger(ini, "Form", "Width", g.width);
    IniWriteInteger(ini, "Form", "Height", g.height);

    IniWriteString(ini, "Status", "NewestDisc", s.NewestDisc);
    IniWriteString(ini, "Status", "OldestCSV", s.OldestCSV);
    const RunOptions options = m_view.options();
    IniWriteBool(ini, "Status", "DoMD5", options.md5);
    IniWriteBool(ini, "Status", "DoVerify", options.verify);
    IniWriteInteger(ini, "Status", "MaxCDSpeed", options.cdSpeedIndex);
    IniWriteInteger(ini, "Status", "MaxDVDSpeed", options.dvdSpeedIndex);

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
