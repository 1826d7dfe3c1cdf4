#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "recovery/ImageRecoveryFormat.h"
#include "recovery/RecoveryEncoder.h"

namespace torvinel {

// Writes a recovery file (version 2, recovery/ImageRecoveryFormat.h) to target: the parity of
// the session's layout.protectedBlocks blocks, read through the functions reader() gives (one
// per thread; block indexes count from the session's start, each block asked for once), on
// threads threads, then the metadata. layout is one planImageRecovery gave, with the session's
// start, protected and session blocks and tail filled in; fixed must serialize to
// layout.fixedBytes bytes. Returns the CRC of every protected block, as the file records them.
// Raises Error "Could not write <target>", and what a read raises.
std::vector<uint32_t> writeImageRecovery(ImageRecoveryLayout layout, const RecoveryFixedPart& fixed,
                                         const std::function<RecoveryEncoder::DataRead()>& reader,
                                         const std::string& target, unsigned threads);

} // namespace torvinel
