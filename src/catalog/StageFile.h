#pragma once
#include <string>
#include <utility>
#include <vector>

#include "app/RunState.h"
#include "app/View.h"

namespace torvinel {

class StagedDigests;

// Records a file in TempFolder as part of the disc being prepared: appends it to
// StagedFiles, adds its length rounded up to 2048-byte sectors to StagedBytes, writes its
// digest into status.ini beside it (section MD5, key the file's name), and shows the disc's
// fill level in tenths of a percent on PhaseBar, unless a backup run owns that bar
// (OnBurnProgress set).
void StageFile(RunState& state, View& view, const std::string& path);
// The same, but the digest is made by digests on its worker and written by its writeAll().
void StageFile(RunState& state, View& view, const std::string& path, StagedDigests& digests);

// Writes digests (path, 32 hexadecimal digits) in order into the status.ini beside each path,
// under whatever letter case that file already has there: section MD5, key the file's name.
void writeStatusDigests(const std::vector<std::pair<std::string, std::string>>& digests);

// A length rounded up to whole 2048-byte sectors (0 stays 0).
inline std::int64_t sectorRounded(std::int64_t length) { return (length + 2047) / 2048 * 2048; }

} // namespace torvinel
