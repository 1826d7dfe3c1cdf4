#include "ui/RestoreProgressWindow.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Progress.h"
#include "ui/ProgressControls.h"

namespace torvinel::ui {

RestoreProgressWindow::RestoreProgressWindow(RunState& state, View& view, QWidget* mainWindow, QWidget* parent)
    : ProgressWindow("Restore Progress", mainWindow, parent), m_state(state), m_view(view)
{
    setObjectName("TRestoreProgressForm");
    auto* group = new QGroupBox("Progress", this);
    group->setObjectName("gbProgressbars");
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(messageLine("lMessage", 21, palette().color(QPalette::WindowText)));
    layout->addWidget(detailLine("LProgress"));
    layout->addWidget(progressBar("pbProgress"));
    layout->addStretch(1);

    auto* cancel = cancelButton();
    connect(cancel, &QPushButton::clicked, this, [this] { cancelClicked(); });
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(group);
    outer->addWidget(cancel, 0, Qt::AlignHCenter);
    setFixedSize(480, 220);
}

void RestoreProgressWindow::cancelClicked()
{
    requestRestoreCancel(m_state, m_view);
}

} // namespace torvinel::ui
