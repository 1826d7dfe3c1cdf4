#include "discwriter/DriveFinder.h"

#include <chrono>
#include <cstdlib>

#include "discwriter/DiscoveryCallback.h"
#include "discwright/Discwright.h"

namespace torvinel {

namespace {

bool russian()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return std::string(value).rfind("ru", 0) == 0;
    }
    return false;
}

} // namespace

std::string DriveFinder::RefreshingText()
{
    return russian() ? "Обновление списка устройств" : "Refreshing device list";
}

std::string DriveFinder::PleaseWaitText() { return russian() ? "Пожалуйста, подождите ..." : "Please, wait ..."; }

std::string DriveFinder::FoundDeviceText() { return russian() ? "Найдено устройство:" : "Found device:"; }

DriveFinder::DriveFinder(LibraryTrace& logger) : m_logger(logger) { }

DriveFinder::~DriveFinder() { WaitForFinder(nullptr); }

void DriveFinder::RefreshDevices(View& view, bool showProgress)
{
    struct Cleanup {
        DriveFinder& finder;
        ~Cleanup()
        {
            std::lock_guard lock(finder.m_mutex);
            finder.m_busyWindow = false;
            finder.m_pendingText.reset();
        }
    } cleanup{*this};

    {
        std::lock_guard lock(m_mutex);
        m_busyWindow = showProgress;
        m_pendingText.reset();
    }

    if (showProgress) {
        WindowGeometry g = view.geometry(Window::Busy);
        g.width = 300;
        view.setGeometry(Window::Busy, g);
        view.setText(Window::Busy, Control::BusyCaption, RefreshingText());
        view.setVisible(Window::Busy, Control::BusyCancel, false);
        view.showWindow(Window::Busy);
        view.setText(Window::Busy, Control::BusyInfo, PleaseWaitText());
        view.processEvents();
    }

    WaitForFinder(&view);
    m_list.clear();
    {
        std::lock_guard lock(m_mutex);
        m_running = true;
    }
    m_thread = std::thread([this] {
        DiscoveryContext context{m_list, m_logger, [this](const std::string& product) { deviceFound(product); }};
        try {
            m_logger.WriteTraceLine("Discwright_FindDevice");
            // A search that cannot run (the library not started) leaves the list empty, as
            // one that finds no drive does.
            static_cast<void>(Discwright_FindDevice(5, 0, DiscoveryCallback, &context));
        } catch (...) {
            // Nothing may leave the thread; what was found so far stays in the list.
        }
        FinderDone();
    });
    WaitForFinder(&view);

    if (showProgress) {
        showPendingText(view);
        view.hideWindow(Window::Busy);
    }
}

void DriveFinder::FinderDone()
{
    std::lock_guard lock(m_mutex);
    m_running = false;
    m_finished.notify_all();
}

void DriveFinder::WaitForFinder(View* view)
{
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (!m_running)
                break;
            if (m_finished.wait_for(lock, std::chrono::milliseconds(80), [this] { return !m_running; }))
                break;
        }
        if (view) {
            showPendingText(*view);
            view->processEvents();
        }
    }
    if (m_thread.joinable())
        m_thread.join();
}

void DriveFinder::deviceFound(const std::string& product)
{
    std::lock_guard lock(m_mutex);
    if (m_busyWindow)
        m_pendingText = FoundDeviceText() + " " + product;
}

void DriveFinder::showPendingText(View& view)
{
    std::optional<std::string> text;
    {
        std::lock_guard lock(m_mutex);
        text.swap(m_pendingText);
    }
    if (text)
        view.setText(Window::Busy, Control::BusyInfo, *text);
}

} // namespace torvinel
