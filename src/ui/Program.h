#pragma once

namespace torvinel::ui {

// The program in the running Qt application: creates the main window and runs the start-up,
// then the backup and restore progress windows; shows the main window on its About page and
// runs the message loop until it closes, which runs the shut-down.
// When the start-up fails, its error box is shown and the function returns 1 at once: the
// main window never appears, so no backup or restore can be started after a failed start.
// Returns the message loop's exit code otherwise.
int runTorvinel();

} // namespace torvinel::ui
