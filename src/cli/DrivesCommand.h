#pragma once
#include <optional>
#include <string>
#include <vector>

namespace torvinel::cli {

// "drives": runs the start-up, searches the drives as the windows would and prints the
// items of WriterChooser (the disc writers) and then those of RestoreDrive (where discs are
// read from), one per line. Returns the exit code, or nothing when args[0] is not "drives".
std::optional<int> runDrivesCommand(const std::vector<std::string>& args);

extern const char* const drivesUsage;

} // namespace torvinel::cli
