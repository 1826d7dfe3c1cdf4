// Lays a folder out as one backup run would leave it, for the restore benchmark: archives of
// at most 101 files closed past 8 MiB, a file over 8 MiB as a split archive of 8 MiB
// volumes, each with its catalog (lines with their MD5), on discs of a given size; the
// run's deleted-files catalog on its first disc. (The real packing lives in the backup;
// this is only its shape.)
//
//   restore_discs DISCS DATABASE DISC_MIB SOURCE...
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/SortedList.h"
#include "archive/ZipArchive.h"
#include "catalog/CatalogLine.h"
#include "catalog/FileDigest.h"
#include "platform/Platform.h"

using namespace torvinel;
namespace fs = std::filesystem;

namespace {

constexpr int64_t volumeSize = 8388608;

struct Layout {
    std::string discs, database;
    int64_t discBytes = 0;
    int disc = 0, sequence = 0;
    int64_t onDisc = 0;

    std::string discId() const
    {
        char id[16];
        std::snprintf(id, sizeof id, "20240301%03d", disc);
        return id;
    }
    std::string nextName(char kind)
    {
        char name[24];
        std::snprintf(name, sizeof name, "20240301%05d%c%c", ++sequence, kind == 'd' ? 'd' : 'r', kind);
        return name;
    }
    std::string folder(const std::string& root) const { return root + "/" + discId(); }
    void newDisc()
    {
        ++disc;
        onDisc = 0;
        fs::create_directories(folder(discs));
        fs::create_directories(folder(database));
    }
    void place(int64_t bytes)
    {
        if (onDisc > 0 && onDisc + bytes > discBytes)
            newDisc();
        onDisc += bytes;
    }
};

std::string lineOf(const std::string& path)
{
    const auto stamp = platform::lastWriteStamp(path);
    // With its digest, as a backup that checks file contents writes it: the restore then
    // verifies every file's MD5 as well as its size.
    return formatCatalogLine(path, *stamp, *platform::fileLength(path), DigestHex(FileDigest(path)));
}

void writeArchive(Layout& layout, const std::vector<std::string>& files, int64_t bytes)
{
    layout.place(bytes);
    const std::string name = layout.nextName('n');
    ZipArchive zip;
    zip.fileName = layout.folder(layout.discs) + "/" + name + ".zip";
    zip.baseDir = "/";
    zip.options.flushBuffers = false;
    zip.open(ZipOpenMode::Create);
    SortedList catalog;
    for (const std::string& f : files) {
        zip.addFiles(f.substr(1));
        catalog.add(lineOf(f));
    }
    zip.close();
    catalog.saveToFile(layout.folder(layout.database) + "/" + name + ".csv");
}

void writeSplit(Layout& layout, const std::string& file)
{
    layout.place(*platform::fileLength(file));
    const std::string name = layout.nextName('n');
    const std::string folder = layout.folder(layout.discs);
    ZipArchive zip;
    zip.fileName = folder + "/" + name + ".zip";
    zip.baseDir = "/";
    zip.options.flushBuffers = false;
    zip.setSpanningMode(ZipSpanningMode::Splitting);
    zip.volumeSize = volumeSize;
    zip.open(ZipOpenMode::Create);
    zip.addFiles(file.substr(1));
    zip.close();
    SortedList catalog;
    catalog.add(lineOf(file));
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string zipName = entry.path().filename().string();
        if (zipName.starts_with(name))
            catalog.saveToFile(layout.folder(layout.database) + "/" + zipName.substr(0, zipName.size() - 4) + ".csv");
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: restore_discs DISCS DATABASE DISC_MIB SOURCE...\n");
        return 2;
    }
    Layout layout{argv[1], argv[2], std::stoll(argv[3]) * 1048576};
    layout.newDisc();
    SortedList().saveToFile(layout.folder(layout.database) + "/" + layout.nextName('d') + ".csv");

    std::vector<std::string> files;
    for (int a = 4; a < argc; ++a)
        for (const auto& entry : fs::recursive_directory_iterator(fs::absolute(argv[a])))
            if (entry.is_regular_file() && !entry.is_symlink())
                files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());

    std::vector<std::string> group;
    int64_t groupBytes = 0;
    for (const std::string& f : files) {
        const int64_t size = *platform::fileLength(f);
        if (size > volumeSize) {
            writeSplit(layout, f);
            continue;
        }
        group.push_back(f);
        groupBytes += size;
        if (group.size() == 101 || groupBytes > volumeSize) {
            writeArchive(layout, group, groupBytes);
            group.clear();
            groupBytes = 0;
        }
    }
    if (!group.empty())
        writeArchive(layout, group, groupBytes);
    std::printf("%zu files on %d discs\n", files.size(), layout.disc);
    return 0;
}
