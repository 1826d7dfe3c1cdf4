#include "ui/Program.h"

#include <QApplication>
#include <QTreeView>

#include "app/Application.h"
#include "app/Error.h"
#include "ui/BackupTreeModel.h"
#include "ui/QtView.h"
#include "ui/ReportErrors.h"
#include "ui/TMain.h"
#include "ui/TProgressForm.h"
#include "ui/TRestoreProgressForm.h"
#include "ui/TfrmOperationProgress.h"
#include "ui/TorvinelApplication.h"

namespace torvinel::ui {

int runTorvinel()
{
    TMain mainWindow;
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
    TfrmOperationProgress busy(&mainWindow);
    view.attachBusyWindow(&busy);

    Application app(view);
    try {
        app.FormCreate();
        if (!app.startedUp())
            return 1; // no drive to read discs from; the user has been told
    } catch (const Error& e) {
        view.showError(errorBoxText(e.what()));
        return 1;
    }
    mainWindow.setCloseHandler([&] { reportErrors(view, [&] { app.FormClose(); }); });

    TProgressForm backupProgress(app.state(), view, &mainWindow);
    TRestoreProgressForm restoreProgress(app.state(), view, &mainWindow);
    view.attachProgressForms(&backupProgress, &restoreProgress);

    mainWindow.show();
    return QApplication::exec();
}

} // namespace torvinel::ui
