#pragma once
#include <string>
#include <vector>

namespace torvinel::cli {

// Exit codes of every command. FilesLeftOut: a backup or restore finished but left files out
// (each named on standard error).
enum ExitCode { Done = 0, Cancelled = 1, Failed = 2, FilesLeftOut = 3 };

// Runs torvinel-cli with its arguments (without the program name).
int run(const std::vector<std::string>& args);

} // namespace torvinel::cli
