#pragma once
#include <QtCore/QCoreApplication>
#include <QtCore/QEvent>
#include <QtCore/QElapsedTimer>
#include <QtCore/QProcess>
#include <QtCore/QThread>

#include <functional>

// Waiting on helper processes (a private bus, mock services) in tests that use Qt.
namespace torvinel::test {

// Lets Qt's events run until condition holds; false when ms passed first.
inline bool waitUntil(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Calls onShow once, when a window of type Window first shows (on the way to the screen, from
// inside the show itself: a callback that must run once the window is up posts itself).
template <typename Window> class OnFirstShow : public QObject {
public:
    explicit OnFirstShow(std::function<void(Window&)> onShow) : m_onShow(std::move(onShow))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = dynamic_cast<Window*>(watched);
        if (window && event->type() == QEvent::Show && m_onShow) {
            const auto onShow = std::move(m_onShow);
            m_onShow = nullptr;
            onShow(*window);
        }
        return false;
    }

private:
    std::function<void(Window&)> m_onShow;
};

// Ends a process: politely first, then for good.
inline void stopProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(2000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

} // namespace torvinel::test
