// The restore side of the main window offscreen: a backup set picked in the chooser, files
// ticked in the tree through its Qt model, restored from the image drive's shelf. With
// TORVINEL_SCREENSHOTS=<folder> it also saves the chooser, the tree and the progress window
// of the run (run it under Xvfb for real fonts).
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QTreeView>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/RunState.h"
#include "app/SortedList.h"
#include "archive/ZipArchive.h"
#include "catalog/CatalogLine.h"
#include "platform/Platform.h"
#include "restore/RestoreChooser.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreTree.h"
#include "ui/QtView.h"
#include "ui/RestoreTreeModel.h"
#include "ui/MainWindow.h"
#include "ui/BackupProgressWindow.h"
#include "ui/RestoreProgressWindow.h"
#include "support/TestDiscs.h"

using namespace torvinel;
using namespace torvinel::ui;
namespace fs = std::filesystem;

// The real windows, with the message box and the desktop replaced by a record, so that
// the run never waits for a click.
class RecordingView : public QtView {
public:
    using QtView::QtView;
    void showInformation(const std::string& text) override { messages.push_back(text); }
    bool askOkCancel(const std::string& text) override
    {
        messages.push_back(text);
        return false;
    }
    void openFolder(const std::string& path) override { opened = path; }
    void processEvents() override
    {
        QtView::processEvents();
        if (onEvents)
            onEvents();
    }
    std::vector<std::string> messages;
    std::string opened;
    std::function<void()> onEvents;
};

class TestRestoreGui : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pickTickRestore();

private:
    std::string root() const { return m_dir.path().toStdString(); }
    // The discs in discs/ with their catalogs in the database.
    test::TestDiscs discs() const { return {root() + "/discs", m_state->DatabaseFolder, root() + "/work"}; }
    void shelve(const std::string& disc);
    QModelIndex openFolder(const QString& path);
    void grabScreen(QWidget* window, const QString& name, QWidget* popup = nullptr);

    QTemporaryDir m_dir;
    RunState* m_state = nullptr;
    MainWindow* m_main = nullptr;
    RecordingView* m_view = nullptr;
    BackupProgressWindow* m_backup = nullptr;
    RestoreProgressWindow* m_restore = nullptr;
    RestoreTree* m_tree = nullptr;
    RestoreTreeModel* m_model = nullptr;
    QTreeView* m_treeView = nullptr;
};

void TestRestoreGui::init()
{
    QVERIFY(m_dir.isValid());
    m_state = new RunState;
    m_state->AppFolder = root() + "/app";
    m_state->DatabaseFolder = root() + "/app/Database";
    m_state->TempFolder = root() + "/temp";
    m_state->RestoreFolder = root() + "/Torvinel Restores";
    for (const std::string& f : {m_state->DatabaseFolder, m_state->TempFolder, m_state->RestoreFolder})
        fs::create_directories(f);
    m_main = new MainWindow;
    m_view = new RecordingView(*m_main);
    m_backup = new BackupProgressWindow(*m_state, *m_view, m_main);
    m_restore = new RestoreProgressWindow(*m_state, *m_view, m_main);
    m_view->attachProgressForms(m_backup, m_restore);
    m_tree = new RestoreTree;
    m_view->attachRestoreTree(*m_tree);
    m_treeView = m_main->findChild<QTreeView*>("RestoreTree");
    QVERIFY(m_treeView);
    m_model = new RestoreTreeModel(*m_tree, m_treeView);
    m_treeView->setModel(m_model);
}

void TestRestoreGui::cleanup()
{
    delete m_backup;
    delete m_restore;
    delete m_main; // and the model with the tree view
    delete m_view;
    delete m_tree;
    delete m_state;
}

// The disc as the image drive leaves it: <DiscId>.iso on the shelf.
void TestRestoreGui::shelve(const std::string& disc)
{
    fs::create_directories(root() + "/Torvinel Discs");
    const std::string make = "xorriso -as mkisofs -quiet -J -V " + disc + " -o '" + root() + "/Torvinel Discs/" + disc
        + ".iso' -graft-points '/" + disc + "=" + root() + "/discs/" + disc + "' >/dev/null 2>&1";
    QVERIFY2(std::system(make.c_str()) == 0, "xorriso could not make the image");
}

QModelIndex TestRestoreGui::openFolder(const QString& path)
{
    QModelIndex index;
    QStringList parts = path.split('/', Qt::SkipEmptyParts);
    parts.prepend("/");
    for (const QString& part : parts) {
        bool found = false;
        for (int row = 0; row < m_model->rowCount(index); ++row) {
            const QModelIndex child = m_model->index(row, 0, index);
            if (child.data().toString() == part) {
                // The view lists the folder's children when it opens it.
                m_treeView->expand(child);
                QTest::qWait(20);
                index = child;
                found = true;
                break;
            }
        }
        if (!found)
            return {};
    }
    return index;
}

