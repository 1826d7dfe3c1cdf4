#pragma once
#include <functional>

#include <QDialog>

class QLabel;
class QPushButton;
class QTimer;

namespace torvinel::ui {

class BusyAnimation;

// The small busy window the drive search shows ("Refreshing device list"): a turning
// animation, one line of text (lblInfo) and a Cancel button (btnCancel). Client area
// 442 x 60, a tool window centred on the screen. Each time it is shown it starts the
// animation, keeps itself in front and empties its line; hidden, it stops the animation.
// The View reaches it as Window::Busy; its caption is set through the control named like
// the window, "TfrmOperationProgress".
class BusyWindow : public QDialog {
public:
    explicit BusyWindow(QWidget* parent = nullptr);

    // Called when btnCancel is clicked.
    std::function<void(BusyWindow&)> OnCancel;

    void setCancelVisible(bool visible);
    // Animate and lblInfo centred vertically in the client area.
    void centreControls();

    bool animating() const;
    bool stayInFront() const { return m_stayInFront; }
    QLabel* info() const { return m_info; }
    QPushButton* cancelButton() const { return m_cancel; }
    QWidget* animation() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void layoutControls();

    BusyAnimation* m_animate = nullptr;
    QLabel* m_info = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_stayInFront = false;
};

} // namespace torvinel::ui
