#include "RestoreFixture.h"

#include <algorithm>
#include <cstdlib>
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
    RecordingReader(std::unique_ptr<DiscReader> inner, std::vector<std::string>& copies,
                    std::vector<std::string>& inPlace, bool fail, bool readInPlace)
        : m_inner(std::move(inner)), m_copies(copies), m_inPlace(inPlace), m_fail(fail), m_readInPlace(readInPlace)
    {
    }
    std::string location() const override { return m_inner->location(); }
    bool exists(const std::string& path) override { return m_inner->exists(path); }
    bool copy(const std::string& path, const std::string& target) override
    {
        m_copies.push_back(path);
        return !m_fail && m_inner->copy(path, target);
    }
    std::optional<Extent> locate(const std::string& path) override
    {
        if (m_fail || !m_readInPlace)
            return std::nullopt;
        std::optional<Extent> extent = m_inner->locate(path);
        if (extent) {
            m_copies.push_back(path);
            m_inPlace.push_back(path);
        }
        return extent;
    }
    std::vector<Entry> list(const std::string& folder) override { return m_inner->list(folder); }

private:
    std::unique_ptr<DiscReader> m_inner;
    std::vector<std::string>& m_copies;
    std::vector<std::string>& m_inPlace;
    bool m_fail;
    bool m_readInPlace;
};

} // namespace

RestoreResult RestoreFixture::restore()
{
    RestoreRunOptions options;
    options.openDrive = [this](const std::string& text) -> std::unique_ptr<DiscReader> {
        return std::make_unique<RecordingReader>(OpenRestoreDrive(text), copies, inPlace, failCopies,
                                                 readInPlace);
    };
    options.clock = [] { return std::chrono::system_clock::from_time_t(1709640000); }; // 2024-03-05
    return runRestore(s, view, tree, options);
}

bool RestoreFixture::shelve()
{
    const std::string shelf = dir / "shelf";
    fs::create_directories(shelf);
    for (const fs::directory_entry& disc : fs::directory_iterator(drive())) {
        const std::string id = disc.path().filename().string();
        const std::string make = "xorriso -as mkisofs -quiet -J -R -V " + id + " -graft-points -o '" + shelf + "/" + id
            + ".iso' '/" + id + "=" + disc.path().string() + "' >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0)
            return false;
    }
    fs::remove_all(drive());
    fs::create_directories(drive());
    view.setItems(Control::RestoreDrive, {shelf}, 0);
    return true;
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
