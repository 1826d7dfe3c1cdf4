#pragma once
#include "app/RunState.h"
#include "app/View.h"
#include "ui/ProgressWindow.h"

namespace torvinel::ui {

// The restore progress window ("Restore Progress"). Cancel only asks the run to stop.
class RestoreProgressWindow : public ProgressWindow {
public:
    RestoreProgressWindow(RunState& state, View& view, QWidget* mainWindow, QWidget* parent = nullptr);

    void cancelClicked();

private:
    RunState& m_state;
    View& m_view;
};

} // namespace torvinel::ui
