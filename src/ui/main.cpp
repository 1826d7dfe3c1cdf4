#include <QApplication>

#include "app/Application.h"
#include "app/Error.h"
#include "ui/QtView.h"
#include "ui/TMain.h"
#include "ui/TProgressForm.h"
#include "ui/TRestoreProgressForm.h"
#include "ui/TfrmOperationProgress.h"
#include "ui/TorvinelApplication.h"

using namespace torvinel;

int main(int argc, char** argv)
{
    ui::TorvinelApplication qtApp(argc, argv);

    ui::TMain mainWindow;
    ui::QtView view(mainWindow);
    qtApp.setView(&view);
    Application app(view);
    try {
        app.FormCreate();
    } catch (const Error& e) {
        // Start-up stopped at a step; nothing after it has run, so nothing may be offered.
        view.showError(errorBoxText(e.what()));
        return 1;
    }
    mainWindow.setCloseHandler([&] {
        try {
            app.FormClose();
        } catch (const Error& e) {
            view.showError(errorBoxText(e.what()));
        }
    });

    ui::TProgressForm backupProgress(app.state(), view, &mainWindow);
    ui::TRestoreProgressForm restoreProgress(app.state(), view, &mainWindow);
    view.attachProgressForms(&backupProgress, &restoreProgress);
    ui::TfrmOperationProgress busy(&mainWindow);
    view.attachBusyWindow(&busy);

    mainWindow.show();
    return qtApp.exec();
}
