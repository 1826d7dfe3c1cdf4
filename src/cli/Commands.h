#pragma once
#include <string>
#include <vector>

namespace torvinel::cli {

// Exit codes of every command. Incomplete: a restore finished but left files out.
enum ExitCode { Done = 0, Cancelled = 1, Failed = 2, Incomplete = 3 };

// Runs torvinel-cli with its arguments (without the program name).
int run(const std::vector<std::string>& args);

} // namespace torvinel::cli
