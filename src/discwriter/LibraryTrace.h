#pragma once
#include <cstdint>
#include <mutex>
#include <string>

namespace torvinel {

// The optional trace of the disc library's calls during drive discovery. Switched by the
// wrapper's trace switch (platform::libraryTraceSwitch); when on, every WriteTraceLine
// appends "hh:nn:ss.zzz: text" to LogFileName, the program file's folder and name with
// ".log" for its extension. One per program run.
class LibraryTrace {
public:
    // Reads the switch.
    LibraryTrace();
    // A logger set up by hand (tests); an empty logFileName is worked out as above.
    LibraryTrace(bool enabled, int32_t level, std::string logFileName = {});

    bool enabled() const { return m_enabled; }
    int32_t level() const { return m_level; }
    // Worked out at the first use, then kept.
    std::string LogFileName();

    // Appends one line when enabled; level is not looked at. Called on the finder thread
    // inside a library callback, so it never throws: a trace file that cannot be written is
    // reported once on the debugger output and the search goes on without it.
    void WriteTraceLine(const std::string& text, int32_t level = 0);

private:
    std::mutex m_mutex;
    bool m_enabled = false;
    int32_t m_level = 0;
    std::string m_logFileName;
    bool m_failureReported = false;
};

} // namespace torvinel
