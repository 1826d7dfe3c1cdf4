// Drives the real windows offscreen. With TORVINEL_SCREENSHOTS=<folder> it also saves a
// picture of every page and both progress windows there (run it under Xvfb for real fonts).
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTextBlock>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>

#include <filesystem>
#include <fstream>

#include "app/Progress.h"
#include "app/RunState.h"
#include "ui/BackupSizes.h"
#include "ui/BackupTreeModel.h"
#include "ui/Program.h"
#include "ui/QtView.h"
#include "ui/MainWindow.h"
#include "ui/BackupProgressWindow.h"
#include "ui/RestoreProgressWindow.h"

using namespace torvinel;
using namespace torvinel::ui;

// Receives the addresses the desktop is asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class TestGui : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void mainWindowControls_data();
    void mainWindowControls();
    void speedLists();
    void pagesAndTabs();
    void statusBar();
    void windowSize();
    void advancedPageFitsAtEverySize();
    void aboutBox();
    void dropDownSelection();
    void progressWindows();
    void progressUpdatesReachTheWindows();
    void cancelButtons();
    void progressWindowCentredAndClosingShowsMain();
    void failedStartUpShowsTheErrorAndEnds();
    void screenshots();

private:
    template <typename T> T* find(QWidget* window, const char* name)
    {
        T* found = window->findChild<T*>(name);
        if (!found)
            qWarning("missing %s", name);
        return found;
    }

    RunState* m_state = nullptr;
    MainWindow* m_main = nullptr;
    QtView* m_view = nullptr;
    BackupProgressWindow* m_backup = nullptr;
    RestoreProgressWindow* m_restore = nullptr;
};

void TestGui::init()
{
    m_state = new RunState;
    m_main = new MainWindow;
    m_view = new QtView(*m_main);
    m_backup = new BackupProgressWindow(*m_state, *m_view, m_main);
    m_restore = new RestoreProgressWindow(*m_state, *m_view, m_main);
    m_view->attachProgressForms(m_backup, m_restore);
}

void TestGui::cleanup()
{
    delete m_backup;
    delete m_restore;
    delete m_view;
    delete m_main;
    delete m_state;
}

