#include "cli/Commands.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>

#include "cli/BackupCommand.h"
#include "cli/CatalogCommands.h"
#include "cli/RestoreCommands.h"
#include "cli/DrivesCommand.h"
#include "cli/VerifyCommand.h"
#include "discwright/Discwright.h"

namespace torvinel::cli {

namespace {

const char* const usage = "Usage: torvinel-cli COMMAND [OPTIONS]\n"
                          "\n"
                          "Torvinel keeps your files on write-once CD and DVD discs (or disc images).\n"
                          "\n"
                          "Commands:\n"
                          "  --version     print the program's and the disc library's version\n"
                          "  --help        print this text\n"
                          "\n"
                          "Exit codes: 0 done, 1 cancelled, 2 failure, 3 finished but files were left out.\n";

int printVersion()
{
    const unsigned library = Discwright_GetVersion();
    std::printf("torvinel-cli %s (disc library %08X)\n", TORVINEL_VERSION, library);
    return Done;
}

// The lines of the usage texts that describe command: its own line and the indented lines
// under it. Empty for a command no usage text has.
std::string commandUsage(const std::string& command)
{
    for (const char* group : {backupUsage, catalogUsage, restoreUsage, verifyUsage, drivesUsage}) {
        std::istringstream lines(group);
        std::string text;
        bool inside = false;
        for (std::string line; std::getline(lines, line);) {
            const bool commandLine = line.size() > 2 && line.compare(0, 2, "  ") == 0 && line[2] != ' ';
            if (commandLine)
                inside = line.compare(2, command.size(), command) == 0
                    && (line.size() == 2 + command.size() || line[2 + command.size()] == ' ');
            if (inside)
                text += line + "\n";
        }
        if (!text.empty())
            return text;
    }
    return {};
}

bool asksForHelp(const std::vector<std::string>& args)
{
    return std::any_of(args.begin() + 1, args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; });
}

} // namespace

int usageError(const std::string& text)
{
    std::fprintf(stderr, "torvinel-cli: %s\n", text.c_str());
    return Failed;
}

int run(const std::vector<std::string>& args)
{
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(usage, args.empty() ? stderr : stdout);
        std::fprintf(args.empty() ? stderr : stdout, "\nBackup:\n%s", backupUsage);
        std::fprintf(args.empty() ? stderr : stdout, "\nDisc database commands:\n%s", catalogUsage);
        std::fprintf(args.empty() ? stderr : stdout, "\nRestore commands:\n%s", restoreUsage);
        std::fprintf(args.empty() ? stderr : stdout, "\nDisc checks:\n%s", verifyUsage);
        std::fprintf(args.empty() ? stderr : stdout, "\nDrive commands:\n%s", drivesUsage);
        return args.empty() ? Failed : Done;
    }
    if (args[0] == "--version")
        return printVersion();
    if (asksForHelp(args)) {
        const std::string text = commandUsage(args[0]);
        if (!text.empty()) {
            std::printf("Usage: torvinel-cli COMMAND [OPTIONS]\n\n%s", text.c_str());
            return Done;
        }
    }
    if (const auto code = runBackupCommand(args))
        return *code;
    if (const auto code = runCatalogCommand(args))
        return *code;
    if (const auto code = runRestoreCommand(args))
        return *code;
    if (const auto code = runVerifyCommand(args))
        return *code;
    if (const auto code = runDrivesCommand(args))
        return *code;
    std::fprintf(stderr, "torvinel-cli: unknown command \"%s\"\n\n%s", args[0].c_str(), usage);
    return Failed;
}

} // namespace torvinel::cli
