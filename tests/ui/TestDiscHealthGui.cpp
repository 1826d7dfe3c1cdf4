// The Advanced page's care of discs, through the whole program offscreen on the image drive:
// "Verify disc" on a sound, a damaged and an unreadable disc and a check cancelled, "Add"
// with every disc of the newest disc's index, and the recovery share read from and saved to
// the settings. The discs are written once, by two backups of the program itself.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <functional>

#include "discwright/DiscReader.h"
#include "support/QtFiles.h"
#include "support/QtWaits.h"
#include "ui/BusyWindow.h"
#include "ui/MainWindow.h"
#include "ui/Program.h"

using namespace torvinel;
using namespace torvinel::ui;

namespace {

struct Box {
    QMessageBox::Icon icon;
    QString text;
    QString details;
};

QStringList folderNames(const QString& folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestDiscHealthGui : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void verifyShowsWhatTheCheckFoundAndRecordsIt_data();
    void verifyShowsWhatTheCheckFoundAndRecordsIt();
    void addAllRebuildsAnEmptiedDatabaseFromTheNewestDisc_data();
    void addAllRebuildsAnEmptiedDatabaseFromTheNewestDisc();
    void recoveryShareIsReadUsedAndSaved_data();
    void recoveryShareIsReadUsedAndSaved();

private:
    // Makes home the user's home (HOME and the XDG folders below it).
    void useHome(const QString& home);
    QString writtenHome() const { return m_written.path() + "/home"; }
    QString write(const QString& relative, const QByteArray& bytes) const;
    QByteArray read(const QString& relative) const;
    QString shelf() const { return m_homePath + "/Torvinel Discs"; }
    QString database() const { return m_homePath + "/data/Torvinel/Database"; }
    // Runs the program until onShown has worked on the main window, answering every message
    // box with its default button and the disc chooser with its first offer (both recorded).
    int run(const std::function<void(MainWindow&)>& onShown);

    QTemporaryDir m_written{QDir::currentPath() + "/written-XXXXXX"}; // the two discs' home
    QStringList m_discs;                                              // their DiscIds
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_homePath;
    QList<Box> m_boxes;
    std::function<void(QMessageBox&)> m_onBox; // looks at each box before it is answered
    QStringList m_offered;                     // the disc chooser's items, the first offer first
    QByteArray m_oldHome, m_oldData, m_oldConfig;
};

void TestDiscHealthGui::useHome(const QString& home)
{
    m_homePath = home;
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", (home + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/config").toUtf8());
}

QString TestDiscHealthGui::write(const QString& relative, const QByteArray& bytes) const
{
    return test::writeBelow(m_homePath, relative, bytes);
}

QByteArray TestDiscHealthGui::read(const QString& relative) const { return test::readBelow(m_homePath, relative); }

int TestDiscHealthGui::run(const std::function<void(MainWindow&)>& onShown)
{
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            m_boxes << Box{box->icon(), box->text(), box->detailedText()};
            if (m_onBox)
                m_onBox(*box);
            box->defaultButton() ? box->defaultButton()->click() : box->accept();
        } else if (auto* chooser = qobject_cast<QInputDialog*>(modal)) {
            if (const QString screenshots = qEnvironmentVariable("TORVINEL_SCREENSHOTS"); !screenshots.isEmpty())
                chooser->grab().save(screenshots + "/verify-chooser.png");
            m_offered = chooser->comboBoxItems();
            m_offered.move(m_offered.indexOf(chooser->textValue()), 0);
            chooser->accept();
        }
    });
    answer.start(20);
    bool looked = false;
    QTimer start;
    QObject::connect(&start, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* main = qobject_cast<MainWindow*>(w);
            if (main && main->isVisible() && !looked) {
                looked = true;
                start.stop();
                onShown(*main);
                main->close();
            }
        }
    });
    start.start(20);
    return runTorvinel();
}

