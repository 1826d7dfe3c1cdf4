#include "catalog/AssembleBackupState.h"

#include <algorithm>
#include <cctype>

#include "app/Error.h"
#include "app/Progress.h"
#include "app/TextFile.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscNames.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

// ArchiveName + ".csv": 19 characters; a volume catalog is longer (ArchiveName_kkk.csv).
constexpr std::size_t plainCatalogNameLength = archiveNameLength + 4;

int volumeNumber(const std::string& name)
{
    // The characters after "ArchiveName_" up to ".csv".
    const std::size_t first = archiveNameLength + 1;
    const std::string field = name.size() >= first + 4 ? name.substr(first, name.size() - 4 - first) : std::string();
    return decimalField(field);
}

} // namespace

void AssembleBackupState(RunState& state, View& view, std::string& NewestDisc, std::string& OldestCSV,
                         bool showProgress)
{
    state.BackupState.clear();
    state.DeletedPaths.clear();
    state.SplitArchiveName.clear();
    state.SplitFileLine.clear();
    state.RotationPoint.clear();
    state.SplitVolumesDone = -1;
    bool save = false;
    bool stop = false;
    std::string contributor;

    if (showProgress)
        showBackupProgress(view, {.phase = "Retrieving Backup Disc list", .phaseBar = 0});

    ListDiscs(state, view);
    SortedList& discs = state.DiscList;
    if (!discs.empty()) {
        std::size_t position = 0;
        if (NewestDisc.empty() || NewestDisc == discs.back()) {
            NewestDisc = discs.back();
            save = true;
        } else if (discs.find(NewestDisc, position)) {
            while (discs.size() > position + 1)
                discs.erase(discs.size() - 1);
        }
    }

    const auto lineLess = [](const std::string& a, const std::string& b) { return platform::comparePaths(a, b) < 0; };
    const std::size_t discCount = discs.size();
    for (std::size_t d = discCount; d-- > 0 && !stop;) {
        const std::string discFolder = platform::joinPath(state.DatabaseFolder, discs[d]);
        ListFiles(platform::joinPath(discFolder, "2*.csv"), state.ScratchNames);
        const SortedList& catalogs = state.ScratchNames;
        for (std::size_t c = catalogs.size(); c-- > 0 && !stop;) {
            const std::string& name = catalogs[c];
            if (showProgress)
                showBackupProgress(
                    view,
                    {.phase = "File: " + name, .phaseBar = static_cast<int>((discCount - d - 1) * 1000 / discCount)});
            const char kind =
                name.size() >= archiveNameLength ? char(std::tolower(static_cast<unsigned char>(name[14]))) : '\0';

            std::vector<std::string> lines = readLines(platform::joinPath(discFolder, name));
            std::sort(lines.begin(), lines.end(), lineLess);

            const std::string archive = name.substr(0, archiveNameLength);
            if (state.SplitVolumesDone == -1 || archive == state.SplitArchiveName) {
                if (name.size() <= plainCatalogNameLength) {
                    state.SplitVolumesDone = 0;
                    state.SplitArchiveName.clear();
                    state.SplitFileLine.clear();
                } else {
                    state.SplitArchiveName = archive;
                    state.SplitFileLine = lines.empty() ? std::string() : lines.back();
                    state.SplitVolumesDone = std::max(state.SplitVolumesDone, volumeNumber(name));
                }
            }

            if (archive != state.SplitArchiveName) {
                for (std::size_t l = lines.size(); l-- > 0;) {
                    const std::string_view path = catalogPathView(lines[l]);
                    // Not a catalog line (a damaged or foreign file). A line whose opening quote
                    // is lost could not be looked up by its path, and would stand in the state
                    // beside the path's real line.
                    if (path.empty() || lines[l].front() != '"')
                        continue;
                    if (kind == 'n' || kind == 'f') {
                        const bool rotation = kind == 'f' && state.RotationPoint.empty();
                        if (rotation)
                            state.RotationPoint = path;
                        if (!state.DeletedPaths.contains(path) && !StateHasPath(state.BackupState, path).found) {
                            state.BackupState.add(std::move(lines[l]));
                            contributor = name;
                        }
                    } else if (kind == 'd') {
                        if (!StateHasPath(state.BackupState, path).found)
                            state.DeletedPaths.add(std::string(path));
                    }
                }
            }

            if (platform::samePath(name, OldestCSV))
                stop = true;
        }
    }

    OldestCSV = contributor;
    if (save) {
        state.BackupState.saveToFile(state.appFile("BackupList.txt"));
        state.DeletedPaths.saveToFile(state.appFile("DeletedState.txt"));
    }
}

} // namespace torvinel
