#include "ui/BackupProgressWindow.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Progress.h"
#include "ui/ProgressControls.h"

namespace torvinel::ui {

BackupProgressWindow::BackupProgressWindow(RunState& state, View& view, QWidget* mainWindow, QWidget* parent)
    : ProgressWindow("Backup progress", mainWindow, parent), m_state(state), m_view(view)
{
    setObjectName("TProgressForm");
    auto* group = new QGroupBox("Progress", this);
    group->setObjectName("gbProgressbars");
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(detailLine("HowManyDisks"));
    layout->addWidget(messageLine("lMessage", 19, QColor(0x80, 0, 0)));
    layout->addWidget(detailLine("LPhase"));
    layout->addWidget(progressBar("pbPhase"));
    layout->addWidget(detailLine("LExtra"));
    layout->addWidget(progressBar("pbExtra"));
    layout->addStretch(1);

    auto* cancel = cancelButton();
    connect(cancel, &QPushButton::clicked, this, [this] { cancelClicked(); });
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(group);
    outer->addWidget(cancel, 0, Qt::AlignHCenter);
    setFixedSize(480, 300);
}

void BackupProgressWindow::cancelClicked()
{
    requestBackupCancel(m_state, m_view);
}

} // namespace torvinel::ui
