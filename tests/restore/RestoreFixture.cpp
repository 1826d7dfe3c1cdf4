#include "RestoreFixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/SortedList.h"
#include "app/TextFile.h"
#include "archive/ZipArchive.h"
#include "catalog/CatalogLine.h"
#include "platform/Platform.h"
#include "restore/RestoreChooser.h"
#include "discwright/DiscReader.h"

namespace torvinel::test {

namespace fs = std::filesystem;

void RestoreFixture::SetUp()
{
    s.AppFolder = dir / "app";
    s.DatabaseFolder = dir / "app/Database";
    s.TempFolder = dir / "temp";
    s.RestoreFolder = dir / "restores";
    for (const std::string& folder : {s.DatabaseFolder, s.TempFolder, s.RestoreFolder, drive()})
        fs::create_directories(folder);
    view.setItems(Control::RestoreDrive, {drive()}, 0);
}

void RestoreFixture::chooseSet(int index)
{
    fillBackupSetChooser(s, view);
    view.setSelectedIndex(Control::BackupSetChooser, index);
    chooseBackupSet(s, view, tree);
}

void RestoreFixture::tick(const std::string& path)
{
    const CheckTree::Node node = tree.browseTo(path);
    ASSERT_NE(node, nullptr) << path;
    tree.setCheckState(node, CheckState::Checked);
}

namespace {

class RecordingReader : public DiscReader {
public:
    RecordingReader(std::unique_ptr<DiscReader> inner, std::vector<std::string>& copies, bool fail)
        : m_inner(std::move(inner)), m_copies(copies), m_fail(fail)
    {
    }
    std::string location() const override { return m_inner->location(); }
    bool exists(const std::string& path) override { return m_inner->exists(path); }
    bool copy(const std::string& path, const std::string& target) override
    {
        m_copies.push_back(path);
        return !m_fail && m_inner->copy(path, target);
    }
    std::vector<Entry> list(const std::string& folder) override { return m_inner->list(folder); }

private:
    std::unique_ptr<DiscReader> m_inner;
    std::vector<std::string>& m_copies;
    bool m_fail;
};

} // namespace

RestoreResult RestoreFixture::restore()
{
    RestoreRunOptions options;
    options.openDrive = [this](const std::string& text) -> std::unique_ptr<DiscReader> {
        return std::make_unique<RecordingReader>(OpenRestoreDrive(text), copies, failCopies);
    };
    options.clock = [] { return std::chrono::system_clock::from_time_t(1709640000); }; // 2024-03-05
    return runRestore(s, view, tree, options);
}

std::string RestoreFixture::restored(const RestoreResult& result, const std::string& path) const
{
    std::ifstream in(result.target + "/r" + path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> RestoreFixture::listFile(const std::string& name) const
{
    return readLines(s.AppFolder + "/" + name);
}

} // namespace torvinel::test
