// A backup through the real windows, offscreen: folders ticked in BackupTree, the Backup
// button clicked, the run on the image drive with a small CD-R, the message boxes answered
// as a user would. With TORVINEL_SCREENSHOTS=<folder> it saves the ticked tree and the
// progress window in the middle of the run (run it under Xvfb for real fonts).
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/RunState.h"
#include "backup/BackupRun.h"
#include "backup/BackupSetup.h"
#include "discwriter/DriveFinder.h"
#include "discwriter/BurnSession.h"
#include "discwright/Discwright.h"
#include "ui/BackupTreeModel.h"
#include "ui/QtView.h"
#include "ui/MainWindow.h"
#include "ui/BackupProgressWindow.h"

using namespace torvinel;
using namespace torvinel::ui;

namespace fs = std::filesystem;

class BackupGuiTest : public QObject {
    Q_OBJECT
private slots:
    void tickFoldersAndRunABackupOnTheImageDrive();
};

namespace {

void writeFile(const fs::path& path, std::size_t size, char fill)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    std::string bytes(size, fill);
    uint32_t x = static_cast<uint32_t>(size);
    for (std::size_t i = 0; i < size; i += 7) { // half-compressible: deflate has some work
        x = x * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(x >> 24);
    }
    out << bytes;
}

void saveShot(QWidget* widget, const char* name)
{
    const QByteArray folder = qgetenv("TORVINEL_SCREENSHOTS");
    if (!folder.isEmpty())
        widget->grab().save(QString::fromLocal8Bit(folder) + "/" + name);
}

} // namespace