void TestGui::mainWindowControls_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text"); // caption, or the prompt of a drop-down list
    QTest::addColumn<QString>("hint");
    const struct {
        const char *page, *name, *kind, *text, *hint;
    } rows[] = {
        {"BackupPage", "BackupTree", "QTreeView", "", ""},
        {"BackupPage", "gbDeviceChooser", "QGroupBox", "Choose a backup drive", ""},
        {"BackupPage", "DeviceChooser", "QComboBox", "Finding Backup devices...", ""},
        {"BackupPage", "BackupButton", "QPushButton", "Backup", "Click here to start the backup"},
        {"BackupPage", "SelectionTotal", "QLabel", "", ""},
        {"RestorePage", "GBChooseRestore", "QGroupBox", "Choose a backup to restore from", ""},
        {"RestorePage", "RestoreChooser", "QComboBox", "Newest backup", ""},
        {"RestorePage", "RestoreTree", "QTreeView", "", ""},
        {"RestorePage", "gbRestoreTo", "QGroupBox", "Restore to", ""},
        {"RestorePage", "edRestoreTo", "QLineEdit", "", ""},
        {"RestorePage", "btnRestoreTo", "QPushButton", "Restore to\u2026", ""},
        {"RestorePage", "gbRestoreFrom", "QGroupBox", "Choose a CD/DVD drive to restore from", ""},
        {"RestorePage", "cbRestoreFrom", "QComboBox", "Choose a CD/DVD drive to restore from", ""},
        {"RestorePage", "RestoreButton", "QPushButton", "Restore", ""},
        {"AdvancedPage", "GBRemoveDisks", "QGroupBox", "Remove Disks",
         "Pick a disk and click 'remove' to remove it from the backup database"},
        {"AdvancedPage", "Disklist", "QComboBox", "Pick a disk to remove from the database and click 'Remove'.", ""},
        {"AdvancedPage", "RemoveButton", "QPushButton", "Remove", ""},
        {"AdvancedPage", "gbAddDisks", "QGroupBox", "Add Disks", ""},
        {"AdvancedPage", "cbAddDisks", "QComboBox", "Pick a CD/DVD drive and click 'Add'.", ""},
        {"AdvancedPage", "AddDisk", "QPushButton", "Add", ""},
        {"AdvancedPage", "VerifyDisk", "QPushButton", "Verify disc",
         "Read every file of the disc in this drive and check it against its checksums"},
        {"AdvancedPage", "cbAddAllDisks", "QCheckBox", "With the discs it lists",
         "Also add every earlier disc the disc's index lists: rebuilds a lost database from the newest disc alone"},
        {"AdvancedPage", "seRecoveryPercent", "QSpinBox", "",
         "Share of each disc kept for data that repairs damaged sectors; 0 turns it off."},
        {"AdvancedPage", "gbAdvancedOptions", "QGroupBox", "Advanced Options", ""},
        {"AdvancedPage", "cbDoMD5", "QCheckBox", "Check file contents before backup (Slow, but secure)", ""},
        {"AdvancedPage", "cbDoVerify", "QCheckBox", "Verify backup on disk after writing the disk.", ""},
        {"AdvancedPage", "gbDriveSpeeds", "QGroupBox", "Maximum disk writing speeds", ""},
        {"AdvancedPage", "cbMaxCDSpeed", "QComboBox", "", ""},
        {"AdvancedPage", "cbMaxDVDSpeed", "QComboBox", "", ""},
        {"AdvancedPage", "gbImageDrive", "QGroupBox", "Image drive (when there is no disc writer)", ""},
        {"AdvancedPage", "edImageFolder", "QLineEdit", "", ""},
        {"AdvancedPage", "btnImageFolder", "QPushButton", "Folder\u2026", ""},
        {"AdvancedPage", "cbImageMediaType", "QComboBox", "", ""},
        {"AboutPage", "Aboutbox", "QTextBrowser", "", ""},
    };
    for (const auto& r : rows)
        QTest::newRow(r.name) << r.page << r.name << r.kind << r.text << r.hint;
}

void TestGui::mainWindowControls()
{
    QFETCH(QString, page);
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, hint);

    QWidget* pageWidget = m_main->findChild<QWidget*>(page);
    QVERIFY(pageWidget);
    QWidget* control = pageWidget->findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(QString(control->metaObject()->className()), kind);
    QCOMPARE(control->toolTip(), hint);
    if (auto* group = qobject_cast<QGroupBox*>(control))
        QCOMPARE(group->title(), text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        QCOMPARE(button->text(), text);
    else if (auto* box = qobject_cast<QComboBox*>(control))
        QCOMPARE(box->placeholderText(), text);
    // The View reaches the control through the same widget.
    if (!text.isEmpty()) {
        for (int c = 0; c <= static_cast<int>(Control::BusyCancel); ++c)
            if (name == QtView::objectName(static_cast<Control>(c)))
                QCOMPARE(QString::fromStdString(m_view->text(Window::Main, static_cast<Control>(c))), text);
    }
}

void TestGui::speedLists()
{
    const std::vector<std::string> cd{"Maximum", "1X",  "2X",  "2.2X", "3X",  "4X",  "6X",  "8X", "10X",
                                      "12X",     "16X", "20X", "24X",  "40X", "44X", "48X", "52X"};
    const std::vector<std::string> dvd{"Maximum", "1X", "2X", "2.4X", "3X", "4X", "5X", "6X", "8X", "12X", "16X"};
    QVERIFY(m_view->items(Control::CdSpeed) == cd);
    QVERIFY(m_view->items(Control::DvdSpeed) == dvd);
    auto* cdLabel = find<QLabel>(m_main, "lblCDSpeed");
    auto* dvdLabel = find<QLabel>(m_main, "lblDVDSpeed");
    QVERIFY(cdLabel && dvdLabel);
    QCOMPARE(cdLabel->text(), QString("CD:"));
    QCOMPARE(cdLabel->buddy(), find<QWidget>(m_main, "cbMaxCDSpeed"));
    QCOMPARE(dvdLabel->text(), QString("DVD:"));
    QCOMPARE(dvdLabel->buddy(), find<QWidget>(m_main, "cbMaxDVDSpeed"));
    // Only the Backup page's button is the default one.
    QVERIFY(find<QPushButton>(m_main, "BackupButton")->isDefault());
}

