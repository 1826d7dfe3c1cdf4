#include "ui/ProgressWindow.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ProgressControls.h"
#include <QGuiApplication>
#include <QScreen>

namespace torvinel::ui {

ProgressWindow::ProgressWindow(const QString& caption, QWidget* mainWindow, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_mainWindow(mainWindow)
{
    setWindowTitle(caption);
    setModal(false);
}

void ProgressWindow::setRunning(bool running)
{
    m_running = running;
    if (m_cancel)
        m_cancel->setEnabled(running);
}

QVBoxLayout* ProgressWindow::layOut(const std::function<void()>& onCancel, int height)
{
    auto* group = new QGroupBox("Progress", this);
    group->setObjectName("gbProgressbars");
    auto* cancel = cancelButton();
    m_cancel = cancel;
    connect(cancel, &QPushButton::clicked, this, onCancel);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(group);
    outer->addWidget(cancel, 0, Qt::AlignHCenter);
    setFixedSize(480, height);
    return new QVBoxLayout(group);
}

void ProgressWindow::showEvent(QShowEvent* event)
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect whole = screen->geometry();
        // Integer division rounds toward zero, also for a window larger than the screen.
        move((whole.width() - width()) / 2, (whole.height() - height()) / 2);
    }
    QDialog::showEvent(event);
}

void ProgressWindow::closeEvent(QCloseEvent* event)
{
    if (m_running) {
        event->ignore();
        return;
    }
    // QDialog would turn the close into reject(); a plain close is what is meant here.
    QWidget::closeEvent(event);
    if (m_mainWindow)
        m_mainWindow->show();
}

void ProgressWindow::reject()
{
    // Escape closes the window only when no run needs it.
    if (!m_running)
        close();
}

} // namespace torvinel::ui
