#pragma once
#include <memory>
#include <string>

#include "app/RunState.h"
#include "app/View.h"

namespace torvinel {

class TPwrSave;

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

    // The power-event guard holds off sleep and session end from start-up on. Tests that
    // must not touch the system bus switch it off before FormCreate.
    void setPowerGuardEnabled(bool enabled) { m_powerGuardEnabled = enabled; }
    TPwrSave* powerGuard() { return m_pwrSave.get(); }

private:
    View& m_view;
    RunState m_state;
    std::unique_ptr<TPwrSave> m_pwrSave;
    bool m_powerGuardEnabled = true;
    bool m_startedUp = false;
    bool m_libraryStarted = false;
};

} // namespace torvinel
