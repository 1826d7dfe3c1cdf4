#include "catalog/StageFile.h"

#include <climits>
#include <functional>

#include "app/IniFile.h"
#include "app/Progress.h"
#include "catalog/FileDigest.h"
#include "catalog/GetFileLength.h"
#include "catalog/StagedDigests.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

// status.ini in folder, under whatever letter case it already has there.
std::string statusIniIn(const std::string& folder)
{
    const auto found = platform::listFolder(folder, "status.ini");
    return platform::joinPath(folder, found.empty() ? std::string("status.ini") : found.front().name);
}

void stage(RunState& state, View& view, const std::string& path, const std::function<void()>& digest)
{
    state.StagedFiles.push_back(path);
    state.StagedBytes += sectorRounded(GetFileLength(view, path));
    digest();

    // A backup run that measures its whole work keeps the phase bar for it (see RunState).
    if (state.OnBurnProgress)
        return;
    // A disc of no free room (DiscFreeBytes -1 or less) shows a full bar instead of dividing by zero.
    std::int64_t level = INT_MAX;
    if (state.DiscFreeBytes + 1 > 0)
        level = std::min<std::int64_t>(state.StagedBytes * 1000 / (state.DiscFreeBytes + 1), INT_MAX);
    showBackupProgress(view, {.phaseBar = static_cast<int>(level)});
}

} // namespace

void writeStatusDigests(const std::vector<std::pair<std::string, std::string>>& digests)
{
    // One write of each status.ini for a run of files in its folder.
    for (std::size_t run = 0; run < digests.size();) {
        const std::string& first = digests[run].first;
        const std::size_t cut = first.find_last_of(platform::pathSeparator());
        const std::string folder = cut == std::string::npos ? std::string(".") : first.substr(0, cut);
        std::vector<std::pair<std::string, std::string>> keys;
        for (; run < digests.size(); ++run) {
            const std::string& path = digests[run].first;
            const std::size_t at = path.find_last_of(platform::pathSeparator());
            if ((at == std::string::npos ? std::string(".") : path.substr(0, at)) != folder)
                break;
            keys.emplace_back(at == std::string::npos ? path : path.substr(at + 1), digests[run].second);
        }
        IniWriteStrings(statusIniIn(folder), "MD5", keys);
    }
}

void StageFile(RunState& state, View& view, const std::string& path)
{
    stage(state, view, path, [&] { writeStatusDigests({{path, DigestHex(FileDigest(path))}}); });
}

void StageFile(RunState& state, View& view, const std::string& path, StagedDigests& digests)
{
    stage(state, view, path, [&] { digests.add(path); });
}

} // namespace torvinel
