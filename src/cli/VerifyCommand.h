#pragma once
#include <optional>
#include <string>
#include <vector>

namespace torvinel::cli {

// "verify [--from DRIVE] [DISCID]": checks a disc (see verifyDisc), prints its report and
// records the result in DiscHealth.csv. Exit 0 sound, 3 damaged, 2 when the disc could not
// be read at all (the reason on standard error), 1 cancelled.
// "verify --next": prints the DiscId of the database's disc to check next, checks nothing.
// Returns the exit code, or nothing when args[0] is not "verify".
std::optional<int> runVerifyCommand(const std::vector<std::string>& args);

extern const char* const verifyUsage;

} // namespace torvinel::cli
