// The whole program started offscreen on a prepared application folder, then closed: what it
// reads at start-up and what it writes at close, also when the user quits during a run. With
// TORVINEL_SCREENSHOTS=<folder> it also saves the Backup page of a first start and the
// window of new items.
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QtTest/qtestspontaneevent.h>

#include "platform/Platform.h"
#include "support/QtFiles.h"
#include "support/QtWaits.h"
#include "ui/BackupProgressWindow.h"
#include "ui/Program.h"
#include "ui/MainWindow.h"
#include "ui/NewItemsWindow.h"

using namespace torvinel::ui;

class TestStartClose : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstStartTicksDocumentsAndCloseWritesEverything();
    void vanishedPathIsReportedOnceAndDropped();
    void backupWithNothingTickedAsksAndNoStartsNoRun();
    void restoreToShowsTheRestoresFolderUntilAnotherIsChosen();
    void imageDriveIsSetOnTheAdvancedPage();
    void aRunKeepsItsWindowAndQuittingWaitsForItsEnd();
    void aSecondProgramSaysSoAndChangesNothing();
    void newItemsAreOfferedInOneWindow();
    void newItemsWindowAddsOnlyWhatIsTickedAndAdded();
    void removingADiscAsksWithNoAsTheDefault();

private:
    QString write(const QString& relative, const QByteArray& bytes);
    QByteArray read(const QString& relative) const;
    // Runs the program until onShown has looked at the main window, answering every message
    // box with its default button (the texts of the boxes are collected) and the window of new
    // items with m_onNewItems, else with "Not now".
    int run(const std::function<void(MainWindow&)>& onShown);

    std::unique_ptr<QTemporaryDir> m_home;
    QStringList m_boxes;
    std::function<void(NewItemsWindow&)> m_onNewItems;
    QByteArray m_oldHome, m_oldData, m_oldConfig;
};

void TestStartClose::init()
{
    // Not in the shared temporary folder: the home's ancestors are in the backup tree, and an
    // entry another program makes there between two starts would be asked about.
    m_home = std::make_unique<QTemporaryDir>(QDir::currentPath() + "/home-XXXXXX");
    QVERIFY(m_home->isValid());
    m_oldHome = qgetenv("HOME");
    m_oldData = qgetenv("XDG_DATA_HOME");
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", m_home->path().toUtf8());
    qputenv("XDG_DATA_HOME", (m_home->path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home->path() + "/config").toUtf8());
    m_boxes.clear();
    m_onNewItems = nullptr;
}

void TestStartClose::cleanup()
{
    qputenv("HOME", m_oldHome);
    qputenv("XDG_DATA_HOME", m_oldData);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    m_home.reset();
}

QString TestStartClose::write(const QString& relative, const QByteArray& bytes)
{
    return torvinel::test::writeBelow(m_home->path(), relative, bytes);
}

QByteArray TestStartClose::read(const QString& relative) const
{
    return torvinel::test::readBelow(m_home->path(), relative);
}

int TestStartClose::run(const std::function<void(MainWindow&)>& onShown)
{
    bool looked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            m_boxes << box->text();
            if (QPushButton* button = box->defaultButton())
                button->click();
            else
                box->accept();
            return;
        }
        if (auto* newItems = dynamic_cast<NewItemsWindow*>(QApplication::activeModalWidget())) {
            if (m_onNewItems)
                m_onNewItems(*newItems);
            else
                newItems->notNowButton()->click();
            return;
        }
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* main = qobject_cast<MainWindow*>(w);
            if (main && main->isVisible() && !looked) {
                looked = true;
                onShown(*main);
                main->close();
            }
        }
    });
    poll.start(20);
    const int exitCode = runTorvinel();
    poll.stop();
    return exitCode;
}

