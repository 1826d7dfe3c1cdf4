#include "cli/WithApplication.h"

#include <csignal>
#include <cstdio>

#include "app/Error.h"
#include "cli/Commands.h"

namespace torvinel::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int)
{
    interrupted = 1;
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
