#include "app/Progress.h"

#include <algorithm>

namespace torvinel {

namespace {

constexpr int fullBar = 1000;

void updateText(View& view, Window window, std::string_view control, const std::string& text)
{
    if (!text.empty())
        view.setText(window, control, text);
}

// Toolkit bars ignore values outside their range; a full bar is what the caller means.
void updatePosition(View& view, Window window, std::string_view control, int position)
{
    if (position >= 0)
        view.setPosition(window, control, std::min(position, fullBar));
}

} // namespace

void ShowBackupProgress(View& view, const std::string& caption, const std::string& phaseText,
                        const std::string& extraText, const std::string& messageText,
                        int phasePosition, int extraPosition)
{
    const Window w = Window::BackupProgress;
    updateText(view, w, "gbProgressbars", caption);
    updateText(view, w, "LPhase", phaseText);
    updateText(view, w, "LExtra", extraText);
    updateText(view, w, "lMessage", messageText);
    updatePosition(view, w, "pbPhase", phasePosition);
    updatePosition(view, w, "pbExtra", extraPosition);
    view.processEvents();
}

void ShowRestoreProgress(View& view, const std::string& caption, const std::string& progressText,
                         const std::string& messageText, int position)
{
    const Window w = Window::RestoreProgress;
    updateText(view, w, "gbProgressbars", caption);
    updateText(view, w, "LProgress", progressText);
    updateText(view, w, "lMessage", messageText);
    updatePosition(view, w, "pbProgress", position);
    view.processEvents();
}

void StartBackupPhase(View& view, const std::string& title, const std::string& message)
{
    ShowBackupProgress(view, title, " ", " ", message.empty() ? " " : message, 0, 0);
}

void requestBackupCancel(RunState& state, View& view)
{
    state.CancelRequested = true;
    ShowBackupProgress(view, "", "", "", "Cancelling...", -1, -1);
}

void requestRestoreCancel(RunState& state, View& view)
{
    (void)view;
    state.CancelRequested = true;
}

} // namespace torvinel
