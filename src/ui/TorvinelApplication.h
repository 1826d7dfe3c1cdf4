#pragma once
#include <QApplication>

namespace torvinel {
class View;
}

namespace torvinel::ui {

// The Qt application named "Torvinel", and the program's last line of defence: a failure
// (torvinel::Error) that leaves an event handler is shown in the error box titled "Torvinel"
// with the full-stop rule, and the program goes on. Handlers should still catch their
// failures themselves where they can, since unwinding through the toolkit is a last resort.
class TorvinelApplication : public QApplication {
public:
    TorvinelApplication(int& argc, char** argv);

    void setView(View* view) { m_view = view; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    View* m_view = nullptr;
};

} // namespace torvinel::ui
