#pragma once
#include <optional>
#include <string>

#include "app/RunState.h"
#include "app/View.h"

namespace torvinel {

// The two progress windows as every run writes to them.
//
// A field left empty (nullopt) leaves its control as it is; an empty text blanks its line.
// Bar positions run 0..1000; anything above shows a full bar. After the updates the pending
// user-interface events are handled; that is where a click on Cancel takes effect, so runs
// call these often.

struct BackupProgress {
    std::optional<std::string> caption{}; // the phase title over the bars
    std::optional<std::string> phase{};   // the line over the phase bar
    std::optional<std::string> extra{};   // the line over the second bar
    std::optional<std::string> message{}; // the message line
    std::optional<int> phaseBar{};
    std::optional<int> extraBar{};
    std::optional<std::string> figures{}; // what the phase bar measures, with its figures
    std::optional<std::string> time{};    // elapsed, rate and time left of that
};

struct RestoreProgress {
    std::optional<std::string> caption{};
    std::optional<std::string> progress{}; // the line over the bar
    std::optional<std::string> message{};
    std::optional<int> bar{};
    std::optional<std::string> figures{}; // what the bar measures, with its figures
    std::optional<std::string> time{};    // elapsed, rate and time left of that
};

void showBackupProgress(View& view, const BackupProgress& progress);
void showRestoreProgress(View& view, const RestoreProgress& progress);

// Starts a phase of a backup run: the title as caption, both detail lines and the figures
// blanked, the phase's message (blanked when empty) and both bars at 0.
void startBackupPhase(View& view, const std::string& title, const std::string& message = "");

// The Cancel buttons. Both ask the running operation to stop; the backup window also says so.
void requestBackupCancel(RunState& state, View& view);
void requestRestoreCancel(RunState& state, View& view);

} // namespace torvinel
