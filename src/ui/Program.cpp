#include "ui/Program.h"

#include <QApplication>
#include <QTreeView>

#include "application/Application.h"
#include "application/BackupRunner.h"
#include "app/Error.h"
#include "catalog/DiscMaintenance.h"
#include "restore/RestoreChooser.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreTree.h"
#include "ui/BackupTreeModel.h"
#include "ui/QtView.h"
#include "ui/RestoreTreeModel.h"
#include "ui/ReportErrors.h"
#include "ui/MainWindow.h"
#include "ui/BackupProgressWindow.h"
#include "ui/RestoreProgressWindow.h"
#include "ui/BusyWindow.h"
#include "ui/TorvinelApplication.h"

namespace torvinel::ui {

int runTorvinel()
{
    MainWindow mainWindow;
    QtView view(mainWindow);
    auto* qtApp = dynamic_cast<TorvinelApplication*>(QCoreApplication::instance());
    if (qtApp)
        qtApp->setView(&view);
    struct ForgetView {
        TorvinelApplication* app;
        ~ForgetView()
        {
            if (app)
                app->setView(nullptr);
        }
    } forgetView{qtApp};

    BackupTreeModel backupTree;
    backupTree.attachView(mainWindow.findChild<QTreeView*>("BackupTree"));
    view.attachBackupTree(backupTree);

    // Before the start-up: its drive search shows this window.
    BusyWindow busy(&mainWindow);
    view.attachBusyWindow(&busy);

    Application app(view);
    // The restore tree is core's; the view shows it through a model that follows its changes.
    // The model is made after the application so that it goes first: it leaves the tree's
    // listeners as it goes, and the window, made before both, goes last.
    RestoreTreeModel restoreModel(app.restoreTree());
    mainWindow.findChild<QTreeView*>("RestoreTree")->setModel(&restoreModel);
    view.attachRestoreTree(app.restoreTree());

    try {
        app.startUp();
        if (!app.startedUp())
            return 1; // no drive to read discs from; the user has been told
    } catch (const Error& e) {
        view.showError(errorBoxText(e.what()));
        return 1;
    }
    mainWindow.setCloseHandler([&] { reportErrors(view, [&] { app.shutDown(); }); });

    BackupProgressWindow backupProgress(app.state(), view, &mainWindow);
    RestoreProgressWindow restoreProgress(app.state(), view, &mainWindow);
    view.attachProgressForms(&backupProgress, &restoreProgress);

    // The Backup button: one backup run on the writer chosen among those start-up found.
    BackupRunner backups(app, [&] { app.refreshRestoreSide(); });

    // Every command reports a failure in the error box and leaves the program running.
    const auto guarded = [&](std::function<void()> command) {
        return [&view, command] { reportErrors(view, command); };
    };
    RunState& state = app.state();
    mainWindow.setHandlers({
        guarded([&] { backups.run(); }),
        guarded([&] { runRestore(state, view, app.restoreTree()); }),
        guarded([&] { chooseBackupSet(state, view, app.restoreTree()); }),
        guarded([&] { removeDisc(state, view, [&] { app.refreshRestoreSide(); }); }),
        guarded([&] { addDisc(state, view, [&] { app.refreshRestoreSide(); }); }),
    });

    mainWindow.show();
    return QApplication::exec();
}

} // namespace torvinel::ui
