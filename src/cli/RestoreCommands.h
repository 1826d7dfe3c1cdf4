#pragma once
#include <optional>
#include <string>
#include <vector>

namespace torvinel::cli {

// The restore commands: sets, and restore [--set DISCID] [--from DRIVE] PATH... Each runs
// the program's start-up before and its shut-down after. Returns the exit code, or nothing
// when args[0] is not one of them.
std::optional<int> runRestoreCommand(const std::vector<std::string>& args);

// Their lines of the usage text.
extern const char* const restoreUsage;

} // namespace torvinel::cli
