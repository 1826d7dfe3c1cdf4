#pragma once
#include <optional>
#include <string>
#include <vector>

namespace torvinel::cli {

// The disc database commands: discs, state [--set DISCID], remove-disc [--yes] DISCID,
// add-disc SOURCE. Each runs the program's start-up before and its shut-down after.
// Returns the exit code, or nothing when args[0] is not one of them.
std::optional<int> runCatalogCommand(const std::vector<std::string>& args);

// Their lines of the usage text.
extern const char* const catalogUsage;

} // namespace torvinel::cli
