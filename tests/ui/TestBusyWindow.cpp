// The drive search's busy window and the drive lists in the real windows, offscreen. With
// TORVINEL_SCREENSHOTS=<folder> it also saves busy-window.png and drive-lists.png there (run
// it under Xvfb for real fonts).
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "app/RunState.h"
#include "discwriter/DeviceLists.h"
#include "discwriter/DriveFinder.h"
#include "discwright/Discwright.h"
#include "ui/QtView.h"
#include "ui/MainWindow.h"
#include "ui/BusyWindow.h"

using namespace torvinel;
using namespace torvinel::ui;

namespace {

TestDriveScript writer(const std::string& device, const std::string& vendor, const std::string& product)
{
    TestDriveScript script;
    script.driveLetter = device;
    script.vendor = vendor;
    script.product = product;
    return script;
}

} // namespace

class TestBusyWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void layout();
    void showAndHide();
    void cancelButton();
    void theSearchDrivesItThroughTheView();
    void screenshots();

private:
    void findDrives(QtView& view, DriveFinder& finder);
    QTemporaryDir m_dir;
};

void TestBusyWindow::initTestCase()
{
    const DiscwrightStartUpBlock block{};
    QCOMPARE(int(Discwright_StartUpEx(&block, sizeof block)), 0);
    ImageDriveSettings image;
    image.folder = (m_dir.path() + "/Torvinel Discs").toStdString();
    Discwright_ConfigureImageDrive(image);
    Discwright_SetSearch(false, true);
    Discwright_UseTestDrives({writer("/dev/sr0", "HL-DT-ST", "DVDRAM GSA-H42L")});
}

void TestBusyWindow::cleanupTestCase() { Discwright_ShutDown(); }

void TestBusyWindow::layout()
{
    BusyWindow busy;
    QCOMPARE(busy.size(), QSize(442, 60));
    QCOMPARE(busy.cancelButton()->geometry(), QRect(362, 30, 75, 23));
    QCOMPARE(busy.cancelButton()->text(), QString("Cancel"));
    QCOMPARE(busy.info()->x(), 28);
    QCOMPARE(busy.info()->width(), 409);
    QCOMPARE(busy.animation()->geometry(), QRect(4, 6, 16, 16));

    busy.centreControls();
    QCOMPARE(busy.animation()->y(), (60 - 16 - 4) / 2);
    QCOMPARE(busy.info()->y(), (60 - busy.info()->height() - 4) / 2);

    // Narrower, as the search shows it: the line and the button keep to the right edge.
    busy.resize(300, 60);
    busy.show();
    QCOMPARE(busy.info()->width(), 300 - 28 - 5);
    QCOMPARE(busy.cancelButton()->x(), 300 - 80);
}

void TestBusyWindow::showAndHide()
{
    BusyWindow busy;
    QVERIFY(busy.info()->text().isEmpty());
    QVERIFY(!busy.stayInFront());
    busy.show();
    QVERIFY(busy.animating());
    QVERIFY(busy.stayInFront());
    busy.info()->setText("Found device: DVD Writer");
    busy.hide();
    QVERIFY(!busy.animating());
    QVERIFY(!busy.stayInFront());
    busy.show();
    QVERIFY(busy.info()->text().isEmpty());
    QVERIFY(busy.animating());
}

void TestBusyWindow::cancelButton()
{
    BusyWindow busy;
    busy.show();
    int cancelled = 0;
    busy.OnCancel = [&](BusyWindow&) { ++cancelled; };
    QTest::mouseClick(busy.cancelButton(), Qt::LeftButton);
    QCOMPARE(cancelled, 1);
    busy.setCancelVisible(false);
    QVERIFY(!busy.cancelButton()->isVisible());
}

void TestBusyWindow::findDrives(QtView& view, DriveFinder& finder) { fillWriterChooser(view, finder); }

void TestBusyWindow::theSearchDrivesItThroughTheView()
{
    MainWindow main;
    QtView view(main);
    BusyWindow busy(&main);
    view.attachBusyWindow(&busy);
    LibraryTrace logger(false, 0);
    DriveFinder finder(logger);
    findDrives(view, finder);

    QVERIFY(!busy.isVisible());
    QVERIFY(!busy.animating());
    QCOMPARE(busy.windowTitle().toStdString(), DriveFinder::RefreshingText());
    QCOMPARE(busy.width(), 300);
    QVERIFY(busy.cancelButton()->isHidden());
    QCOMPARE(busy.info()->text().toStdString(), DriveFinder::FoundDeviceText() + " Image Drive");
    QCOMPARE(main.findChild<QComboBox*>("DeviceChooser")->count(), 2);
    QCOMPARE(main.findChild<QComboBox*>("DeviceChooser")->currentText(), QString("/dev/sr0 DVDRAM GSA-H42L"));
    QVERIFY(!main.findChild<QGroupBox*>("gbDeviceChooser")->isHidden()); // two writers to choose from
}

void TestBusyWindow::screenshots()
{
    const QString folder = qEnvironmentVariable("TORVINEL_SCREENSHOTS");
    if (folder.isEmpty())
        QSKIP("set TORVINEL_SCREENSHOTS to a folder to save screenshots");

    MainWindow main;
    QtView view(main);
    BusyWindow busy(&main);
    view.attachBusyWindow(&busy);

    // The busy window as the search shows it, naming the drive just found.
    WindowGeometry g = view.geometry(Window::Busy);
    g.width = 300;
    view.setGeometry(Window::Busy, g);
    view.setText(Window::Busy, Control::BusyCaption, DriveFinder::RefreshingText());
    view.setVisible(Window::Busy, Control::BusyCancel, false);
    view.showWindow(Window::Busy);
    view.setText(Window::Busy, Control::BusyInfo, DriveFinder::FoundDeviceText() + " DVDRAM GSA-H42L");
    QVERIFY(QTest::qWaitForWindowExposed(&busy));
    QTest::qWait(200);
    QVERIFY(busy.grab().save(folder + "/busy-window.png"));
    busy.hide();

    // The drive lists: two writers on the Backup page, an optical drive and the image shelf
    // on the Restore and Advanced pages.
    LibraryTrace logger(false, 0);
    DriveFinder finder(logger);
    findDrives(view, finder);
    RunState state;
    QVERIFY(fillRestoreDrives(state, view, {{0, "/media/cdrom0", true}}, std::string("/home/ada/Torvinel Discs")));
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QTest::qWait(300);

    // Each page with its drive list opened, so that every item shows.
    QList<QPixmap> pages;
    const struct {
        int page;
        const char* list;
    } shots[] = {{0, "DeviceChooser"}, {1, "cbRestoreFrom"}, {2, "cbAddDisks"}};
    for (const auto& shot : shots) {
        main.pages()->setCurrentIndex(shot.page);
        auto* list = main.findChild<QComboBox*>(shot.list);
        QTest::qWait(200);
        list->showPopup();
        QTest::qWait(500);
        const QRect frame = main.frameGeometry();
        pages << main.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        list->hidePopup();
        QTest::qWait(200);
    }
    QPixmap all(pages[0].width(), pages[0].height() * pages.size());
    all.fill(Qt::white);
    QPainter painter(&all);
    for (int i = 0; i < pages.size(); ++i)
        painter.drawPixmap(0, i * pages[0].height(), pages[i]);
    painter.end();
    QVERIFY(all.save(folder + "/drive-lists.png"));
}

QTEST_MAIN(TestBusyWindow)
#include "TestBusyWindow.moc"