void BackupGuiTest::tickFoldersAndRunABackupOnTheImageDrive()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const fs::path root = dir.path().toStdString();
    const fs::path files = root / "Files";
    writeFile(files / "Documents/letter.txt", 4000, 'l');
    writeFile(files / "Documents/Taxes/2025.txt", 9000, 't');
    writeFile(files / "Pictures/holiday.png", 12 << 20, 'p');
    writeFile(files / "Music/song.ogg", 3000, 'm');

    RunState state;
    state.AppFolder = (root / "app").string();
    state.DatabaseFolder = state.AppFolder + "/Database";
    state.TempFolder = state.AppFolder + "/torvineltemp";
    fs::create_directories(state.DatabaseFolder);
    fs::create_directories(state.TempFolder);
    state.log.open(state.appFile("LogFile.txt"));

    MainWindow main;
    QtView view(main);
    BackupProgressWindow progress(state, view, &main);
    view.attachProgressForms(&progress, nullptr);
    view.setChecked(Control::Md5Check, false);
    view.setChecked(Control::VerifyCheck, false);

    // The tree, over the test's own files.
    BackupTreeModel model(files.string(), {});
    auto* tree = main.findChild<QTreeView*>("BackupTree");
    QVERIFY(tree);
    model.attachView(tree);
    view.attachBackupTree(model);

    // The disc library with the image drive alone: CD-R discs of 20 MiB of room.
    const DiscwrightStartUpBlock block{};
    const auto started = Discwright_StartUpEx(&block, sizeof block);
    QVERIFY(started == 0 || started == 3);
    ImageDriveSettings image;
    image.folder = (root / "discs").string();
    image.mediaType = "CD-R";
    image.blocks = 15360;
    Discwright_ConfigureImageDrive(image);
    Discwright_UseTestDrives({});
    Discwright_SetSearch(false, true);
    LibraryTrace logger(false, 0);
    DriveFinder finder(logger);
    finder.RefreshDevices(view, false);
    QCOMPARE(finder.DeviceList().size(), std::size_t(1));
    view.setItems(Control::WriterChooser, {finder.DeviceList()[0].DriveLetter + " " + finder.DeviceList()[0].Product},
                  0);

    ZipArchive ZF;
    configureArchiveEngine(ZF, state);
    platform::ArchiveAttribute bits(state.AppFolder);
    BackupContext context{state,
                          view,
                          ZF,
                          bits,
                          [&](const std::string& name, int64_t& free) {
                              BurnOptions options;
                              options.pollInterval = std::chrono::milliseconds(0);
                              return burnDisc(state, view, finder.DeviceList(), name, free, options);
                          },
                          {},
                          {image.folder}};
    // The run's clock goes a thousand times faster than the wall's, so that a run of a second
    // shows its rate and time left as a long one does.
    const auto wallStart = std::chrono::steady_clock::now();
    context.workClock = [wallStart] { return wallStart + (std::chrono::steady_clock::now() - wallStart) * 1000; };
    main.setBackupHandler([&] { runBackup(context); });

    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.pages()->setCurrentIndex(0);

    // Tick two folders as a click on their check boxes does.
    const QModelIndex top = model.index(0, 0);
    tree->expand(top);
    for (const char* folder : {"Documents", "Pictures"}) {
        const QModelIndex index = model.indexOf(model.browseTo((files / folder).string()));
        QVERIFY(index.isValid());
        QVERIFY(model.setData(index, Qt::Checked, Qt::CheckStateRole));
    }
    tree->expand(model.indexOf(model.browseTo((files / "Documents").string())));
    QCOMPARE(model.data(top, Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));
    saveShot(&main, "backup-run-tree.png");

    // Message boxes are answered as they come. The progress window's labels are read while the
    // box that asks to label the written disc stands before it; the window is pictured when
    // phase 6 begins and while the disc is written, when the answerer's ticks meet those moments.
    QStringList messages;
    QString labels; // figures | time, read at the labelling box
    bool packPictured = false;
    bool burnPictured = false;
    const auto label = [&](const char* name) {
        auto* found = progress.findChild<QLabel*>(name);
        return found ? found->text() : QString("<no %1>").arg(name);
    };
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (box->text().startsWith("Please remove the disk"))
                labels = label("LPhaseFigures") + " | " + label("LPhaseTime");
            messages << box->text();
            box->accept();
        }
        auto* group = progress.findChild<QGroupBox*>("gbProgressbars");
        if (!packPictured && progress.isVisible() && group && group->title().startsWith("Phase 6")) {
            saveShot(&progress, "backup-run-progress.png");
            packPictured = true;
        }
        if (!burnPictured && progress.isVisible() && label("LPhase").startsWith("Writing disk: ")
            && label("LPhaseTime").contains("left")) {
            saveShot(&progress, "backup-progress.png");
            burnPictured = true;
        }
    });
    answerer.start(20);

    auto* button = main.findChild<QPushButton*>("BackupButton");
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    answerer.stop();

    // The phase bar says what it measures: the run's bytes packed and burnt, with its files,
    // and its times; once the disc is written all of it is done.
    const QRegularExpression expected("^Backup: 100% · ([0-9.]+ [kMG]?B) of \\1 packed · [0-9.]+ [kMG]?B burnt · 3 of 3 files \\| "
                                      "\\d+:\\d\\d elapsed · [0-9.]+ [kMG]?B/s · about 0:00 left$");
    QVERIFY2(expected.match(labels).hasMatch(), qPrintable(labels));
    // The closing box: its first line as ever, then the summary (this context names no images).
    const QString disc = QString::fromStdString(state.DiscList.lines().front());
    QVERIFY2(std::any_of(messages.begin(), messages.end(),
                         [&](const QString& text) {
                             return text.startsWith("The backup is finished.\nBacked up 3 files, ")
                                 && text.endsWith("\nDisc " + disc + " was written.");
                         }),
             qPrintable(messages.join(" | ")));
    QVERIFY(messages.contains("Please remove the disk and mark it with the following number: "
                              + QString::fromStdString(state.DiscList.lines().front())));
    QVERIFY(main.isVisible());
    QVERIFY(!progress.isVisible());
    QCOMPARE(state.BackupState.size(), std::size_t(3)); // letter, 2025 and the picture; not the music
    QVERIFY(fs::exists(root / "discs"));
    Discwright_SetSearch(true, true);
}

QTEST_MAIN(BackupGuiTest)
#include "BackupGuiTest.moc"