void TestGui::pagesAndTabs()
{
    QCOMPARE(m_main->windowTitle(), QString("Torvinel"));
    QTabWidget* pages = m_main->pages();
    QCOMPARE(pages->count(), 4);
    const QStringList captions{"Backup", "Restore", "Advanced", "About"};
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(pages->tabText(i), captions[i]);
        QVERIFY2(!pages->tabIcon(i).isNull(), qPrintable(captions[i]));
        QCOMPARE(pages->tabBar()->tabRect(i).size(), QSize(100, 25));
    }
    QCOMPARE(pages->currentWidget()->objectName(), QString("AboutPage"));
}

void TestGui::statusBar()
{
    QStatusBar* bar = m_main->statusBar();
    QVERIFY(bar);
    QCOMPARE(m_main->statusPanel(0)->width(), 350);
    QCOMPARE(m_main->statusPanel(1)->width(), 50);
    m_view->setStatusText(1, "/home/u/a.txt");
    QCOMPARE(m_main->statusPanel(1)->text(), QString("/home/u/a.txt"));
    QCOMPARE(m_main->statusPanel(0)->text(), QString());
}

void TestGui::windowSize()
{
    QCOMPARE(m_main->size(), QSize(700, 440));
    QCOMPARE(m_main->minimumSize(), QSize(620, 440));
    m_view->setGeometry(Window::Main, {30, 40, 500, 300});
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
    const WindowGeometry g = m_view->geometry(Window::Main);
    QCOMPARE(g.width, 620);
    QCOMPARE(g.height, 440);
    m_view->setGeometry(Window::Main, {30, 40, 800, 500});
    QCOMPARE(m_view->geometry(Window::Main).width, 800);
    QCOMPARE(m_view->geometry(Window::Main).height, 500);
}

// The Advanced page holds the most controls: at the window's designed and its minimum size
// each one keeps the height it needs and lies inside the page.
void TestGui::advancedPageFitsAtEverySize()
{
    m_main->pages()->setCurrentIndex(2);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
    QWidget* page = find<QWidget>(m_main, "AdvancedPage");
    for (const QSize size : {QSize(MainWindow::designedWidth, MainWindow::designedHeight),
                             QSize(MainWindow::minimumWidth, MainWindow::minimumHeight)}) {
        m_main->resize(size);
        QTest::qWait(50);
        QCOMPARE(m_main->size(), size);
        for (QWidget* control : page->findChildren<QWidget*>()) {
            // The parts inside a drop-down list or a spin box are theirs to size.
            if (!control->isVisibleTo(page) || control->parentWidget()->inherits("QComboBox")
                || control->parentWidget()->inherits("QAbstractSpinBox"))
                continue;
            const QRect onPage(control->mapTo(page, QPoint(0, 0)), control->size());
            const QString where =
                QString("%1 at %2x%3").arg(control->objectName()).arg(size.width()).arg(size.height());
            QVERIFY2(page->rect().contains(onPage), qPrintable(where));
            const QSize needed = control->minimumSizeHint();
            QVERIFY2(control->height() >= needed.height() && control->width() >= needed.width(), qPrintable(where));
        }
    }
}

