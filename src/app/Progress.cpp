#include "app/Progress.h"

#include <algorithm>

namespace torvinel {

namespace {

constexpr int fullBar = 1000;

// A blank line keeps a space, so the label keeps its height.
void updateText(View& view, Window window, Control control, const std::optional<std::string>& text)
{
    if (text)
        view.setText(window, control, text->empty() ? " " : *text);
}

// Toolkit bars ignore values outside their range; a full bar is what the caller means.
void updatePosition(View& view, Window window, Control control, std::optional<int> position)
{
    if (position)
        view.setPosition(window, control, std::clamp(*position, 0, fullBar));
}

} // namespace

void showBackupProgress(View& view, const BackupProgress& progress)
{
    const Window w = Window::BackupProgress;
    // The figures first: a view that draws the bar's line at the step's text draws it whole.
    updateText(view, w, Control::PhaseFigures, progress.figures);
    updateText(view, w, Control::PhaseTime, progress.time);
    updateText(view, w, Control::ProgressCaption, progress.caption);
    updateText(view, w, Control::PhaseText, progress.phase);
    updateText(view, w, Control::ExtraText, progress.extra);
    updateText(view, w, Control::MessageText, progress.message);
    updatePosition(view, w, Control::PhaseBar, progress.phaseBar);
    updatePosition(view, w, Control::ExtraBar, progress.extraBar);
    view.processEvents();
}

void showRestoreProgress(View& view, const RestoreProgress& progress)
{
    const Window w = Window::RestoreProgress;
    updateText(view, w, Control::ProgressFigures, progress.figures);
    updateText(view, w, Control::ProgressTime, progress.time);
    updateText(view, w, Control::ProgressCaption, progress.caption);
    updateText(view, w, Control::ProgressText, progress.progress);
    updateText(view, w, Control::MessageText, progress.message);
    updatePosition(view, w, Control::ProgressBar, progress.bar);
    view.processEvents();
}

void startBackupPhase(View& view, const std::string& title, const std::string& message)
{
    showBackupProgress(view, {.caption = title,
                              .phase = "",
                              .extra = "",
                              .message = message,
                              .phaseBar = 0,
                              .extraBar = 0,
                              .figures = "",
                              .time = ""});
}

void requestBackupCancel(RunState& state, View& view)
{
    state.CancelRequested = true;
    showBackupProgress(view, {.message = "Cancelling..."});
}

void requestRestoreCancel(RunState& state, View& view)
{
    (void)view;
    state.CancelRequested = true;
}

} // namespace torvinel
