// The sizes of the Backup page, counted in the background: the Size column of the tree and
// the selection's total beside the Backup button, over a small tree of the test's own.
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "support/QtWaits.h"
#include "ui/BackupSizes.h"
#include "ui/BackupTreeModel.h"
#include "ui/MainWindow.h"

using namespace torvinel;
using namespace torvinel::ui;
using torvinel::test::waitUntil;

namespace fs = std::filesystem;

class TestBackupSizes : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void ticksShowTheirTotalAndFoldersTheirSize();
    void closingDuringALongCountReturns();

private:
    void write(const std::string& relative, std::size_t bytes)
    {
        const fs::path file = m_files / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << std::string(bytes, 'x');
    }
    BackupTreeModel::Node node(const std::string& relative) { return m_model->browseTo((m_files / relative).string()); }
    QString sizeShown(const std::string& relative)
    {
        return m_model->indexOf(node(relative), BackupTreeModel::SizeColumn).data().toString();
    }
    QString total() const { return m_main->findChild<QLabel*>("SelectionTotal")->text(); }
    std::unique_ptr<BackupSizes> sizes(BackupSizes::Sources sources = {})
    {
        sources.media = [] { return mediaForDisc(DISC_TYPE_CDR, 15360); }; // 30 MiB discs
        sources.excluded = [this] { return std::vector<std::string>{(m_files / "Excluded").string()}; };
        return std::make_unique<BackupSizes>(*m_model, *m_main->findChild<QTreeView*>("BackupTree"),
                                             *m_main->findChild<QLabel*>("SelectionTotal"), std::move(sources));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    fs::path m_files;
    std::unique_ptr<MainWindow> m_main;
    std::unique_ptr<BackupTreeModel> m_model;
};

void TestBackupSizes::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_files = fs::path(m_dir->path().toStdString()) / "Files";
    write("Documents/letter.txt", 4000);
    write("Documents/Taxes/2025.txt", 9000);
    write("Documents/Taxes/2024.txt", 1000);
    write("Pictures/holiday.png", 40 << 20);
    write("Excluded/big.bin", 5000);
    fs::create_symlink(m_files / "Pictures/holiday.png", m_files / "Documents/link.png");
    m_main = std::make_unique<MainWindow>();
    m_model = std::make_unique<BackupTreeModel>(m_files.string(), std::vector<std::string>{});
    m_model->attachView(m_main->findChild<QTreeView*>("BackupTree"));
}

void TestBackupSizes::cleanup()
{
    m_model.reset();
    m_main.reset();
    m_dir.reset();
}

void TestBackupSizes::ticksShowTheirTotalAndFoldersTheirSize()
{
    const auto counting = sizes();
    QTRY_COMPARE(total(), QString("Selected: nothing"));

    m_model->setCheckState(node("Documents"), CheckState::Checked); // lists and shows Documents
    m_model->setCheckState(node("Excluded"), CheckState::Checked);
    QTRY_COMPARE(total(), QString("Selected: 3 files, 13.7 KB \u2014 about 1 CD"));
    QCOMPARE(sizeShown("Documents/letter.txt"), QString("3.9 KB"));
    // Folders of expanded parents get their totals; the excluded one counts as nothing.
    QTRY_COMPARE(sizeShown("Documents"), QString("13.7 KB"));
    QTRY_COMPARE(sizeShown("Documents/Taxes"), QString("9.8 KB"));
    QTRY_COMPARE(sizeShown("Pictures"), QString("40.0 MB"));
    QTRY_COMPARE(sizeShown("Excluded"), QString("0 bytes"));

    // A burst of changes settles into one total.
    m_model->setCheckState(node("Documents/Taxes"), CheckState::Unchecked);
    m_model->setCheckState(node("Pictures"), CheckState::Checked);
    m_model->setCheckState(node("Documents/Taxes/2024.txt"), CheckState::Checked);
    QTRY_COMPARE(total(), QString("Selected: 3 files, 40.0 MB \u2014 about 2 CDs"));
}

void TestBackupSizes::closingDuringALongCountReturns()
{
    for (int i = 0; i < 300; ++i)
        write("Many/f" + std::to_string(i), 10);
    write("Many/zz-stall", 10);
    std::atomic<bool> stalled = false;
    // Each file takes a while, and the last one holds the walk until it is stopped: a window
    // that does not stop its counts on closing never closes.
    const auto stall = [&stalled](const std::string& path, const std::stop_token& stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (path.ends_with("/zz-stall")) {
            stalled = true;
            while (!stop.stop_requested())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    auto counting = sizes({.excluded = {}, .media = {}, .visiting = stall});
    m_model->setCheckState(node("Many"), CheckState::Checked);
    QTRY_VERIFY(total().startsWith("Counting\u2026 ") && total().endsWith(" so far"));
    QVERIFY(waitUntil([&stalled] { return stalled.load(); }, 20000));
    QCOMPARE(sizeShown("Many"), QString("\u2026"));

    m_main->close();
    counting.reset();                  // returns only once both walks have stopped
    QCoreApplication::processEvents(); // nothing of theirs may still arrive
}

QTEST_MAIN(TestBackupSizes)
#include "TestBackupSizes.moc"