void TestStartClose::firstStartTicksDocumentsAndCloseWritesEverything()
{
    const QString documents = m_home->path() + "/Documents";
    write("Documents/letter.txt", "dear");
    QString current;
    Qt::CheckState documentsState = Qt::Unchecked;
    const int exitCode = run([&](MainWindow& main) {
        auto* tree = main.findChild<QTreeView*>("BackupTree");
        current = tree->currentIndex().data(Qt::DisplayRole).toString();
        documentsState = tree->currentIndex().data(Qt::CheckStateRole).value<Qt::CheckState>();
        const QString folder = qEnvironmentVariable("TORVINEL_SCREENSHOTS");
        if (!folder.isEmpty()) {
            main.pages()->setCurrentIndex(0);
            QTest::qWait(150);
            main.grab().save(folder + "/first-start.png");
        }
    });
    QCOMPARE(exitCode, 0);
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
    // The documents folder is in view, selected and ticked: the default selection.
    QCOMPARE(current, QString("Documents"));
    QCOMPARE(documentsState, Qt::Checked);
    // Close wrote the settings and the selection.
    const QByteArray ini = read("data/Torvinel/Torvinel.ini");
    for (const char* key : {"Top=", "Left=", "Width=620", "Height=440", "NewestDisc=", "OldestCSV=", "DoMD5=0",
                            "DoVerify=0", "MaxCDSpeed=12", "MaxDVDSpeed=8", "RestoreBase=", "TempBase="})
        QVERIFY2(ini.contains(key), key);
    QCOMPARE(read("data/Torvinel/FQList.txt"), (documents + "\r\n").toUtf8());
    QVERIFY(!read("data/Torvinel/FQUList.txt").contains("Documents\r\n"));
}

void TestStartClose::restoreToShowsTheRestoresFolderUntilAnotherIsChosen()
{
    const QString restores = m_home->path() + "/Documents/Torvinel Restores";
    const QString elsewhere = m_home->path() + "/elsewhere";
    QStringList shown;
    QStringList asked;
    QCOMPARE(run([&](MainWindow& main) {
                 auto* folder = main.findChild<QLineEdit*>("edRestoreTo");
                 shown << folder->text();
                 QString answer; // the chooser cancelled first, then a folder picked
                 main.chooseFolder = [&](const QString& current) {
                     asked << current;
                     return answer;
                 };
                 auto* button = main.findChild<QPushButton*>("btnRestoreTo");
                 button->click();
                 shown << folder->text();
                 answer = elsewhere + "/";
                 button->click();
                 shown << folder->text();
                 const QString screenshots = qEnvironmentVariable("TORVINEL_SCREENSHOTS");
                 if (!screenshots.isEmpty()) {
                     main.pages()->setCurrentIndex(1);
                     QTest::qWait(150);
                     main.grab().save(screenshots + "/main-restore-to.png");
                 }
             }),
             0);
    QCOMPARE(shown, (QStringList{restores, restores, elsewhere}));
    QCOMPARE(asked, (QStringList{restores, restores}));
}

void TestStartClose::imageDriveIsSetOnTheAdvancedPage()
{
    const QString shelf = m_home->path() + "/my discs";
    QString shownBefore;
    QString shownAfter;
    QCOMPARE(run([&](MainWindow& main) {
                 auto* folder = main.findChild<QLineEdit*>("edImageFolder");
                 auto* type = main.findChild<QComboBox*>("cbImageMediaType");
                 shownBefore = folder->text() + " | " + type->currentText();
                 main.chooseFolder = [&](const QString&) { return shelf; };
                 main.findChild<QPushButton*>("btnImageFolder")->click();
                 // A pick of the user's (activated), not a fill by the program.
                 type->setCurrentIndex(type->findText("CD-R"));
                 emit type->activated(type->currentIndex());
                 shownAfter = folder->text() + " | " + type->currentText() + " | "
                     + main.findChild<QComboBox*>("cbAddDisks")->currentText();
                 const QString screenshots = qEnvironmentVariable("TORVINEL_SCREENSHOTS");
                 if (!screenshots.isEmpty()) {
                     main.pages()->setCurrentIndex(2);
                     QTest::qWait(150);
                     main.grab().save(screenshots + "/advanced-image-drive.png");
                 }
             }),
             0);
    QCOMPARE(shownBefore, m_home->path() + "/Torvinel Discs | DVD+R");
    QCOMPARE(shownAfter, shelf + " | CD-R" + " | " + shelf);
    const QByteArray ini = read("data/Torvinel/Torvinel.ini");
    QVERIFY2(ini.contains(("Folder=" + shelf + "\r\n").toUtf8()), ini.constData());
    QVERIFY2(ini.contains("MediaType=CD-R\r\nBlocks=359849\r\n"), ini.constData());
}

