#include "ui/Program.h"

#include <QApplication>
#include <QTreeView>

#include "application/Application.h"
#include "app/Error.h"
#include "backup/BackupRun.h"
#include "backup/BackupSetup.h"
#include "catalog/DiscMaintenance.h"
#include "discwriter/DiscwrightWrapper.h"
#include "discwriter/WritetoDisc.h"
#include "discwright/Discwright.h"
#include "restore/RestoreChooser.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreTree.h"
#include "ui/BackupTreeModel.h"
#include "ui/QtView.h"
#include "ui/RestoreTreeModel.h"
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
    // The restore tree is core's; the view shows it through a model that follows its changes.
    // The model is made after the application so that it goes first: it leaves the tree's
    // listeners as it goes, and the window, made before both, goes last.
    RestoreTreeModel restoreModel(app.restoreTree());
    mainWindow.findChild<QTreeView*>("RestoreTree")->setModel(&restoreModel);
    view.attachRestoreTree(app.restoreTree());

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

    // The Backup button: one backup run on the writer chosen among those start-up found.
    TZipArchiver ZF;
    ConfigureArchiveEngine(ZF, app.state());
    platform::ArchiveAttribute archiveBits(app.state().AppFolder);
    std::vector<std::string> excluded;
    if (ImageDriveSettings image; Discwright_GetImageDriveSettings(image))
        excluded.push_back(image.folder);
    BackupContext backup{app.state(), view, ZF, archiveBits,
                         [&](const std::string& name, int64_t& discFreeBytes, int32_t& writeStatus) {
                             WritetoDisc(app.state(), view, app.discwright().devices(), name, discFreeBytes,
                                         writeStatus);
                         },
                         [&] { app.refreshRestoreSide(); }, excluded};

    // Every command reports a failure in the error box and leaves the program running.
    const auto guarded = [&](std::function<void()> command) {
        return [&view, command] { reportErrors(view, command); };
    };
    RunState& state = app.state();
    mainWindow.setHandlers({
        guarded([&] { BackupButtonClick(backup); }),
        guarded([&] { RestoreButtonClick(state, view, app.restoreTree()); }),
        guarded([&] { RestoreChooserChange(state, view, app.restoreTree()); }),
        guarded([&] { RemoveButtonClick(state, view, [&] { app.refreshRestoreSide(); }); }),
        guarded([&] { AddDiskClick(state, view, [&] { app.refreshRestoreSide(); }); }),
    });

    mainWindow.show();
    return QApplication::exec();
}

} // namespace torvinel::ui