void TestGui::aboutBox()
{
    auto* about = find<QTextBrowser>(m_main, "Aboutbox");
    QVERIFY(about);
    QVERIFY(about->isReadOnly());
    QCOMPARE(about->toPlainText(),
             QString("\n\nTorvinel\nVersion 1.1\nFor more information visit:\nhttps://torvinel.org\n"));
    for (QTextBlock block = about->document()->begin(); block.isValid(); block = block.next())
        QCOMPARE(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    const QTextBlock linkBlock = about->document()->findBlockByNumber(5);
    const QTextCharFormat linkFormat = linkBlock.begin().fragment().charFormat();
    QVERIFY(linkFormat.isAnchor());
    QCOMPARE(linkFormat.anchorHref(), QString("https://torvinel.org"));
    QVERIFY(linkFormat.fontPointSize() > QApplication::font().pointSizeF());

    // A click on the address hands it to the desktop.
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    emit about->anchorClicked(QUrl("https://torvinel.org"));
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(catcher.opened, QList<QUrl>{QUrl("https://torvinel.org")});
}

void TestGui::dropDownSelection()
{
    m_view->setItems(Control::DiscList, {"20260101001", "20260102001"}, -1);
    QCOMPARE(m_view->selectedIndex(Control::DiscList), -1);
    QCOMPARE(m_view->text(Window::Main, Control::DiscList),
             std::string("Pick a disk to remove from the database and click 'Remove'."));
    m_view->setSelectedIndex(Control::DiscList, 1);
    QCOMPARE(m_view->text(Window::Main, Control::DiscList), std::string("20260102001"));
    // A stored position outside the list selects nothing.
    m_view->setSelectedIndex(Control::CdSpeed, 40);
    QCOMPARE(m_view->selectedIndex(Control::CdSpeed), -1);
    m_view->setChecked(Control::VerifyCheck, true);
    QVERIFY(m_view->isChecked(Control::VerifyCheck));
    QVERIFY(!m_view->isChecked(Control::Md5Check));
}

void TestGui::progressWindows()
{
    struct Expect {
        QDialog* window;
        QString caption;
        QStringList labels;
        QStringList bars;
        int messagePixels;
        QColor messageColour;
    };
    const Expect windows[] = {
        {m_backup,
         "Backup progress",
         {"HowManyDisks", "lMessage", "LPhase", "LExtra"},
         {"pbPhase", "pbExtra"},
         19,
         QColor(0x80, 0, 0)},
        {m_restore,
         "Restore Progress",
         {"lMessage", "LProgress"},
         {"pbProgress"},
         21,
         m_restore->palette().color(QPalette::WindowText)},
    };
    for (const Expect& e : windows) {
        QCOMPARE(e.window->windowTitle(), e.caption);
        QCOMPARE(e.window->minimumSize(), e.window->maximumSize());
        const Qt::WindowFlags flags = e.window->windowFlags();
        QVERIFY(flags & Qt::CustomizeWindowHint);
        QVERIFY(flags & Qt::WindowTitleHint);
        QVERIFY(!(flags & (Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)));
        auto* group = find<QGroupBox>(e.window, "gbProgressbars");
        QVERIFY(group);
        QCOMPARE(group->title(), QString("Progress"));
        for (const QString& name : e.labels) {
            auto* label = group->findChild<QLabel*>(name);
            QVERIFY2(label, qPrintable(name));
            QCOMPARE(label->text(), QString());
        }
        for (const QString& name : e.bars) {
            auto* bar = group->findChild<QProgressBar*>(name);
            QVERIFY2(bar, qPrintable(name));
            QCOMPARE(bar->minimum(), 0);
            QCOMPARE(bar->maximum(), 1000);
            QCOMPARE(bar->value(), 0);
        }
        auto* message = group->findChild<QLabel*>("lMessage");
        QCOMPARE(message->font().pixelSize(), e.messagePixels);
        QCOMPARE(message->palette().color(QPalette::WindowText), e.messageColour);
        QVERIFY(message->alignment() & Qt::AlignHCenter);
        auto* cancel = find<QPushButton>(e.window, "bCancel");
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), QString("Cancel"));
    }
}

