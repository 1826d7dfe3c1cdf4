#pragma once
#include <string>

#include "app/RunState.h"
#include "app/View.h"

namespace torvinel {

// The program's core: start-up, shut-down and the run-wide state. The GUI (ui/TMain) and
// the command line (cli/) each create one around their own View.
class Application {
public:
    explicit Application(View& view);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The start-up sequence. Raises Error with the step's text when a step fails; the later
    // steps are then not carried out and startedUp() stays false.
    void FormCreate();
    // The shut-down sequence; does nothing when start-up did not complete.
    void FormClose();
    bool startedUp() const { return m_startedUp; }

    RunState& state() { return m_state; }
    View& view() { return m_view; }

private:
    View& m_view;
    RunState m_state;
    bool m_startedUp = false;
    bool m_libraryStarted = false;
};

} // namespace torvinel