// Two backups of the program write the discs: the second one's index records the first.
void TestDiscHealthGui::initTestCase()
{
    QVERIFY(m_written.isValid());
    m_oldHome = qgetenv("HOME");
    m_oldData = qgetenv("XDG_DATA_HOME");
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    useHome(writtenHome());
    QByteArray text;
    for (int line = 0; text.size() < 300000; ++line)
        text += "line " + QByteArray::number(line * 7919 % 1000) + " of a letter\n";
    write("Documents/letter.txt", text);
    QCOMPARE(run([&](MainWindow& main) {
                 main.backupClicked();
                 write("Documents/later.txt", text.left(120000));
                 main.backupClicked();
             }),
             0);
    for (const QString& iso : QDir(shelf()).entryList({"*.iso"}, QDir::Files, QDir::Name))
        m_discs << iso.left(11);
    QCOMPARE(m_discs.size(), 2);
    QCOMPARE(folderNames(database()), m_discs);
}

void TestDiscHealthGui::init()
{
    // Below the test's folder, not the shared temporary one: see start_close_tests.
    m_home = std::make_unique<QTemporaryDir>(QDir::currentPath() + "/home-XXXXXX");
    QVERIFY(m_home->isValid());
    useHome(m_home->path());
    m_boxes.clear();
    m_offered.clear();
    m_onBox = nullptr;
}

void TestDiscHealthGui::cleanup()
{
    qputenv("HOME", m_oldHome);
    qputenv("XDG_DATA_HOME", m_oldData);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    m_home.reset();
}

void TestDiscHealthGui::verifyShowsWhatTheCheckFoundAndRecordsIt_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("stop"); // "cancel": the busy window's Cancel; "quit": the program quits
    QTest::addColumn<int>("icon");     // -1: no box
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");
    QTest::addColumn<QString>("recorded"); // the line the check adds, after the time; "" none
    // In text, details and recorded, DISC stands for the disc checked, ARCHIVE for its
    // largest archive and SHELF for the image drive's folder.
    const struct {
        const char *name, *damage, *stop;
        int icon;
        const char *text, *details, *recorded;
    } rows[] = {
        {"sound", "", "", QMessageBox::Information, "Disc DISC: all \\d+ files are sound\\.", "", ",DISC,sound,"},
        {"a flipped byte in an archive", "ARCHIVE", "", QMessageBox::Warning,
         "Disc DISC: damaged, recoverable \\(1 of \\d+ blocks lost; repair with torvinel-cli repair DISC\\)\\.",
         "ARCHIVE: .+", ",DISC,damaged,ARCHIVE"},
        // The MD5s of the disc's recovery data stand in for those of STATUS.INI, whose own
        // damage its parity rebuilds.
        {"STATUS.INI zeroed", "STATUS.INI", "", QMessageBox::Warning,
         "Disc DISC: damaged, recoverable \\(1 of \\d+ blocks lost; repair with torvinel-cli repair DISC\\)\\.",
         "ARCHIVE: its data differs from what the disc's recovery data records", ",DISC,damaged,"},
        {"cancelled", "", "cancel", -1, "", "", ""},
        {"quit during the check", "", "quit", -1, "", "", ""},
    };
    for (const auto& r : rows)
        QTest::newRow(r.name) << QString(r.damage) << QString(r.stop) << r.icon << QString(r.text) << QString(r.details)
                              << QString(r.recorded);
}

