#pragma once
#include <optional>
#include <string>
#include <vector>

namespace torvinel::cli {

// backup [--select PATH]... [--md5|--no-md5] [--verify|--no-verify] [--writer INDEX]: one
// backup run through the same core as the Backup button, between start-up and shut-down.
// --select replaces the ticks for this run (FQList.txt otherwise); --md5 and --verify set
// the two options for this run only; --writer picks the WriterChooser item (0 by default).
// Exit code 0 finished, 1 cancelled (also by Ctrl-C), 2 failure. Nothing when args[0] is not
// "backup".
std::optional<int> runBackupCommand(const std::vector<std::string>& args);

// Its lines of the usage text.
extern const char* const backupUsage;

} // namespace torvinel::cli
