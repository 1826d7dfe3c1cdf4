#pragma once
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/SortedList.h"

namespace torvinel {

// What losing one disc would cost: the files of the newest backup state that could no longer
// be restored without it.
struct DiscLoss {
    std::string disc;
    std::size_t files = 0;
    int64_t bytes = 0;
};

// A file of the newest state with one usable copy only, and the disc (the last volume's
// disc, for a split archive) that holds it.
struct SingleCopy {
    std::string path;
    int64_t bytes = 0;
    std::string disc;
};

struct LossReport {
    std::vector<DiscLoss> discs;         // every disc given, in their order
    std::vector<SingleCopy> singleCopies; // in the state's order
    std::vector<std::string> noCopy;      // paths the database knows no complete copy of
};

// Where the newest state (its catalog lines) depends on single discs. A copy needs every disc
// that holds a volume of its archive; a disc is needed for a file when every usable copy of
// the file needs it. Copies on discs known to be damaged are usable only when a file has no
// other: then the damaged discs are what it depends on.
LossReport discLossReport(const std::string& databaseFolder, const SortedList& discs, const SortedList& newestState,
                          const std::set<std::string>& damagedDiscs);

} // namespace torvinel
