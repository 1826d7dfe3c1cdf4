#pragma once
#include "application/Application.h"
#include "application/ClosingMessageView.h"
#include "restore/RestoreRun.h"

namespace torvinel {

// The one wiring of a restore run, for the Restore button and for `torvinel-cli restore`:
// runRestore on the application's state and view, its end (finished, cancelled or failed)
// told to the desktop with the run's closing message (notifyRunEnd). A run that had nothing
// to restore made no folder and is not told: its box was the whole of it.
// REQUIRES: application has started up.
class RestoreRunner {
public:
    explicit RestoreRunner(Application& application) : m_application(application), m_view(application.view()) { }
    RestoreRunner(const RestoreRunner&) = delete;
    RestoreRunner& operator=(const RestoreRunner&) = delete;

    // One restore run of tree's ticks (see runRestore); a failure is raised as Error.
    RestoreResult run(const CheckTree& tree, const RestoreRunOptions& options = {});

private:
    Application& m_application;
    ClosingMessageView m_view;
};

} // namespace torvinel
