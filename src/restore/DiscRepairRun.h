#pragma once
#include <string>
#include <vector>

#include "discwright/DiscReader.h"
#include "recovery/RecoveryData.h"

namespace torvinel {

// How the repair of a disc went.
struct DiscRepairReport {
    DiscRepair repair;                    // blocks lost, rebuilt, codewords at their limit
    std::vector<std::string> notRebuilt;  // files beyond repair, or whose MD5 still differs
    std::size_t files = 0;                // protected files written
};

// Rebuilds the files of disc discId, read through reader, from its recovery file, into
// outputFolder. Every block is read where it lies (a bad sector fails only its own block, and
// is read again twice), so what the disc still gives is used however it is spread. Raises
// Error "Disc <DiscId> carries no recovery data." or "The recovery data of disc <DiscId> cannot
// be read." when there is nothing to repair from, and "Could not write <path>".
DiscRepairReport repairDiscFiles(DiscReader& reader, const std::string& discId, const std::string& outputFolder);

} // namespace torvinel
