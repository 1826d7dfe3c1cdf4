#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace torvinel {

// A file to restore as the plan sees it: its size and its copies, each copy the discs it
// needs (every volume's disc, in volume order; the last one holds the file's archive and is
// counted as supplying it). A line without copies cannot be restored.
struct PlanLine {
    int64_t bytes = 0;
    std::vector<std::vector<std::string>> copies;
};

struct PlannedDisc {
    std::string disc;
    int files = 0;     // lines this disc supplies
    int64_t bytes = 0; // their sizes
};

struct RestorePlan {
    // The discs to ask for, newest first, each once.
    std::vector<PlannedDisc> discs;
    // Per line: the copy to take (an index into its copies), -1 when it has none.
    std::vector<int> choice;
};

// Chooses few discs that together hold a copy of every line that has one: greedily the disc
// that completes the most lines, the newer one on a tie; when no single disc completes a
// line (only copies split over several discs are left), the copy that needs the fewest
// discs not yet chosen. Each line then takes the copy that is complete soonest in the
// order the discs are asked for.
RestorePlan planRestore(const std::vector<PlanLine>& lines);

// "This restore needs 3 discs: 20261210007, 20261210004, 20261210002" ("1 disc: ...").
std::string planMessage(const RestorePlan& plan);

} // namespace torvinel
