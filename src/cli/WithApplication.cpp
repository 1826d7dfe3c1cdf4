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

extern "C" void onInterrupt(int) { interrupted = 1; }

// A file of the application folder, known before start-up has set the folders up.
std::string appFile(const std::string& name)
{
    return platform::joinPath(platform::joinPath(platform::applicationDataFolder(), "Torvinel"), name);
}

// The terminal has no tree of the computer to tick. The selection is kept as top-level items
// of the in-memory tree, one per path: ticked for each path of FQList.txt that still exists,
// unticked for each path of FQUList.txt. So start-up's restoring of the selection (which
// reports the vanished paths), a backup's phase 1 and shut-down's saving see exactly the
// saved paths, and every command leaves both files as they were. (Items with ancestors would
// let a lone ticked child tick its parents.)
void offerSelection(TerminalView& view)
{
    MemoryCheckTree& tree = view.backupMemoryTree();
    const std::string ticked = appFile("FQList.txt");
    if (platform::fileExists(ticked)) {
        for (const auto& path : readLines(ticked))
            if (!path.empty() && (platform::fileExists(path) || platform::folderExists(path)))
                tree.addNode(nullptr, path);
    } else {
        tree.addNode(nullptr, platform::documentsFolder()); // the first start's selection
    }
    const std::string unticked = appFile("FQUList.txt");
    if (platform::fileExists(unticked))
        for (const auto& path : readLines(unticked))
            if (!path.empty())
                tree.addNode(nullptr, path);
}

// Only the GUI's tree knows which items of the computer are unticked: a command line that
// found no FQUList.txt leaves none behind, or the GUI's next start would take every item of
// the computer for a new one and ask about each.
void forgetUntickedList(bool existedBefore)
{
    // A list that cannot be deleted costs the GUI's next start those questions, nothing more.
    if (!existedBefore)
        static_cast<void>(platform::deleteFile(appFile("FQUList.txt")));
}

void report(const Error& error) { std::fprintf(stderr, "%s\n", errorBoxText(error.what()).c_str()); }

} // namespace

int withApplication(const std::function<int(Application&, TerminalView&)>& command,
                    const std::function<void(TerminalView&)>& prepare, Selection selection)
{
    const bool usesSelection = selection == Selection::Used;
    const bool untickedListExisted = platform::fileExists(appFile("FQUList.txt"));
    TerminalView view;
    if (usesSelection)
        offerSelection(view);
    if (prepare)
        prepare(view);
    Application application(view);
    application.setSelectionUsed(usesSelection);
    interrupted = 0;
    view.onProcessEvents = [&] {
        if (interrupted)
            application.state().CancelRequested = true;
    };
    const auto previous = std::signal(SIGINT, onInterrupt);
    int code = Failed;
    try {
        application.startUp();
        // Without a drive to read discs from, start-up has said that the program ends.
        code = application.startedUp() ? command(application, view) : Failed;
    } catch (const Error& error) {
        report(error);
        code = Failed;
    }
    std::signal(SIGINT, previous);
    try {
        application.shutDown();
        // A start refused because another Torvinel runs leaves that one's list alone.
        if (usesSelection && application.holdsInstanceLock())
            forgetUntickedList(untickedListExisted);
    } catch (const Error& error) {
        report(error);
        code = Failed;
    }
    return code;
}

} // namespace torvinel::cli