void TestGui::progressUpdatesReachTheWindows()
{
    showBackupProgress(*m_view,
                       {.caption = "Phase 3",
                        .phase = "File: /a",
                        .extra = "x",
                        .message = "Warning",
                        .phaseBar = 5000,
                        .extraBar = 250});
    QCOMPARE(find<QGroupBox>(m_backup, "gbProgressbars")->title(), QString("Phase 3"));
    QCOMPARE(find<QLabel>(m_backup, "LPhase")->text(), QString("File: /a"));
    QCOMPARE(find<QLabel>(m_backup, "lMessage")->text(), QString("Warning"));
    QCOMPARE(find<QProgressBar>(m_backup, "pbPhase")->value(), 1000);
    QCOMPARE(find<QProgressBar>(m_backup, "pbExtra")->value(), 250);
    // Even the view on its own shows a full bar above the range.
    m_view->setPosition(Window::RestoreProgress, Control::ProgressBar, 1234);
    QCOMPARE(find<QProgressBar>(m_restore, "pbProgress")->value(), 1000);
    showRestoreProgress(*m_view, {.caption = "Phase 2 of 2", .progress = "File: /b", .message = "", .bar = 10});
    QCOMPARE(find<QLabel>(m_restore, "LProgress")->text(), QString("File: /b"));
    QCOMPARE(m_view->position(Window::RestoreProgress, Control::ProgressBar), 10);
}

void TestGui::cancelButtons()
{
    m_backup->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_backup));
    QVERIFY(!m_state->CancelRequested);
    QTest::mouseClick(find<QPushButton>(m_backup, "bCancel"), Qt::LeftButton);
    QVERIFY(m_state->CancelRequested);
    QCOMPARE(find<QLabel>(m_backup, "lMessage")->text(), QString("Cancelling..."));
    m_backup->hide();

    m_state->CancelRequested = false;
    m_restore->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_restore));
    QTest::mouseClick(find<QPushButton>(m_restore, "bCancel"), Qt::LeftButton);
    QVERIFY(m_state->CancelRequested);
    QCOMPARE(find<QLabel>(m_restore, "lMessage")->text(), QString());
}

void TestGui::progressWindowCentredAndClosingShowsMain()
{
    m_view->showWindow(Window::BackupProgress);
    QVERIFY(QTest::qWaitForWindowExposed(m_backup));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(m_backup->pos(),
             QPoint((screen.width() - m_backup->width()) / 2, (screen.height() - m_backup->height()) / 2));

    // While a run needs the window, the user cannot close it.
    m_backup->setRunning(true);
    QTest::keyClick(m_backup, Qt::Key_Escape);
    QVERIFY(m_backup->isVisible());
    QVERIFY(find<QPushButton>(m_backup, "bCancel")->isEnabled());
    m_backup->setRunning(false);
    QVERIFY(!find<QPushButton>(m_backup, "bCancel")->isEnabled()); // the run has ended
    if (const QString folder = qEnvironmentVariable("TORVINEL_SCREENSHOTS"); !folder.isEmpty())
        m_backup->grab().save(folder + "/backup-progress-ended.png");

    QVERIFY(!m_main->isVisible());
    QVERIFY(m_backup->close());
    QVERIFY(!m_backup->isVisible());
    QVERIFY(m_main->isVisible());
}

void TestGui::failedStartUpShowsTheErrorAndEnds()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    const QString appFolder = home.path() + "/data/Torvinel";
    QVERIFY(QDir().mkpath(appFolder));
    const QString missing = home.path() + "/no such folder";
    QFile ini(appFolder + "/Torvinel.ini");
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(("[Paths]\r\nTempBase=" + missing + "\r\n").toUtf8());
    ini.close();

    // Answer the error box when it comes, noting what the screen shows at that moment.
    QString title, text;
    bool mainWindowShown = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        text = box->text();
        for (QWidget* w : QApplication::topLevelWidgets())
            mainWindowShown = mainWindowShown || (qobject_cast<MainWindow*>(w) && w->isVisible());
        box->accept();
    });
    poll.start(10);

    const int exitCode = runTorvinel();
    poll.stop();
    qputenv("HOME", oldHome);
    qputenv("XDG_DATA_HOME", oldData);

    QCOMPARE(exitCode, 1);
    QCOMPARE(title, QString("Torvinel"));
    QCOMPARE(text, "Could not create " + missing + "/torvineltemp.");
    QVERIFY(!mainWindowShown);
}