void TestStartClose::vanishedPathIsReportedOnceAndDropped()
{
    const QString kept = QFileInfo(write("papers/a.txt", "a")).path();
    const QString gone = m_home->path() + "/gone.txt";
    write("data/Torvinel/FQList.txt", (kept + "\r\n" + gone + "\r\n").toUtf8());
    write("data/Torvinel/Torvinel.ini", "[Form]\r\nWidth=800\r\nHeight=500\r\n");
    QCOMPARE(run([](MainWindow&) {}), 0);
    QCOMPARE(m_boxes,
             QStringList{"The following file or folder could not be found and will be removed from the "
                         "backup set:\n"
                         + gone});
    QVERIFY(read("data/Torvinel/LogFile.txt").contains(("Could not add to Backuptree: " + gone + "\r\n").toUtf8()));
    QCOMPARE(read("data/Torvinel/FQList.txt"), (kept + "\r\n").toUtf8());
    const QByteArray ini = read("data/Torvinel/Torvinel.ini");
    QVERIFY(ini.contains("Width=800") && ini.contains("Height=500"));

    // Started again, the path is not asked about any more.
    m_boxes.clear();
    QCOMPARE(run([](MainWindow&) {}), 0);
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
}

// Backup with nothing ticked asks first, since the run would record every earlier file as
// deleted; No starts no run at all.
void TestStartClose::backupWithNothingTickedAsksAndNoStartsNoRun()
{
    write("Documents/letter.txt", "dear");
    write("data/Torvinel/FQList.txt", ""); // not a first start: nothing ticked
    QStringList asked;
    QCOMPARE(run([&](MainWindow& main) {
                 // The poll that called us does not run again meanwhile: this one answers.
                 QTimer answer;
                 QObject::connect(&answer, &QTimer::timeout, [&] {
                     if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                         asked << box->text();
                         box->button(QMessageBox::No)->click();
                     }
                 });
                 answer.start(20);
                 main.backupClicked();
             }),
             0);
    QCOMPARE(asked,
             QStringList{"Nothing is selected for backup. Every file backed up before will be recorded as "
                         "deleted. Do you want to continue?"});
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
    QVERIFY(!QFile::exists(m_home->path() + "/data/Torvinel/NewList.txt")); // phase 3 never ran
}

namespace {

} // namespace

void TestStartClose::aRunKeepsItsWindowAndQuittingWaitsForItsEnd()
{
    write("Documents/letter.txt", "dear");
    QStringList boxes;
    int questions = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        boxes << box->text();
        // The question is answered No first, Yes the second time.
        if (box->text().startsWith("A backup is running"))
            box->button(++questions == 1 ? QMessageBox::No : QMessageBox::Yes)->click();
        else
            box->defaultButton() ? box->defaultButton()->click() : box->accept();
    });
    answer.start(20);

    MainWindow* main = nullptr;
    bool checked = false;
    const auto duringTheRun = [&](QWidget& progress) {
        QTest::keyClick(&progress, Qt::Key_Escape);
        QCloseEvent byTheWindowManager;
        QSpontaneKeyEvent::setSpontaneous(&byTheWindowManager);
        QApplication::sendEvent(&progress, &byTheWindowManager);
        QVERIFY(progress.isVisible() && !main->isVisible());

        // A second backup would run to its end here and hide the window.
        main->backupClicked();
        QVERIFY(progress.isVisible());
        QCOMPARE(boxes, QStringList());

        QVERIFY(!main->close());  // answered No: the run goes on
        QCoreApplication::quit(); // answered Yes: the run is cancelled, the program waits for it
        QCOMPARE(boxes.size(), 2);
        QVERIFY(progress.isVisible() && !main->isVisible());
        QCOMPARE(progress.findChild<QLabel*>("lMessage")->text(), QString("Cancelling..."));
        QVERIFY(!QFile::exists(m_home->path() + "/data/Torvinel/FQList.txt")); // no shut-down yet
        checked = true;
    };
    // From the run's own event processing, once the progress window is up.
    const torvinel::test::OnFirstShow<BackupProgressWindow> afterProgressShown([&](BackupProgressWindow& progress) {
        QTimer::singleShot(0, &progress, [&progress, &duringTheRun] { duringTheRun(progress); });
    });
    QTimer start;
    start.setSingleShot(true);
    QObject::connect(&start, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* candidate = qobject_cast<MainWindow*>(w); candidate && candidate->isVisible())
                main = candidate;
        if (!main)
            return start.start(20);
        main->backupClicked();
    });
    start.start(20);

    QCOMPARE(runTorvinel(), 0);
    answer.stop();
    QVERIFY(checked);
    const QString question = "A backup is running. Do you want to cancel it?";
    QCOMPARE(boxes.mid(0, 2), (QStringList{question, question}));
    QVERIFY2(boxes.size() == 3 && boxes[2].startsWith("The backup was cancelled."), qPrintable(boxes.join("\n")));
    QVERIFY(QFile::exists(m_home->path() + "/data/Torvinel/FQList.txt")); // shut down after the run
}

