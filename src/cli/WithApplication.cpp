#include "cli/WithApplication.h"

#include <csignal>
#include <cstdio>

#include "app/Error.h"
#include "app/MemoryCheckTree.h"
#include "app/TextFile.h"
#include "platform/Platform.h"
#include "cli/Commands.h"

namespace torvinel::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int)
{
    interrupted = 1;
}

// The terminal has no tree of the computer to tick. The ticks are kept as top-level items of
// the in-memory tree, one per selected path that still exists, so that start-up's restoring
// of the selection (which reports the vanished ones), a backup's phase 1 and shut-down's
// saving all see exactly the selected paths: every command keeps FQList.txt as it was.
// (Items with ancestors would let a lone ticked child tick its parents.)
void offerSelection(TerminalView& view)
{
    MemoryCheckTree& tree = view.backupMemoryTree();
    const std::string appFolder = platform::joinPath(platform::applicationDataFolder(), "Torvinel");
    const std::string saved = platform::joinPath(appFolder, "FQList.txt");
    if (platform::fileExists(saved)) {
        for (const auto& path : readLines(saved))
            if (!path.empty() && (platform::fileExists(path) || platform::folderExists(path)))
                tree.addNode(nullptr, path);
    } else {
        tree.addNode(nullptr, platform::documentsFolder()); // the first start's selection
    }
}

void report(const Error& error)
{
    std::fprintf(stderr, "%s\n", errorBoxText(error.what()).c_str());
}

} // namespace

int withApplication(const std::function<int(Application&, TerminalView&)>& command,
                    const std::function<void(TerminalView&)>& prepare)
{
    TerminalView view;
    offerSelection(view);
    if (prepare)
        prepare(view);
    Application application(view);
    interrupted = 0;
    view.onProcessEvents = [&] {
        if (interrupted)
            application.state().CancelRequested = true;
    };
    const auto previous = std::signal(SIGINT, onInterrupt);
    int code = Failed;
    try {
        application.FormCreate();
        // Without a drive to read discs from, start-up has said that the program ends.
        code = application.startedUp() ? command(application, view) : Failed;
    } catch (const Error& error) {
        report(error);
        code = Failed;
    }
    std::signal(SIGINT, previous);
    try {
        application.FormClose();
    } catch (const Error& error) {
        report(error);
        code = Failed;
    }
    return code;
}

} // namespace torvinel::cli
