#pragma once
#include <QDialog>

#include <functional>

class QPushButton;
class QVBoxLayout;

namespace torvinel::ui {

// What the two progress windows share: a fixed size, a title bar without buttons or window
// menu, centring on the primary screen whenever shown, and showing the main window again
// when closed.
//
// While a run is going on (setRunning(true)) the window cannot be closed (Escape, the window
// manager, or a close of every window): the main window would come back in the middle of
// the run and offer a second command; the run itself hides the window when it ends. Once
// the run has ended, even by an error that left the window up, the user can close it and
// gets the main window back, and its Cancel button is disabled: nothing is left to cancel.
class ProgressWindow : public QDialog {
public:
    ProgressWindow(const QString& caption, QWidget* mainWindow, QWidget* parent);

    void setRunning(bool running);
    bool running() const { return m_running; }

protected:
    // Lays the window out: a "Progress" group above a centred Cancel button that calls
    // onCancel, at a fixed size of 480 x height. Returns the group's layout for the window's
    // lines and bars.
    QVBoxLayout* layOut(const std::function<void()>& onCancel, int height);

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QWidget* m_mainWindow;
    QPushButton* m_cancel = nullptr;
    bool m_running = false;
};

} // namespace torvinel::ui
