#pragma once
#include <functional>

#include "application/Application.h"
#include "cli/TerminalView.h"

namespace torvinel::cli {

// Runs command between the program's start-up and shut-down, as the GUI runs its windows,
// with the terminal View. A failure's text goes to standard error as the error box would
// show it (exit code 2); Ctrl-C asks the running command to stop, as the Cancel buttons do.
// prepare, when given, sets up the View before start-up reads from it. Only a command that
// backs up uses the saved selection (Selection::Used): the others neither read nor write it.
enum class Selection { Untouched, Used };
int withApplication(const std::function<int(Application&, TerminalView&)>& command,
                    const std::function<void(TerminalView&)>& prepare = {},
                    Selection selection = Selection::Untouched);

} // namespace torvinel::cli
