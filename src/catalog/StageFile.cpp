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
    // A disc of no free room (DiscFreeBytes -1 or less) shows a full bar instead of dividing by zero.
    std::int64_t level = INT_MAX;
    if (state.DiscFreeBytes + 1 > 0)
        level = std::min<std::int64_t>(state.StagedBytes * 1000 / (state.DiscFreeBytes + 1), INT_MAX);
    showBackupProgress(view, {.phaseBar = static_cast<int>(level)});
}

} // namespace

void writeStatusDigest(const std::string& path, const std::string& digestHex)
{
    const std::size_t cut = path.find_last_of(platform::pathSeparator());
    const std::string folder = cut == std::string::npos ? std::string(".") : path.substr(0, cut);
    const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    IniWriteString(statusIniIn(folder), "MD5", name, digestHex);
}

void StageFile(RunState& state, View& view, const std::string& path)
{
    stage(state, view, path, [&] { writeStatusDigest(path, DigestHex(FileDigest(path))); });
}

void StageFile(RunState& state, View& view, const std::string& path, StagedDigests& digests)
{
    stage(state, view, path, [&] { digests.add(path); });
}

} // namespace torvinel
