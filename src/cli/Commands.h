#pragma once
#include <string>
#include <vector>

namespace torvinel::cli {

// Exit codes of every command. FilesLeftOut: a backup or restore finished but left files out
// (each named on standard error).
enum ExitCode { Done = 0, Cancelled = 1, Failed = 2, FilesLeftOut = 3 };

// Says on standard error what is wrong with a command's arguments ("torvinel-cli: <text>");
// returns Failed.
int usageError(const std::string& text);

// Runs torvinel-cli with its arguments (without the program name).
int run(const std::vector<std::string>& args);

} // namespace torvinel::cli
