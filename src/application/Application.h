#pragma once
#include <memory>
#include <string>

#include "app/RunState.h"
#include "app/View.h"
#include "desktop/DesktopNotifier.h"

namespace torvinel {

class PowerGuard;
struct ImageDriveSettings;
class DiscLibrary;
class RestoreTree;
namespace platform {
class ProcessLock;
}

// The program's core: start-up, shut-down and the run-wide state. The GUI (ui/MainWindow) and
// the command line (cli/) each create one around their own View.
class Application {
public:
    explicit Application(View& view);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The start-up sequence. Raises Error with the step's text when a step fails; the later
    // steps are then not carried out and startedUp() stays false. Its first steps take the
    // per-user lock: while another Torvinel holds it, start-up raises "Torvinel is already
    // running (process N)." before anything in the application folder is changed. It also
    // stays false when the drive listing found no drive to read discs from (it has told the
    // user the program ends): the caller then ends the program without shut-down.
    void startUp();
    // The shut-down sequence; does nothing when start-up did not complete.
    void shutDown();
    bool startedUp() const { return m_startedUp; }
    // True from the start-up's first step on, until this object goes: this process is the
    // one Torvinel of the user, and may change the application folder's files.
    bool holdsInstanceLock() const { return m_instanceLock != nullptr; }

    RunState& state() { return m_state; }
    View& view() { return m_view; }

    // The power-event guard holds off sleep and session end from start-up on. Tests that
    // must not touch the system bus switch it off before startUp.
    void setPowerGuardEnabled(bool enabled) { m_powerGuardEnabled = enabled; }
    // Whether the saved backup selection is restored at start-up (reporting the paths that
    // are gone) and saved at shut-down. Commands that do not back up leave it alone.
    void setSelectionUsed(bool used) { m_selectionUsed = used; }
    PowerGuard* powerGuard() { return m_powerGuard.get(); }
    // Tells the desktop how each backup and restore run ended (RunEndNotice); the user's
    // session bus unless a test gives a bus of its own.
    const DesktopNotifier& desktopNotifier() const { return m_desktopNotifier; }
    void setDesktopNotifier(DesktopNotifier notifier) { m_desktopNotifier = std::move(notifier); }
    // The disc library with its trace logger and the drive finder whose list the burn
    // sessions read. Started by startDiscLibrary, shut down by shut-down.
    DiscLibrary& discwright() { return *m_discLibrary; }
    // The restore tree's content, built from BackupState; the GUI shows it through a model.
    RestoreTree& restoreTree() { return *m_restoreTree; }
    // Rebuilds the restore side after the backup state changed: the chooser's sets and the
    // tree (after a backup run, or after a disc was removed or added).
    void refreshRestoreSide();
    // The image drive's shelf and media type, as the Advanced page changes them: saved in
    // the settings file and in force from the next run on, and shown in the ImageFolder and
    // ImageMediaType controls. A new media type brings that type's blank-disc size. Raises
    // Error for a media type the drive does not know or a folder that is not absolute.
    void setImageDrive(const std::string& folder, const std::string& mediaType);

private:
    // The start-up's steps, in the order startUp takes them.
    void openApplicationFolder(const std::string& dataHome, const std::string& appFolder);
    void holdInstanceLock();
    void suppressAutoPlay();
    void forgetLibraryLog(const std::string& appFolder);
    void startDiscLibrary();
    void openLog();
    void clearRunLists();
    void applyWindowGeometry(const std::string& ini);
    void readBackupStatus(const std::string& ini);
    void readStoredOptions(const std::string& ini);
    void setRunLimits();
    void openWorkingFolders(const std::string& ini, const std::string& documents);
    void configureImageDrive(const std::string& ini);
    void showImageDrive(const ImageDriveSettings& settings);
    void discardLeftovers();
    void discardHalfFiledDiscs();
    void loadBackupState();
    void restoreSelection(const std::string& documents);
    void buildRestoreSide();
    bool listDrives();
    void startPowerGuard();

    View& m_view;
    std::unique_ptr<platform::ProcessLock> m_instanceLock; // held for the object's life
    RunState m_state;
    std::unique_ptr<PowerGuard> m_powerGuard;
    DesktopNotifier m_desktopNotifier;
    std::unique_ptr<DiscLibrary> m_discLibrary;
    std::unique_ptr<RestoreTree> m_restoreTree;
    bool m_powerGuardEnabled = true;
    bool m_selectionUsed = true;
    bool m_startedUp = false;
};

} // namespace torvinel
