#include "ui/BackupProgressWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/Progress.h"
#include "ui/ProgressControls.h"

namespace torvinel::ui {

BackupProgressWindow::BackupProgressWindow(RunState& state, View& view, QWidget* mainWindow, QWidget* parent)
    : ProgressWindow("Backup progress", mainWindow, parent), m_state(state), m_view(view)
{
    setObjectName("TProgressForm");
    auto* layout = layOut([this] { cancelClicked(); }, 350);
    layout->addWidget(detailLine("HowManyDisks"));
    layout->addWidget(messageLine("lMessage", 19, QColor(0x80, 0, 0)));
    layout->addWidget(detailLine("LPhase"));
    layout->addWidget(detailLine("LPhaseFigures"));
    layout->addWidget(progressBar("pbPhase"));
    layout->addWidget(detailLine("LPhaseTime"));
    layout->addSpacing(6);
    layout->addWidget(detailLine("LExtra"));
    layout->addWidget(progressBar("pbExtra"));
    layout->addStretch(1);
}

void BackupProgressWindow::cancelClicked() { requestBackupCancel(m_state, m_view); }

} // namespace torvinel::ui