// Both discs on the shelf: the chooser offers first the one checked least recently (the first
// disc was checked before), the check reads it, its box shows what it found and DiscHealth.csv
// records it; a check cancelled, or ended by quitting, shows and records nothing.
void TestDiscHealthGui::verifyShowsWhatTheCheckFoundAndRecordsIt()
{
    QFETCH(QString, damage);
    QFETCH(QString, stop);
    QFETCH(int, icon);
    QFETCH(QString, text);
    QFETCH(QString, details);
    QFETCH(QString, recorded);

    QDir().mkpath(shelf());
    for (const QString& disc : m_discs)
        QVERIFY(QFile::copy(writtenHome() + "/Torvinel Discs/" + disc + ".iso", shelf() + "/" + disc + ".iso"));
    const QString disc = m_discs[1];
    const QByteArray earlier = "2026-01-02T03:04:05," + m_discs[0].toUtf8() + ",sound,\r\n";
    write("data/Torvinel/DiscHealth.csv", earlier);

    // The largest archive, and the damage put into the image in place.
    const std::string iso = (shelf() + "/" + disc + ".iso").toStdString();
    QString archive;
    DiscReader::Extent extent{};
    {
        const auto reader = makeIsoFileReader(iso);
        for (const auto& entry : reader->list(disc.toStdString())) {
            const auto found = reader->locate(disc.toStdString() + "/" + entry.name);
            const QString name = QString::fromStdString(entry.name);
            const bool wanted =
                damage == "STATUS.INI" ? name.compare("STATUS.INI", Qt::CaseInsensitive) == 0 : name.endsWith(".zip");
            if (wanted && found && found->length > extent.length) {
                archive = QString::fromStdString(entry.name);
                extent = *found;
            }
        }
        QVERIFY(extent.length > 0);
    }
    if (!damage.isEmpty()) {
        std::fstream image(iso, std::ios::in | std::ios::out | std::ios::binary);
        if (damage == "STATUS.INI") {
            const std::string zeros(extent.length, '\0');
            image.seekp(static_cast<std::streamoff>(extent.offset));
            image.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
        } else {
            const auto middle = static_cast<std::streamoff>(extent.offset + extent.length / 2);
            image.seekg(middle);
            const char byte = static_cast<char>(image.get() ^ 0x10);
            image.seekp(middle);
            image.put(byte);
        }
        QVERIFY(image.good());
    }

    const QString screenshots = qEnvironmentVariable("TORVINEL_SCREENSHOTS");
    if (!screenshots.isEmpty() && damage == "ARCHIVE")
        m_onBox = [&](QMessageBox& box) {
            for (QAbstractButton* button : box.buttons())
                if (box.buttonRole(button) == QMessageBox::ActionRole)
                    button->click(); // "Show Details..."
            QTest::qWait(150);
            box.grab().save(screenshots + "/verify-damaged.png");
        };
    bool busyShown = false;
    QCOMPARE(run([&](MainWindow& main) {
                 // Not the drive search's busy window at start-up: the check's.
                 const test::OnFirstShow<BusyWindow> onBusy([&](BusyWindow& busy) {
                     busyShown = busy.isModal() && busy.cancelButton()->isVisibleTo(&busy);
                     // From the check's own event processing; quitting cancels it without asking.
                     if (stop == "cancel")
                         QTimer::singleShot(0, &busy, [&busy] { busy.cancelButton()->click(); });
                     else if (stop == "quit")
                         QTimer::singleShot(0, &busy, [] { QCoreApplication::quit(); });
                 });
                 main.pages()->setCurrentIndex(2);
                 main.findChild<QPushButton*>("VerifyDisk")->click();
             }),
             0);

    const auto expand = [&](QString pattern) {
        return pattern.replace("DISC", disc)
            .replace("ARCHIVE", QRegularExpression::escape(archive))
            .replace("SHELF", QRegularExpression::escape(shelf()));
    };
    QVERIFY(busyShown);
    QCOMPARE(m_offered,
             (QStringList{disc + "  (never checked)", m_discs[0] + "  (checked 2026-01-02T03:04:05, sound)"}));
    if (icon < 0) {
        QCOMPARE(m_boxes.size(), 0);
    } else {
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(int(m_boxes[0].icon), icon);
        QVERIFY2(QRegularExpression("^" + expand(text) + "$").match(m_boxes[0].text).hasMatch(),
                 qPrintable(m_boxes[0].text));
        if (!details.isEmpty())
            QVERIFY2(QRegularExpression("^" + expand(details) + "$", QRegularExpression::DotMatchesEverythingOption)
                         .match(m_boxes[0].details)
                         .hasMatch(),
                     qPrintable(m_boxes[0].details));
    }
    const QByteArray health = read("data/Torvinel/DiscHealth.csv");
    QVERIFY2(health.startsWith(earlier), health.constData());
    const QString added = QString::fromUtf8(health.mid(earlier.size()));
    if (recorded.isEmpty())
        QCOMPARE(added, QString());
    else
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d" + expand(recorded) + "\r\n$")
                     .match(added)
                     .hasMatch(),
                 qPrintable(added));
}

