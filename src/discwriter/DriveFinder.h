#pragma once
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/View.h"
#include "discwriter/DriveList.h"
#include "discwriter/LibraryTrace.h"

namespace torvinel {

// Finds the drives the disc library can reach. The search runs on a thread of its own
// (Discwright_FindDevice and the discovery callback, which opens each drive and reads what
// it can); meanwhile the user-interface thread waits in WaitForFinder and keeps the windows
// alive, and touches the device list only once the thread has ended. Made once at start-up;
// the list then stays as found until the program ends.
class DriveFinder {
public:
    explicit DriveFinder(LibraryTrace& logger);
    // Waits for a search still running.
    ~DriveFinder();
    DriveFinder(const DriveFinder&) = delete;
    DriveFinder& operator=(const DriveFinder&) = delete;

    // Rebuilds the device list. With showProgress the busy window (Window::Busy: caption
    // "Refreshing device list", BusyInfo, BusyCancel hidden) is shown while the search runs and
    // names each drive found.
    void RefreshDevices(View& view, bool showProgress);
    // Returns when no search is running, letting the view's events run every 80 ms.
    void WaitForFinder(View* view);

    const DriveList& DeviceList() const { return m_list; }

    // The busy window's texts in the user's language (English, or Russian where the
    // environment asks for it).
    static std::string RefreshingText();
    static std::string PleaseWaitText();
    static std::string FoundDeviceText();

private:
    void FinderDone();
    // On the finder thread, for each drive found: keeps its product text for the
    // user-interface thread to show.
    void deviceFound(const std::string& product);
    void showPendingText(View& view);

    LibraryTrace& m_logger;
    DriveList m_list;

    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::thread m_thread;
    bool m_running = false;    // a finder thread is remembered
    bool m_busyWindow = false; // a refresh with the busy window is going on
    std::optional<std::string> m_pendingText;
};

} // namespace torvinel
