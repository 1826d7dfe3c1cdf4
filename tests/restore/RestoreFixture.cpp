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

namespace {

platform::Stamp stampOf(const std::string& digits)
{
    const auto at = [&](std::size_t pos, std::size_t n) { return std::stoi(digits.substr(pos, n)); };
    return {at(0, 4), at(4, 2), at(6, 2), at(8, 2), at(10, 2), at(12, 2)};
}

void saveCatalog(const std::string& path, const std::vector<std::string>& lines)
{
    SortedList sorted;
    for (const std::string& line : lines)
        sorted.add(line);
    sorted.saveToFile(path);
}

} // namespace

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

std::string RestoreFixture::lineOf(const File& file)
{
    return formatCatalogLine(file.path, stampOf(file.stamp), static_cast<int64_t>(file.content.size()), "");
}

void RestoreFixture::archive(const std::string& disc, const std::string& name, const std::vector<File>& files)
{
    const std::string stage = dir / ("stage/" + name);
    fs::create_directories(drive() + "/" + disc);
    fs::create_directories(s.DatabaseFolder + "/" + disc);
    ZipArchive zip;
    zip.FileName = drive() + "/" + disc + "/" + name + ".zip";
    zip.BaseDir = stage;
    zip.ArchiveOpen(omCreate);
    std::vector<std::string> lines;
    for (const File& f : files) {
        const std::string relative = f.path.substr(1);
        dir.write("stage/" + name + "/" + relative, f.content);
        ASSERT_TRUE(platform::setLastWriteStamp(stage + "/" + relative, stampOf(f.stamp)));
        ASSERT_TRUE(zip.ArchiveAddFiles(relative));
        lines.push_back(lineOf(f));
    }
    zip.ArchiveClose();
    saveCatalog(s.DatabaseFolder + "/" + disc + "/" + name + ".csv", lines);
}

void RestoreFixture::deletedCatalog(const std::string& disc, const std::string& name,
                                    const std::vector<std::string>& paths, const std::string& stamp)
{
    fs::create_directories(drive() + "/" + disc);
    fs::create_directories(s.DatabaseFolder + "/" + disc);
    std::vector<std::string> lines;
    for (const std::string& p : paths)
        lines.push_back(lineOf({p, "gone"}));
    const std::string catalog = s.DatabaseFolder + "/" + disc + "/" + name + ".csv";
    saveCatalog(catalog, lines);
    ASSERT_TRUE(platform::setLastWriteStamp(catalog, stampOf(stamp)));
}

int RestoreFixture::splitArchive(const std::string& older, const std::string& newer, const std::string& name,
                                 const File& file, int onOlder)
{
    const std::string stage = dir / ("stage/" + name);
    const std::string volumes = dir / ("volumes/" + name);
    fs::create_directories(volumes);
    const std::string relative = file.path.substr(1);
    dir.write("stage/" + name + "/" + relative, file.content);
    EXPECT_TRUE(platform::setLastWriteStamp(stage + "/" + relative, stampOf(file.stamp)));
    ZipArchive zip;
    zip.FileName = volumes + "/" + name + ".zip";
    zip.BaseDir = stage;
    zip.setSpanningMode(smSplitting);
    zip.SpanningOptions.CustomVolumeSize = 65536;
    zip.NoCompressionMasks = {"*"};
    zip.ArchiveOpen(omCreate);
    zip.ArchiveAddFiles(relative);
    zip.ArchiveClose();

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(volumes))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end()); // name_001.zip ... after name.zip
    const int count = static_cast<int>(names.size());
    for (int k = 1; k <= count; ++k) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "_%03d", k);
        const std::string base = k == count ? name : name + suffix;
        const std::string& disc = k <= onOlder ? older : newer;
        fs::create_directories(drive() + "/" + disc);
        fs::create_directories(s.DatabaseFolder + "/" + disc);
        fs::rename(volumes + "/" + base + ".zip", drive() + "/" + disc + "/" + base + ".zip");
        saveCatalog(s.DatabaseFolder + "/" + disc + "/" + base + ".csv", {lineOf(file)});
    }
    return count;
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
