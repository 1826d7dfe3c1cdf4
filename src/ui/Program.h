#pragma once
#include <functional>
#include <optional>

#include "application/Application.h"
#include "application/BackupRunner.h"
#include "ui/BackupProgressWindow.h"
#include "ui/BackupTreeModel.h"
#include "ui/BusyWindow.h"
#include "ui/MainWindow.h"
#include "ui/QtView.h"
#include "ui/RestoreProgressWindow.h"
#include "ui/RestoreTreeModel.h"

namespace torvinel::ui {

// The program in the running Qt application: creates the main window and runs the start-up,
// then the backup and restore progress windows; shows the main window on its About page and
// runs the message loop until it closes, which runs the shut-down.
// When the start-up fails, its error box is shown and the function returns 1 at once: the
// main window never appears, so no backup or restore can be started after a failed start.
// Returns the message loop's exit code otherwise.
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
    std::optional<Link> m_commandsInMainWindow;
};

} // namespace torvinel::ui
