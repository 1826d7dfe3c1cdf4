#include "ui/RestoreProgressWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/Progress.h"
#include "ui/ProgressControls.h"

namespace torvinel::ui {

RestoreProgressWindow::RestoreProgressWindow(RunState& state, View& view, QWidget* mainWindow, QWidget* parent)
    : ProgressWindow("Restore Progress", mainWindow, parent), m_state(state), m_view(view)
{
    setObjectName("TRestoreProgressForm");
    auto* layout = layOut([this] { cancelClicked(); }, 260);
    layout->addWidget(messageLine("lMessage", 21, palette().color(QPalette::WindowText)));
    layout->addWidget(detailLine("LProgress"));
    layout->addWidget(detailLine("LProgressFigures"));
    layout->addWidget(progressBar("pbProgress"));
    layout->addWidget(detailLine("LProgressTime"));
    layout->addStretch(1);
}

void RestoreProgressWindow::cancelClicked() { requestRestoreCancel(m_state, m_view); }

} // namespace torvinel::ui
