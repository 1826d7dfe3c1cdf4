// The whole program started offscreen on a prepared application folder, then closed: what it
// reads at start-up and what it writes at close. With TORVINEL_SCREENSHOTS=<folder> it also
// saves the Backup page of a first start.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "ui/Program.h"
#include "ui/MainWindow.h"

using namespace torvinel::ui;

class TestStartClose : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstStartTicksDocumentsAndCloseWritesEverything();
    void vanishedPathIsReportedOnceAndDropped();

private:
    QString write(const QString& relative, const QByteArray& bytes);
    QByteArray read(const QString& relative) const;
    // Runs the program until onShown has looked at the main window, answering every message
    // box with its default button; the texts of the boxes are collected.
    int run(const std::function<void(MainWindow&)>& onShown);

    std::unique_ptr<QTemporaryDir> m_home;
    QStringList m_boxes;
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
    const QString path = m_home->path() + "/" + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray TestStartClose::read(const QString& relative) const
{
    QFile file(m_home->path() + "/" + relative);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

QTEST_MAIN(TestStartClose)
#include "TestStartClose.moc"
