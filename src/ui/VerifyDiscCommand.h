#pragma once
#include <string>

#include "app/RunState.h"

namespace torvinel::ui {

class BusyWindow;
class QtView;

// The Advanced page's "Verify disc": the check of the command line's verify, on the disc in
// the drive chosen in AddDiscDrive (nothing happens when none is chosen). A drive holding
// several discs (the image drive's shelf) asks which one, offering first the disc to check
// next. The check runs in the busy window, whose Cancel stops it; then
// - a sound disc: an information box with the report's first line ("Disc <DiscId>: all N
//   files are sound."), the rest of the report as its details;
// - a damaged disc: a warning box, the same way;
// - a disc that could not be read, or no disc: an error box with the reason;
// - a cancelled check: nothing is shown or recorded.
// Every completed check is recorded in DiscHealth.csv (verifyAndRecord). Raises what
// verifyAndRecord raises.
class VerifyDiscCommand {
public:
    VerifyDiscCommand(RunState& state, QtView& view, BusyWindow& busy);
    VerifyDiscCommand(const VerifyDiscCommand&) = delete;
    VerifyDiscCommand& operator=(const VerifyDiscCommand&) = delete;

    void run();
    // Stops the check under way at its next step; nothing when none runs.
    void cancel() { m_cancelled = true; }

private:
    // The DiscId of the disc to check among those of the drive; "" when there is none or the
    // user cancelled the choice (told or asked here).
    std::string chooseDisc(const std::string& drive, const std::vector<std::string>& discs);

    RunState& m_state;
    QtView& m_view;
    BusyWindow& m_busy;
    bool m_cancelled = false;
};

} // namespace torvinel::ui
