#include "ui/Program.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QSpinBox>
#include <QTreeView>

#include "application/RestoreRunner.h"
#include "application/WriterMedia.h"
#include "backup/Selection.h"
#include "catalog/DiscMaintenance.h"
#include "discwright/Discwright.h"
#include "discwriter/DiscLibrary.h"
#include "restore/DiscRemoval.h"
#include "restore/IndexedDiscSource.h"
#include "restore/RestoreChooser.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreTree.h"
#include "ui/ReportErrors.h"
#include "ui/TorvinelApplication.h"

namespace torvinel::ui {

namespace {

TorvinelApplication* torvinelApplication() { return dynamic_cast<TorvinelApplication*>(QCoreApplication::instance()); }

} // namespace

int runTorvinel()
{
    Program program;
    return program.run();
}

Program::Program()
    : m_busy(&m_mainWindow),
      m_view(m_mainWindow),
      m_viewInQtApplication(
          [this] {
              if (TorvinelApplication* qtApp = torvinelApplication())
                  qtApp->setView(&m_view);
          },
          [] {
              if (TorvinelApplication* qtApp = torvinelApplication())
                  qtApp->setView(nullptr);
          }),
      m_application(m_view),
      m_restoreModel(m_application.restoreTree()),
      m_restoreTreeInView([this] { m_view.attachRestoreTree(m_application.restoreTree()); },
                          [this] { m_view.detachRestoreTree(); })
{
    m_backupTree.attachView(m_mainWindow.findChild<QTreeView*>("BackupTree"));
    m_view.attachBackupTree(m_backupTree);
    m_view.attachBusyWindow(&m_busy);
    // The restore tree is core's; the view shows it through a model that follows its changes.
    m_mainWindow.findChild<QTreeView*>("RestoreTree")->setModel(&m_restoreModel);
}

int Program::run()
{
    if (!reportErrors(m_view, [&] { m_application.startUp(); }) || !m_application.startedUp())
        return 1; // the error box, or no drive to read discs from: the user has been told
    m_view.setText(Window::Main, Control::RestoreToFolder, m_application.state().RestoreFolder);
    m_backupProgress.emplace(m_application.state(), m_view, &m_mainWindow);
    m_restoreProgress.emplace(m_application.state(), m_view, &m_mainWindow);
    m_progressWindowsInView.emplace([this] { m_view.attachProgressForms(&*m_backupProgress, &*m_restoreProgress); },
                                    [this] { m_view.attachProgressForms(nullptr, nullptr); });

    // The Backup button: one backup run on the writer chosen among those start-up found.
    const auto refresh = [this] { m_application.refreshRestoreSide(); };
    m_backups.emplace(m_application, refresh);
    m_verify.emplace(m_application.state(), m_view, m_busy);
    bindRecoveryPercent();

    // Every command reports a failure in the error box and leaves the program running; none
    // starts during a run.
    const auto guarded = [this](std::function<void()> command) {
        return [this, command] {
            if (m_running == Running::Nothing)
                reportErrors(m_view, command);
        };
    };
    m_commandsInMainWindow.emplace(
        [&] {
            m_mainWindow.setCloseHandler([this] {
                if (!mayQuit())
                    return false;
                m_sizes.reset(); // its counts ask the disc library, which the shut-down ends
                reportErrors(m_view, [this] { m_application.shutDown(); });
                return true;
            });
            m_mainWindow.setHandlers({
                [this] {
                    if (m_running == Running::Nothing && confirmBackupSelection(m_view))
                        runInProgressWindow(Running::Backup, *m_backupProgress, [this] { m_backups->run(); });
                },
                [this] {
                    runInProgressWindow(Running::Restore, *m_restoreProgress, [this] {
                        RestoreRunner restore(m_application);
                        const std::string& chosen = m_application.state().ChosenRestoreFolder;
                        restore.run(m_application.restoreTree(), {.restoreFolder = chosen});
                    });
                },
                guarded([this] { chooseBackupSet(m_application.state(), m_view, m_application.restoreTree()); }),
                guarded([this, refresh] {
                    if (confirmDiscRemoval(m_application.state(), m_view))
                        removeDisc(m_application.state(), m_view, refresh);
                }),
                guarded([this, refresh] { addDiscs(refresh); }),
                guarded([this] {
                    chooseRestoreFolder();
                    if (m_sizes)
                        m_sizes->recount(); // the chosen folder may be left out of backups now
                }),
                guarded([this] {
                    chooseImageFolder();
                    if (m_sizes)
                        m_sizes->recount();
                }),
                guarded([this] {
                    chooseImageMediaType();
                    if (m_sizes)
                        m_sizes->refreshTotalText();
                }),
                [this] { runAlone(Running::Verify, [this] { m_verify->run(); }); },
            });
        },
        [this] {
            m_mainWindow.setHandlers({});
            m_mainWindow.setCloseHandler({});
        });

    m_quitDuringRun.emplace([this] { return mayQuit(); });
    startSizes();

    m_mainWindow.show();
    return QApplication::exec();
}

void Program::startSizes()
{
    const auto imageDrive = [] {
        std::optional<ImageDriveSettings> image;
        if (ImageDriveSettings settings; Discwright_GetImageDriveSettings(settings))
            image = settings;
        return image;
    };
    BackupSizes::Sources sources{
        .excluded =
            [this, imageDrive] {
                std::vector<std::string> extra;
                if (const auto image = imageDrive())
                    extra.push_back(image->folder);
                return ExcludedFolders(m_application.state(), extra);
            },
        .media =
            [this, imageDrive] {
                return writerMedia(m_application.discwright().devices(), m_view.selectedIndex(Control::WriterChooser),
                                   imageDrive(), m_application.state().RecoveryPercent);
            },
    };
    m_sizes.emplace(m_backupTree, *m_mainWindow.findChild<QTreeView*>("BackupTree"),
                    *m_mainWindow.findChild<QLabel*>("SelectionTotal"), std::move(sources));
    QObject::connect(m_mainWindow.findChild<QComboBox*>("DeviceChooser"), &QComboBox::currentIndexChanged, &*m_sizes,
                     &BackupSizes::refreshTotalText);
}

void Program::runAlone(Running run, const std::function<void()>& work)
{
    if (m_running != Running::Nothing)
        return;
    // The run has ended, also by a failure or a cancel, before its error box shows.
    reportErrors(m_view, [&] {
        const Link running([&] { m_running = run; }, [&] { m_running = Running::Nothing; });
        work();
    });
    if (m_quitAfterRun)
        m_mainWindow.close(); // the quit the user asked for during the run: now the shut-down
}

void Program::runInProgressWindow(Running run, ProgressWindow& window, const std::function<void()>& work)
{
    runAlone(run, [&] {
        const Link shown([&] { window.setRunning(true); }, [&] { window.setRunning(false); });
        work();
    });
}

void Program::addDiscs(const RestoreRefresh& refresh)
{
    RunState& state = m_application.state();
    if (!m_mainWindow.findChild<QCheckBox*>("cbAddAllDisks")->isChecked()) {
        addDisc(state, m_view, refresh);
        return;
    }
    const int chosen = m_view.selectedIndex(Control::AddDiscDrive);
    const std::vector<std::string> drives = m_view.items(Control::AddDiscDrive);
    if (chosen >= 0 && static_cast<std::size_t>(chosen) < drives.size())
        static_cast<void>(addIndexedDiscs(state, m_view, drives[static_cast<std::size_t>(chosen)], refresh));
}

void Program::bindRecoveryPercent()
{
    auto* percent = m_mainWindow.findChild<QSpinBox*>("seRecoveryPercent");
    percent->setValue(m_application.state().RecoveryPercent);
    QObject::connect(percent, &QSpinBox::valueChanged, percent, [this](int value) {
        m_application.state().RecoveryPercent = value;
        // The discs a selection needs count each disc's room less its recovery data.
        if (m_sizes)
            m_sizes->refreshTotalText();
    });
}

void Program::chooseRestoreFolder()
{
    const QString current = QString::fromStdString(m_view.text(Window::Main, Control::RestoreToFolder));
    const QString chosen = m_mainWindow.chooseFolder(current);
    if (chosen.isEmpty())
        return; // cancelled: the folder stays
    RunState& state = m_application.state();
    const std::string folder = QDir::cleanPath(chosen).toStdString();
    m_view.setText(Window::Main, Control::RestoreToFolder, folder);
    state.ChosenRestoreFolder = folder == state.RestoreFolder ? std::string() : folder;
}

void Program::chooseImageFolder()
{
    const QString current = QString::fromStdString(m_view.text(Window::Main, Control::ImageFolder));
    const QString chosen = m_mainWindow.chooseFolder(current);
    if (chosen.isEmpty())
        return; // cancelled: the folder stays
    m_application.setImageDrive(QDir::cleanPath(chosen).toStdString(), chosenImageMediaType());
}

void Program::chooseImageMediaType()
{
    m_application.setImageDrive(m_view.text(Window::Main, Control::ImageFolder), chosenImageMediaType());
}

std::string Program::chosenImageMediaType() const
{
    const std::vector<std::string> types = m_view.items(Control::ImageMediaType);
    const int index = m_view.selectedIndex(Control::ImageMediaType);
    return index >= 0 && index < static_cast<int>(types.size()) ? types[static_cast<std::size_t>(index)] : "";
}

bool Program::mayQuit()
{
    if (m_running == Running::Nothing)
        return true;
    if (m_running == Running::Verify) {
        // A check cancelled loses nothing and records nothing: no need to ask.
        m_quitAfterRun = true;
        m_verify->cancel();
        return false;
    }
    const bool backup = m_running == Running::Backup;
    if (!m_quitAfterRun
        && m_view.askYesNo(backup ? "A backup is running. Do you want to cancel it?"
                                  : "A restore is running. Do you want to cancel it?")) {
        m_quitAfterRun = true;
        if (backup)
            m_backupProgress->cancelClicked();
        else
            m_restoreProgress->cancelClicked();
    }
    return false;
}

} // namespace torvinel::ui
