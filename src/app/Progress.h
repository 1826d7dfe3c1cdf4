#pragma once
#include <string>

#include "app/RunState.h"
#include "app/View.h"

namespace torvinel {

// The two progress windows as every run writes to them.
//
// An empty text or a negative position leaves its control as it is, so a line can only be
// blanked by passing a single space. Positions run 0..1000; anything above shows a full bar.
// After the updates the pending user-interface events are handled; that is where a click on
// Cancel takes effect, so runs call these often.

// Updates gbProgressbars (caption), LPhase, LExtra, lMessage, pbPhase and pbExtra of the
// backup progress window.
void ShowBackupProgress(View& view, const std::string& caption, const std::string& phaseText,
                        const std::string& extraText, const std::string& messageText,
                        int phasePosition, int extraPosition);

// Updates gbProgressbars (caption), LProgress, lMessage and pbProgress of the restore
// progress window.
void ShowRestoreProgress(View& view, const std::string& caption, const std::string& progressText,
                         const std::string& messageText, int position);

// Starts a phase of a backup run: the title as caption, both detail lines blanked, the
// phase's message (blanked when empty) and both bars at 0.
void StartBackupPhase(View& view, const std::string& title, const std::string& message = "");

// The Cancel buttons. Both ask the running operation to stop; the backup window also says so.
void requestBackupCancel(RunState& state, View& view);
void requestRestoreCancel(RunState& state, View& view);

} // namespace torvinel
