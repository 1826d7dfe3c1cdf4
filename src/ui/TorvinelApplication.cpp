#include "ui/TorvinelApplication.h"

#include <QMessageBox>

#include "app/Error.h"
#include "app/View.h"

namespace torvinel::ui {

TorvinelApplication::TorvinelApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName("Torvinel");
    setApplicationDisplayName("Torvinel");
    // The installed desktop entry: the desktop matches the window to its name and icon.
    setDesktopFileName("com.quenmark.Torvinel");
}

bool TorvinelApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const Error& e) {
        const std::string text = errorBoxText(e.what());
        if (m_view)
            m_view->showError(text);
        else
            QMessageBox::critical(nullptr, "Torvinel", QString::fromStdString(text));
    }
    return false;
}

} // namespace torvinel::ui