void TestGui::screenshots()
{
    const QString folder = qEnvironmentVariable("TORVINEL_SCREENSHOTS");
    if (folder.isEmpty())
        QSKIP("set TORVINEL_SCREENSHOTS to a folder to save screenshots");
    m_view->setItems(Control::CdSpeed,
                     {"Maximum", "1X", "2X", "2.2X", "3X", "4X", "6X", "8X", "10X", "12X", "16X", "20X", "24X", "40X",
                      "44X", "48X", "52X"},
                     12);
    m_view->setSelectedIndex(Control::DvdSpeed, 8);

    // The Backup page over a home folder of the test's own, with sizes and the total counted.
    QTemporaryDir home(QDir::tempPath() + "/home-XXXXXX");
    QVERIFY(home.isValid());
    const std::filesystem::path user = std::filesystem::path(home.path().toStdString()) / "ada";
    const struct {
        const char* path;
        std::uintmax_t bytes; // sparse: sizes count, the disk is not filled
    } files[] = {{"Documents/Letters/2025-11 landlord.odt", 48213},
                 {"Documents/Letters/2026-01 bank.pdf", 183240},
                 {"Documents/Taxes/2025 return.pdf", 1288490},
                 {"Documents/Old drafts/notes.txt", 9120},
                 {"Documents/budget.ods", 73400},
                 {"Documents/CV.pdf", 412087},
                 {"Documents/recipes.txt", 5612},
                 {"Music/Album/01 Overture.flac", 31457280},
                 {"Pictures/2025 Lisbon/IMG_0412.jpg", 4718592},
                 {"Pictures/2025 Lisbon/IMG_0413.jpg", 5033164},
                 {"Pictures/Family/scan 1978.tif", 62914560},
                 {"Videos/Wedding.mp4", 5368709120}};
    for (const auto& f : files) {
        const std::filesystem::path file = user / f.path;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file).close();
        std::filesystem::resize_file(file, f.bytes);
    }
    BackupTreeModel model(user.string(), {});
    auto* tree = m_main->findChild<QTreeView*>("BackupTree");
    model.attachView(tree);
    m_view->setItems(Control::WriterChooser, {"/dev/sr0 DVD RW AD-7290H"}, 0);
    BackupSizes sizes(model, *tree, *m_main->findChild<QLabel*>("SelectionTotal"),
                      {.excluded = {}, .media = [] { return mediaForDisc(DISC_TYPE_DVDPLUSR); }, .visiting = {}});
    model.setCheckState(model.browseTo((user / "Documents").string()), CheckState::Checked);
    model.setCheckState(model.browseTo((user / "Pictures").string()), CheckState::Checked);
    model.setCheckState(model.browseTo((user / "Videos").string()), CheckState::Checked);
    model.setCheckState(model.browseTo((user / "Documents/Old drafts").string()), CheckState::Unchecked);
    tree->expand(model.indexOf(model.browseTo((user / "Documents").string())));
    const QModelIndex videosSize =
        model.indexOf(model.browseTo((user / "Videos").string()), BackupTreeModel::SizeColumn);
    tree->setCurrentIndex({}); // browsing made the last folder current
    QTRY_VERIFY(m_main->findChild<QLabel*>("SelectionTotal")->text().startsWith("Selected: 10 files"));
    QTRY_VERIFY(!videosSize.data().toString().isEmpty());

    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
    const char* pages[] = {"main-backup.png", "main-restore.png", "main-advanced.png", "main-about.png"};
    for (int i = 0; i < 4; ++i) {
        m_main->pages()->setCurrentIndex(i);
        QTest::qWait(100);
        QVERIFY(m_main->grab().save(folder + "/" + pages[i]));
    }
    // backup-progress.png is pictured during a real run (gui_backup_tests).
    showRestoreProgress(*m_view,
                        {.caption = "Phase 2 of 2: Restore files",
                         .progress = "File: /home/user/Documents/letters/march.odt",
                         .message = "Please insert disc 20260310001",
                         .bar = 350,
                         .figures = "Restored: 35% · 1.40 GB of 4.00 GB · 1210 of 3456 files",
                         .time = "2:05 elapsed · 11.2 MB/s · about 3:52 left"});
    m_restore->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_restore));
    QTest::qWait(100);
    QVERIFY(m_restore->grab().save(folder + "/restore-progress.png"));
}

QTEST_MAIN(TestGui)
#include "TestGui.moc"