void TestRestoreGui::grabScreen(QWidget* window, const QString& name, QWidget* popup)
{
    const QString folder = qEnvironmentVariable("TORVINEL_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    QTest::qWait(150);
    QRect area = window->frameGeometry();
    if (popup)
        area = area.united(popup->frameGeometry());
    QPixmap shot = window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (shot.isNull() || QGuiApplication::platformName() == "offscreen")
        shot = window->grab();
    QVERIFY(shot.save(folder + "/" + name));
}

void TestRestoreGui::pickTickRestore()
{
    // Two runs: the second changed the letter and added the budget.
    const test::TestDiscs d = discs();
    d.deletedCatalog("20260309001", "2026030900001dd", {}, "20260309184210");
    const char* first = "20260309101500";
    d.archive("20260309001", "2026030900003rn",
              {{"/home/user/Documents/letters/march.odt", "letter, first draft", first},
               {"/home/user/Documents/letters/april.odt", "april", first},
               {"/home/user/Documents/photos/garden.jpg", std::string(100000, 'j'), first},
               {"/home/user/Documents/notes.txt", "notes", first}});
    std::string video(150000, '\0');
    for (std::size_t i = 0; i < video.size(); ++i)
        video[i] = static_cast<char>((i * 7919u) >> 3);
    // All its volumes on the first disc.
    d.splitArchive("20260309001", "20260309001", "2026030900002rn",
                   {"/home/user/Documents/videos/garden party.mp4", video, "20260308201000"}, 0);
    d.deletedCatalog("20260310001", "2026031000001dd", {}, "20260310184210");
    const char* second = "20260310093000";
    d.archive("20260310001", "2026031000002rn",
              {{"/home/user/Documents/letters/march.odt", "letter, sent", second},
               {"/home/user/Documents/budget.ods", "sums", second}});
    shelve("20260309001");
    shelve("20260310001");
    m_view->setItems(Control::RestoreDrive, {root() + "/Torvinel Discs"}, 0);

    m_main->resize(MainWindow::designedWidth, MainWindow::designedHeight);
    m_main->pages()->setCurrentIndex(1);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));

    fillBackupSetChooser(*m_state, *m_view);
    auto* chooser = m_main->findChild<QComboBox*>("RestoreChooser");
    QCOMPARE(chooser->count(), 2);
    QVERIFY(chooser->itemText(0).endsWith("(20260310001)"));
    chooseBackupSet(*m_state, *m_view, *m_tree);
    QVERIFY(openFolder("/home/user/Documents").isValid());
    chooser->showPopup();
    grabScreen(m_main, "restore-chooser.png", chooser->view()->window());
    chooser->hidePopup();

    // The older set: the letter's first draft, no budget yet.
    m_view->setSelectedIndex(Control::BackupSetChooser, 1);
    chooseBackupSet(*m_state, *m_view, *m_tree);
    QVERIFY(m_treeView->isEnabled());
    const QModelIndex documents = openFolder("/home/user/Documents");
    QVERIFY(documents.isValid());
    QCOMPARE(m_model->rowCount(documents), 4); // letters, photos, videos, notes.txt
    QCOMPARE(m_model->index(0, 0, documents).data().toString(), QString("letters"));
    QCOMPARE(m_model->index(3, 0, documents).data().toString(), QString("notes.txt"));
    const QModelIndex letters = openFolder("/home/user/Documents/letters");
    QVERIFY(m_model->hasChildren(m_model->index(1, 0, documents)));                            // photos, not opened yet
    QVERIFY(m_model->setData(m_model->index(1, 0, letters), Qt::Checked, Qt::CheckStateRole)); // march.odt
    QVERIFY(m_model->setData(m_model->index(1, 0, documents), Qt::Checked, Qt::CheckStateRole)); // photos
    QVERIFY(m_model->setData(m_model->index(2, 0, documents), Qt::Checked, Qt::CheckStateRole)); // videos
    QVERIFY(m_model->setData(m_model->index(3, 0, documents), Qt::Checked, Qt::CheckStateRole)); // notes.txt
    QCOMPARE(letters.data(Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));
    QCOMPARE(documents.data(Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));
    m_treeView->setCurrentIndex(m_model->index(1, 0, letters));
    grabScreen(m_main, "restore-tree.png");

    // The progress window half-way, while the large file's name stands in it.
    bool grabbed = false;
    QString labels; // what the bar measures, and the times, as the window showed them
    m_view->onEvents = [&] {
        const int bar = m_view->position(Window::RestoreProgress, Control::ProgressBar);
        if (!grabbed && bar > 0 && bar < 1000
            && m_view->text(Window::RestoreProgress, Control::ProgressText).starts_with("File: ")) {
            grabbed = true;
            grabScreen(m_restore, "restore-progress-run.png");
            auto* figures = m_restore->findChild<QLabel*>("LProgressFigures");
            auto* time = m_restore->findChild<QLabel*>("LProgressTime");
            labels = (figures ? figures->text() : "<none>") + " | " + (time ? time->text() : "<none>");
        }
    };
    const RestoreResult result = runRestore(*m_state, *m_view, *m_tree);
    QVERIFY(!result.cancelled);
    QCOMPARE(m_view->opened, result.target);
    QVERIFY2(QRegularExpression("^Restored: \\d+% · [0-9.]+ [kMG]?B of [0-9.]+ [kMG]?B · \\d+ of \\d+ files \\| "
                                "\\d+:\\d\\d elapsed")
                 .match(labels)
                 .hasMatch(),
             qPrintable(labels));
    QCOMPARE(m_view->messages.size(), std::size_t(1));
    QVERIFY(m_view->messages[0].starts_with("The restored files are in " + result.target + "\nRestored "));
    QVERIFY(m_main->isVisible());
    QVERIFY(!m_restore->isVisible());
    const auto read = [&](const std::string& path) {
        std::ifstream in(result.target + "/r" + path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    QCOMPARE(read("/home/user/Documents/letters/march.odt"), std::string("letter, first draft"));
    QCOMPARE(read("/home/user/Documents/notes.txt"), std::string("notes"));
    QCOMPARE(read("/home/user/Documents/videos/garden party.mp4").size(), std::size_t(150000));
    QCOMPARE(read("/home/user/Documents/photos/garden.jpg"), std::string(100000, 'j'));
    QVERIFY(!fs::exists(result.target + "/r/home/user/Documents/letters/april.odt"));
    QVERIFY(grabbed);
}

QTEST_MAIN(TestRestoreGui)
#include "TestRestoreGui.moc"
