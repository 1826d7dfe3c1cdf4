#pragma once
#include "app/RunState.h"
#include "app/View.h"
#include "ui/ProgressWindow.h"

namespace torvinel::ui {

// The backup progress window ("Backup progress"). Cancel asks the run to stop and says so.
class BackupProgressWindow : public ProgressWindow {
public:
    BackupProgressWindow(RunState& state, View& view, QWidget* mainWindow, QWidget* parent = nullptr);

    void cancelClicked();

private:
    RunState& m_state;
    View& m_view;
};

} // namespace torvinel::ui