void TestDiscHealthGui::addAllRebuildsAnEmptiedDatabaseFromTheNewestDisc_data()
{
    QTest::addColumn<bool>("all");
    QTest::newRow("the disc alone") << false;
    QTest::newRow("with every disc of its index") << true;
}

// The database is lost and only the newest disc is at hand: Add files it alone, with "add all"
// ticked it files every disc of its index too, catalogs and all.
void TestDiscHealthGui::addAllRebuildsAnEmptiedDatabaseFromTheNewestDisc()
{
    QFETCH(bool, all);
    const QString written = writtenHome();
    QDir().mkpath(shelf());
    QVERIFY(QFile::copy(written + "/Torvinel Discs/" + m_discs[1] + ".iso", shelf() + "/" + m_discs[1] + ".iso"));
    QStringList sets;
    QCOMPARE(run([&](MainWindow& main) {
                 main.findChild<QCheckBox*>("cbAddAllDisks")->setChecked(all);
                 main.findChild<QPushButton*>("AddDisk")->click();
                 auto* chooser = main.findChild<QComboBox*>("RestoreChooser");
                 for (int i = 0; i < chooser->count(); ++i)
                     sets << chooser->itemText(i);
             }),
             0);
    const QStringList filed = all ? m_discs : QStringList{m_discs[1]};
    QCOMPARE(folderNames(database()), filed);
    const auto filesOf = [](const QString& folder) { // a backup files STATUS.INI, an add status.ini
        return QDir(folder).entryList(QDir::Files, QDir::Name).join(" ").toLower();
    };
    for (const QString& disc : filed)
        QCOMPARE(filesOf(database() + "/" + disc), filesOf(written + "/data/Torvinel/Database/" + disc));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes[0].text,
             all ? "The disks were successfully added: " + m_discs.join(", ") + "."
                 : QString("The disk was successfully added."));
    QCOMPARE(sets.size(), filed.size()); // the restore side shows the discs filed
    QVERIFY(!QFile::exists(m_homePath + "/data/Torvinel/indexread"));
}

void TestDiscHealthGui::recoveryShareIsReadUsedAndSaved_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("set");
    QTest::newRow("30, turned off") << QByteArray("30") << 30 << 0;
    QTest::newRow("above the most, set to 7") << QByteArray("80") << 50 << 7;
}

// The spin box shows [Status] RecoveryPercent as start-up reads it; a value set there is what
// the next backup writes (recovery data or none) and what the settings keep.
void TestDiscHealthGui::recoveryShareIsReadUsedAndSaved()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, shown);
    QFETCH(int, set);
    write("Documents/letter.txt", QByteArray(50000, 'x'));
    write("data/Torvinel/Torvinel.ini", "[Status]\r\nRecoveryPercent=" + stored + "\r\n");
    int before = -1;
    QCOMPARE(run([&](MainWindow& main) {
                 auto* percent = main.findChild<QSpinBox*>("seRecoveryPercent");
                 before = percent->value();
                 percent->setValue(set);
                 main.backupClicked();
             }),
             0);
    QCOMPARE(before, shown);
    QVERIFY2(read("data/Torvinel/Torvinel.ini").contains("RecoveryPercent=" + QByteArray::number(set) + "\r\n"),
             read("data/Torvinel/Torvinel.ini").constData());
    const QStringList images = QDir(shelf()).entryList({"*.iso"}, QDir::Files);
    QCOMPARE(images.size(), 1);
    const std::string disc = images[0].left(11).toStdString();
    bool recoveryData = false;
    for (const auto& entry : makeIsoFileReader((shelf() + "/" + images[0]).toStdString())->list(disc))
        recoveryData = recoveryData || entry.name == "RECOVERY.DAT";
    QCOMPARE(recoveryData, set > 0);
}

QTEST_MAIN(TestDiscHealthGui)
#include "TestDiscHealthGui.moc"
