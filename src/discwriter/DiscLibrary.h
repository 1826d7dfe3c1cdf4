#pragma once
#include "discwriter/DriveFinder.h"
#include "discwriter/DriveList.h"
#include "discwriter/LibraryTrace.h"

namespace torvinel {

// The disc library for one program run: started when made, shut down when destroyed, so a
// start-up always has its shut-down. It keeps the trace logger and the drive finder whose
// list the burn sessions read at the WriterChooser index. One per program run: the library
// refuses a second start-up while one is running.
class DiscLibrary {
public:
    // Starts the library and reads the trace switch. Raises Error("Discwright_StartUpEx()
    // failed, exception N") when the library does not start; there is then nothing to shut down.
    DiscLibrary();
    // Waits for a drive search still running, then shuts the library down.
    ~DiscLibrary();
    DiscLibrary(const DiscLibrary&) = delete;
    DiscLibrary& operator=(const DiscLibrary&) = delete;

    LibraryTrace& trace() { return m_trace; }
    DriveFinder& finder() { return m_finder; }
    const DriveList& devices() const { return m_finder.DeviceList(); }

private:
    // First member: started before the others are made, shut down after they are gone.
    struct Started {
        Started();
        ~Started();
        Started(const Started&) = delete;
        Started& operator=(const Started&) = delete;
    };

    Started m_started;
    LibraryTrace m_trace;
    DriveFinder m_finder{m_trace};
};

} // namespace torvinel
