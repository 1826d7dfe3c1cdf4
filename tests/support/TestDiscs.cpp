#include "support/TestDiscs.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "app/SortedList.h"
#include "archive/ZipArchive.h"
#include "catalog/CatalogLine.h"
#include "platform/Platform.h"

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

void require(bool done, const std::string& what)
{
    if (!done)
        throw std::runtime_error("test discs: could not " + what);
}

} // namespace

TestDiscs::TestDiscs(std::string drive, std::string database, std::string work)
    : m_drive(std::move(drive)), m_database(std::move(database)), m_work(std::move(work))
{
}

std::string TestDiscs::lineOf(const File& file)
{
    return formatCatalogLine(file.path, stampOf(file.stamp), static_cast<int64_t>(file.content.size()), "");
}

std::string TestDiscs::stage(const std::string& name, const File& file) const
{
    const fs::path staged = m_work + "/stage/" + name + file.path;
    fs::create_directories(staged.parent_path());
    std::ofstream(staged, std::ios::binary) << file.content;
    require(platform::setLastWriteStamp(staged.string(), stampOf(file.stamp)), "stamp " + staged.string());
    return m_work + "/stage/" + name;
}

void TestDiscs::archive(const std::string& disc, const std::string& name, const std::vector<File>& files) const
{
    fs::create_directories(m_drive + "/" + disc);
    fs::create_directories(m_database + "/" + disc);
    ZipArchive zip;
    zip.fileName = m_drive + "/" + disc + "/" + name + ".zip";
    zip.baseDir = m_work + "/stage/" + name;
    fs::create_directories(zip.baseDir);
    zip.open(ZipOpenMode::Create);
    std::vector<std::string> lines;
    for (const File& f : files) {
        stage(name, f);
        require(zip.addFiles(f.path.substr(1)), "add " + f.path);
        lines.push_back(lineOf(f));
    }
    zip.close();
    saveCatalog(m_database + "/" + disc + "/" + name + ".csv", lines);
}

int TestDiscs::splitArchive(const std::string& older, const std::string& newer, const std::string& name,
                            const File& file, int onOlder) const
{
    const std::string volumes = m_work + "/volumes/" + name;
    fs::create_directories(volumes);
    ZipArchive zip;
    zip.fileName = volumes + "/" + name + ".zip";
    zip.baseDir = stage(name, file);
    zip.setSpanningMode(ZipSpanningMode::Splitting);
    zip.volumeSize = 65536; // the smallest volume the engine makes
    zip.noCompressionMasks = {"*"};
    zip.open(ZipOpenMode::Create);
    require(zip.addFiles(file.path.substr(1)), "add " + file.path);
    zip.close();

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
        fs::create_directories(m_drive + "/" + disc);
        fs::create_directories(m_database + "/" + disc);
        fs::rename(volumes + "/" + base + ".zip", m_drive + "/" + disc + "/" + base + ".zip");
        saveCatalog(m_database + "/" + disc + "/" + base + ".csv", {lineOf(file)});
    }
    return count;
}

void TestDiscs::deletedCatalog(const std::string& disc, const std::string& name, const std::vector<std::string>& paths,
                               const std::string& stamp) const
{
    fs::create_directories(m_drive + "/" + disc);
    fs::create_directories(m_database + "/" + disc);
    std::vector<std::string> lines;
    for (const std::string& p : paths)
        lines.push_back(lineOf({p, "gone"}));
    const std::string catalog = m_database + "/" + disc + "/" + name + ".csv";
    saveCatalog(catalog, lines);
    require(platform::setLastWriteStamp(catalog, stampOf(stamp)), "stamp " + catalog);
}

} // namespace torvinel::test
