#include "restore/IndexedDiscSource.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>

#include "app/Error.h"
#include "app/IniFile.h"
#include "app/TextFile.h"
#include "archive/ZipArchive.h"
#include "catalog/DiscNames.h"
#include "platform/Platform.h"

namespace torvinel {

IndexedDiscSource::IndexedDiscSource(std::unique_ptr<DiscSource> source, std::string indexFolder)
    : m_source(std::move(source)), m_indexFolder(std::move(indexFolder)), m_onSource(m_source->discFolderNames())
{
}

bool IndexedDiscSource::onSource(const std::string& discId)
{
    return std::ranges::find(m_onSource, discId) != m_onSource.end();
}

std::string IndexedDiscSource::recorded(const std::string& discId) const
{
    return platform::joinPath(m_indexFolder, discId);
}

std::vector<std::string> IndexedDiscSource::discFolderNames()
{
    std::vector<std::string> names = m_onSource;
    for (const auto& entry : platform::listFolder(m_indexFolder, "2*"))
        if (entry.isFolder && !onSource(entry.name))
            names.push_back(entry.name);
    std::ranges::sort(names);
    return names;
}

std::vector<std::string> IndexedDiscSource::fileNames(const std::string& discId)
{
    if (onSource(discId))
        return m_source->fileNames(discId);
    std::vector<std::string> names;
    for (const auto& entry : platform::listFolder(recorded(discId), "*"))
        if (!entry.isFolder)
            names.push_back(entry.name);
    for (const auto& status : platform::listFolder(recorded(discId), "status.ini"))
        for (const auto& listed : IniReadSection(platform::joinPath(recorded(discId), status.name), "MD5"))
            if (std::ranges::find(names, listed.first) == names.end())
                names.push_back(listed.first);
    return names;
}

bool IndexedDiscSource::copyCatalogs(const std::string& discId, const std::string& targetFolder)
{
    if (onSource(discId))
        return m_source->copyCatalogs(discId, targetFolder);
    bool copied = true;
    for (const auto& entry : platform::listFolder(recorded(discId), "*.csv"))
        if (!entry.isFolder
            && !platform::copyFile(platform::joinPath(recorded(discId), entry.name),
                                   platform::joinPath(targetFolder, entry.name)))
            copied = false;
    return copied;
}

bool IndexedDiscSource::copyStatusIni(const std::string& discId, const std::string& targetFolder)
{
    if (onSource(discId))
        return m_source->copyStatusIni(discId, targetFolder);
    for (const auto& status : platform::listFolder(recorded(discId), "status.ini"))
        return platform::copyFile(platform::joinPath(recorded(discId), status.name),
                                  platform::joinPath(targetFolder, "status.ini"));
    return false;
}

namespace {

// The recorded discs' files take the moments they were written to the second, as Times.txt
// keeps them: a backup set is shown by the time its catalog was written.
void restoreTimes(const std::string& extracted)
{
    const std::string times = platform::joinPath(extracted, DiscIndexTimes);
    if (!platform::fileExists(times))
        return;
    for (const auto& line : readLines(times)) {
        const std::size_t comma = line.rfind(',');
        if (comma == std::string::npos)
            continue;
        const std::string file = line.substr(0, comma);
        // Only a file of a disc folder, never one elsewhere.
        if (file.find("..") != std::string::npos || file.find('/') != discIdLength || !isDiscId(file.substr(0, discIdLength)))
            continue;
        long long seconds = 0;
        const char* const digits = line.c_str() + comma + 1;
        if (std::from_chars(digits, line.c_str() + line.size(), seconds).ec != std::errc())
            continue;
        std::error_code ignored; // a file whose time stays as the archive gave it is no loss
        std::filesystem::last_write_time(
            platform::joinPath(extracted, file),
            std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(seconds))),
            ignored);
    }
    static_cast<void>(platform::deleteFile(times));
}

} // namespace

std::unique_ptr<DiscSource> openIndexedDiscSource(const std::string& drive, const std::string& workFolder)
{
    std::unique_ptr<DiscReader> reader = OpenRestoreDrive(drive);
    std::vector<std::string> discs;
    for (const auto& entry : reader->list(""))
        if (entry.isFolder && platform::matchesMask(entry.name, "2*"))
            discs.push_back(entry.name);
    if (discs.empty())
        throw Error("There is no disc of Torvinel in " + drive + ".");
    const std::string newest = discs.back(); // the list is sorted by name

    if (!platform::folderExists(workFolder) && !platform::createFolders(workFolder))
        throw Error("Could not create " + workFolder);
    const std::string archive = platform::joinPath(workFolder, DiscIndexArchive);
    const std::string inIndex = newest + "/" + DiscIndexFolder + "/" + DiscIndexArchive;
    if (!reader->exists(inIndex))
        throw Error("Disc " + newest + " carries no index of earlier discs; add its discs one by one.");
    if (!reader->copy(inIndex, archive))
        throw Error("Could not copy " + inIndex + " from " + drive);

    const std::string extracted = platform::joinPath(workFolder, "discs");
    if (!platform::folderExists(extracted) && !platform::createFolder(extracted))
        throw Error("Could not create " + extracted);
    ZipArchive zip;
    zip.fileName = archive;
    zip.baseDir = extracted;
    zip.open();
    zip.extractFiles("*.*");
    zip.close();
    restoreTimes(extracted);
    return std::make_unique<IndexedDiscSource>(std::make_unique<ReaderDiscSource>(std::move(reader)), extracted);
}

AddDiskResult addIndexedDiscs(RunState& state, View& view, const std::string& drive,
                              const RestoreRefresh& refreshRestore)
{
    // The application's own folder: never backed up, and gone once the discs are filed.
    const std::string indexFolder = platform::joinPath(state.AppFolder, "indexread");
    struct Cleanup {
        const std::string& folder;
        ~Cleanup() { static_cast<void>(platform::deleteFolder(folder)); }
    } cleanup{indexFolder};
    const auto source = openIndexedDiscSource(drive, indexFolder);
    return addDisc(state, view, *source, refreshRestore);
}

} // namespace torvinel