void TestStartClose::aSecondProgramSaysSoAndChangesNothing()
{
    write("data/Torvinel/LogFile.txt", "the first one's log\r\n");
    write("data/Torvinel/Torvinel.ini", "[Form]\r\nWidth=800\r\n");
    const torvinel::platform::ProcessLock first(m_home->path().toStdString() + "/data/Torvinel/Torvinel.lock");
    QVERIFY(first.outcome() == torvinel::platform::ProcessLock::Outcome::Held);
    bool shown = false;
    QCOMPARE(run([&](MainWindow&) { shown = true; }), 1);
    QVERIFY(!shown);
    QCOMPARE(m_boxes,
             QStringList{QString("Torvinel is already running (process %1).").arg(QCoreApplication::applicationPid())});
    QCOMPARE(read("data/Torvinel/LogFile.txt"), QByteArray("the first one's log\r\n"));
    QCOMPARE(read("data/Torvinel/Torvinel.ini"), QByteArray("[Form]\r\nWidth=800\r\n"));
}

namespace {

QStringList itemsOf(const QListWidget& list)
{
    QStringList texts;
    for (int row = 0; row < list.count(); ++row)
        texts << list.item(row)->text();
    return texts;
}

QStringList lines(const QByteArray& file)
{
    QStringList all = QString::fromUtf8(file).split("\r\n");
    all.removeAll("");
    return all;
}

} // namespace

// A second start offers the new items of the home in one window, unticked, beside what is
// ticked; the image drive's shelf is never among them. The one ticked and added is backed up
// from then on, the others are saved unticked and not offered again.
void TestStartClose::newItemsAreOfferedInOneWindow()
{
    write("Documents/letter.txt", "dear");
    QCOMPARE(run([](MainWindow&) {}), 0); // the first start ticks Documents and asks nothing
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
    const QString home = m_home->path();
    const QString shelf = home + "/Torvinel Discs";
    QDir().mkpath(shelf);
    write("music/song.ogg", "la");
    write("papers/tax.pdf", "%");
    QVERIFY(!lines(read("data/Torvinel/FQUList.txt")).contains(shelf));

    QStringList offered, reference;
    bool allUnticked = true;
    m_onNewItems = [&](NewItemsWindow& window) {
        offered = itemsOf(*window.newItems());
        reference = itemsOf(*window.findChild<QListWidget*>("TickedList"));
        for (int row = 0; row < window.newItems()->count(); ++row)
            allUnticked = allUnticked && window.newItems()->item(row)->checkState() == Qt::Unchecked;
        window.newItems()->item(static_cast<int>(offered.indexOf(home + "/music")))->setCheckState(Qt::Checked);
        window.addButton()->click();
    };
    QCOMPARE(run([](MainWindow&) {}), 0);
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
    QCOMPARE(offered, (QStringList{home + "/music", home + "/papers"}));
    QVERIFY(allUnticked);
    QCOMPARE(reference, QStringList{home + "/Documents"});
    QCOMPARE(lines(read("data/Torvinel/FQList.txt")), (QStringList{home + "/Documents", home + "/music"}));
    const QStringList unticked = lines(read("data/Torvinel/FQUList.txt"));
    QVERIFY2(unticked.contains(home + "/papers") && unticked.contains(shelf), qPrintable(unticked.join("\n")));

    offered.clear();
    QCOMPARE(run([](MainWindow&) {}), 0);
    QCOMPARE(offered, QStringList()); // the window did not come again
}

