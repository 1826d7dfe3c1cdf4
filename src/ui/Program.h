#pragma once
#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <functional>
#include <optional>

#include "application/Application.h"
#include "application/BackupRunner.h"
#include "catalog/DiscMaintenance.h"
#include "ui/BackupProgressWindow.h"
#include "ui/BackupSizes.h"
#include "ui/BackupTreeModel.h"
#include "ui/BusyWindow.h"
#include "ui/MainWindow.h"
#include "ui/QtView.h"
#include "ui/RestoreProgressWindow.h"
#include "ui/RestoreTreeModel.h"
#include "ui/VerifyDiscCommand.h"

namespace torvinel::ui {

// The program in the running Qt application: creates the main window and runs the start-up,
// then the backup and restore progress windows; shows the main window on its About page and
// runs the message loop until it closes, which runs the shut-down.
// When the start-up fails, its error box is shown and the function returns 1 at once: the
// main window never appears, so no backup or restore can be started after a failed start
// (also when another Torvinel of the user is running). Returns the message loop's exit code
// otherwise.
// One run at a time: while a backup or restore runs, its progress window stays up and no
// command of the main window starts. Quitting during a run asks whether to cancel it; Yes
// cancels it and the shut-down follows once the run has ended, No lets it go on. A disc check
// (the Advanced page's "Verify disc") is cancelled without asking: it loses nothing.
int runTorvinel();

// The GUI program's objects, for runTorvinel. Each member is declared after the members it
// refers to, so it goes before them at exit and nothing refers to an object already gone. A
// reference the other way round (the view showing a window made after it) is made by a Link
// declared after both ends, which takes it back as it goes.
class Program {
public:
    Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The start-up, then the message loop; the exit code runTorvinel returns.
    int run();

private:
    enum class Running { Nothing, Backup, Restore, Verify };

    // Runs work as the one run; does nothing while another run is going on. A quit the user
    // asked for meanwhile follows once it has ended.
    void runAlone(Running run, const std::function<void()>& work);
    // The same with window as the run's progress window.
    void runInProgressWindow(Running run, ProgressWindow& window, const std::function<void()>& work);
    // "Add" on the Advanced page: the disc in the chosen drive, or with "add all" ticked that
    // disc and every disc its index records.
    void addDiscs(const RestoreRefresh& refresh);
    // The Advanced page's recovery share: shown as start-up read it, in force at once.
    void bindRecoveryPercent();
    // Whether the program may quit now; during a backup or restore it asks whether to cancel
    // the run, a disc check it cancels.
    bool mayQuit();
    // "Restore to...": the folder the user picks takes the place of RestoreFolder until the
    // program ends (it is not saved: a folder on a removable disc may be gone next time).
    void chooseRestoreFolder();
    // The image drive's folder and media type, from the Advanced page.
    void chooseImageFolder();
    void chooseImageMediaType();
    std::string chosenImageMediaType() const;
    // Starts the counts of the Backup page's sizes (once the start-up has set the folders).
    void startSizes();

    // Makes a reference between two members and takes it back when it goes.
    class Link {
    public:
        Link(const std::function<void()>& make, std::function<void()> takeBack) : m_takeBack(std::move(takeBack))
        {
            make();
        }
        ~Link() { m_takeBack(); }
        Link(const Link&) = delete;
        Link& operator=(const Link&) = delete;

    private:
        std::function<void()> m_takeBack;
    };

    // Holds back the application's quit (QEvent::Quit) while mayQuit says no.
    class QuitFilter : public QObject {
    public:
        explicit QuitFilter(std::function<bool()> mayQuit) : m_mayQuit(std::move(mayQuit))
        {
            QCoreApplication::instance()->installEventFilter(this);
        }
        ~QuitFilter() override { QCoreApplication::instance()->removeEventFilter(this); }

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() != QEvent::Quit || watched != QCoreApplication::instance() || m_mayQuit())
                return false;
            event->ignore(); // the platform learns that the quit was refused
            return true;
        }

    private:
        std::function<bool()> m_mayQuit;
    };

    MainWindow m_mainWindow;
    BackupTreeModel m_backupTree;
    BusyWindow m_busy; // made before the start-up: its drive search shows this window
    QtView m_view;
    Link m_viewInQtApplication; // the last-resort error box of TorvinelApplication
    Application m_application;
    RestoreTreeModel m_restoreModel; // over the application's restore tree
    Link m_restoreTreeInView;
    // Made once the start-up has completed.
    std::optional<BackupProgressWindow> m_backupProgress;
    std::optional<RestoreProgressWindow> m_restoreProgress;
    std::optional<Link> m_progressWindowsInView;
    std::optional<BackupRunner> m_backups;
    std::optional<VerifyDiscCommand> m_verify;
    Running m_running = Running::Nothing;
    bool m_quitAfterRun = false; // the user chose to cancel the run and quit
    std::optional<Link> m_commandsInMainWindow;
    std::optional<QuitFilter> m_quitDuringRun;
    // The sizes in the backup tree and the selection's total; its walks end before the tree goes.
    std::optional<BackupSizes> m_sizes;
};

} // namespace torvinel::ui
