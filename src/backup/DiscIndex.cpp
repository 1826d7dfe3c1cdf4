#include "backup/DiscIndex.h"

#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/Error.h"
#include "archive/ZipArchive.h"
#include "backup/BackupRun.h"
#include "catalog/DiscListing.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

// What a finder of the disc reads first; it must make sense without this program.
std::string readmeText(const std::string& discId)
{
    const std::string lines[] = {
        "This is disc " + discId + " of a backup made with Torvinel.",
        "",
        "The folder " + discId + " holds the backed-up files in ordinary ZIP archives named",
        "YYYYMMDDNNNNN??.zip, each beside a catalog of the same name (.csv) that lists its files",
        "with their full paths, times of change, sizes and MD5 sums. STATUS.INI gives the MD5 of",
        "every file of the folder, so a damaged copy can be told from a sound one.",
        "",
        "Getting files back without Torvinel:",
        "",
        "  unzip 2026121000002rn.zip            (or: 7z x 2026121000002rn.zip)",
        "",
        "A file too large for one archive is split into volumes: NAME_001.zip, NAME_002.zip,",
        "... and last NAME.zip, which may lie on later discs. Copy every volume into one folder",
        "and rename NAME_001.zip to NAME.z01, NAME_002.zip to NAME.z02 and so on; then",
        "",
        "  7z x NAME.zip",
        "",
        "or join them into one archive first and unzip that:",
        "",
        "  zip -s 0 NAME.zip --out joined.zip && unzip joined.zip",
        "",
        "The newest version of a file is in the archive of the most recent disc whose catalog",
        "lists it; unchanged files are repeated on newer discs from time to time.",
        "",
        "This folder (index) holds Catalogs.zip: the catalogs and STATUS.INI of every earlier",
        "disc of this backup, one folder per disc. With them Torvinel rebuilds its database of",
        "discs from this disc alone (torvinel-cli add-disc --all), and anyone can see which",
        "disc holds which file.",
    };
    std::string text;
    for (const auto& line : lines)
        text += line + "\r\n";
    return text;
}

void writeText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush())
        throw Error("Could not create " + path);
}

// The file's modification time in seconds since 1970 (0 when it cannot be read).
long long writtenAt(const std::string& path)
{
    std::error_code error;
    const auto time = std::filesystem::last_write_time(path, error);
    if (error)
        return 0;
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::file_clock::to_sys(time).time_since_epoch())
        .count();
}

} // namespace

int64_t writeDiscIndex(const RunState& state, const std::string& discFolder, const std::string& discId)
{
    const std::string folder = platform::joinPath(discFolder, DiscIndexFolder);
    if (!platform::folderExists(folder) && !platform::createFolder(folder))
        throw Error("Could not create " + folder);

    const std::string readme = platform::joinPath(folder, DiscIndexReadme);
    writeText(readme, readmeText(discId));

    ZipArchive zip;
    zip.fileName = platform::joinPath(folder, DiscIndexArchive);
    zip.baseDir = state.DatabaseFolder;
    zip.open(ZipOpenMode::Create);
    const SortedList discs = discFolders(state);
    std::string times;
    for (std::size_t d = 0; d < discs.size(); ++d) {
        const std::string filed = platform::joinPath(state.DatabaseFolder, discs[d]);
        auto files = platform::listFolder(filed, "*.csv");
        if (!files.empty())
            zip.addFiles(platform::joinPath(discs[d], "*.csv"));
        // Filed as STATUS.INI; older databases may hold it in another letter case.
        for (const auto& status : platform::listFolder(filed, "status.ini")) {
            zip.addFiles(platform::joinPath(discs[d], status.name));
            files.push_back(status);
        }
        for (const auto& file : files)
            times += discs[d] + "/" + file.name + "," + std::to_string(writtenAt(platform::joinPath(filed, file.name)))
                + "\r\n";
    }
    // Added from the index folder and taken out of it again: it belongs in the archive only.
    const std::string timesFile = platform::joinPath(folder, DiscIndexTimes);
    writeText(timesFile, times);
    zip.baseDir = folder;
    zip.addFiles(DiscIndexTimes);
    zip.close();
    if (!platform::deleteFile(timesFile))
        throw Error("Could not delete file in temp dir.");
    const auto readmeBytes = platform::fileLength(readme);
    const auto archiveBytes = platform::fileLength(zip.fileName);
    if (!readmeBytes || !archiveBytes)
        throw Error("Could not create " + folder);
    return roundUpToSector(*readmeBytes) + roundUpToSector(*archiveBytes);
}

} // namespace torvinel