// Driven on its own: only "Add ticked" gives the ticked items; "Not now" and closing the
// window give none, whatever is ticked.
void TestStartClose::newItemsWindowAddsOnlyWhatIsTickedAndAdded()
{
    const std::vector<std::string> items{"/home/anna/Music", "/home/anna/Pictures/2024", "/home/anna/Projects",
                                         "/home/anna/notes.txt", "/srv/photos"};
    const std::vector<std::string> ticked{"/home/anna/Documents", "/home/anna/Pictures/2023", "/etc/fstab"};
    const struct {
        const char* answer;
        std::vector<std::string> added;
    } cases[] = {{"add", {"/home/anna/Pictures/2024"}}, {"not now", {}}, {"close", {}}};
    for (const auto& c : cases) {
        NewItemsWindow window(items, ticked);
        QVERIFY(window.addButton()->isDefault());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.newItems()->item(1)->setCheckState(Qt::Checked);
        QCOMPARE(window.tickedItems(), std::vector<std::string>{"/home/anna/Pictures/2024"});
        const QString screenshots = qEnvironmentVariable("TORVINEL_SCREENSHOTS");
        if (!screenshots.isEmpty() && std::string(c.answer) == "add") {
            QTest::qWait(150);
            QVERIFY(window.grab().save(screenshots + "/new-items.png"));
        }
        if (std::string(c.answer) == "add")
            window.addButton()->click();
        else if (std::string(c.answer) == "not now")
            window.notNowButton()->click();
        else
            QTest::keyClick(&window, Qt::Key_Escape);
        const bool accepted = window.result() == QDialog::Accepted;
        QCOMPARE(accepted ? window.tickedItems() : std::vector<std::string>(), c.added);
    }
}

// Remove names the disc and what the database loses, with No as the default: No keeps the
// disc, Yes removes it.
void TestStartClose::removingADiscAsksWithNoAsTheDefault()
{
    write("data/Torvinel/Database/20240301001/2024030100001rn.csv", "\"/a\",20240301100000,5,\r\n");
    write("data/Torvinel/Database/20240302001/2024030200001rn.csv",
          "\"/a\",20240301100000,5,\r\n\"/b\",20240302100000,5,\r\n\"/c\",20240302100000,5,\r\n");
    QStringList asked;
    QStringList defaults;
    QCOMPARE(run([&](MainWindow& main) {
                 QTimer answer;
                 QObject::connect(&answer, &QTimer::timeout, [&] {
                     auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                     if (!box)
                         return;
                     asked << box->text();
                     defaults << box->defaultButton()->text();
                     box->button(asked.size() == 1 ? QMessageBox::No : QMessageBox::Yes)->click();
                 });
                 answer.start(20);
                 auto* discs = main.findChild<QComboBox*>("Disklist");
                 discs->setCurrentIndex(discs->findText("20240302001 (Newest)"));
                 main.removeClicked();
                 main.removeClicked();
             }),
             0);
    const QString question = "Remove disc 20240302001 from the database? 2 files have their newest copy only on "
                             "this disc; they could no longer be restored.";
    QCOMPARE(asked, (QStringList{question, question}));
    QCOMPARE(defaults, (QStringList{"&No", "&No"}));
    QVERIFY(!QFile::exists(m_home->path() + "/data/Torvinel/Database/20240302001"));
    QVERIFY(QFile::exists(m_home->path() + "/data/Torvinel/Database/20240301001"));
}

QTEST_MAIN(TestStartClose)
#include "TestStartClose.moc"
