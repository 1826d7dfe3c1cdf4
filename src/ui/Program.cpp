#include "ui/Program.h"

#include <QApplication>
#include <QTreeView>

#include "app/Application.h"
#include "app/Error.h"
#include "backup/BackupRun.h"
#include "backup/BackupSetup.h"
#include "discwriter/DiscwrightWrapper.h"
#include "discwriter/WritetoDisc.h"
#include "discwriter/discwright/Discwright.h"
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
                         {}, excluded};
    mainWindow.setBackupHandler([&] { BackupButtonClick(backup); });

    mainWindow.show();
    return QApplication::exec();
}

} // namespace torvinel::ui
