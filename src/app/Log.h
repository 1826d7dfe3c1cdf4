#pragma once
#include <cstdio>
#include <string>

namespace torvinel {

// LogFile.txt: created empty at start-up, one line per WriteLog (CR LF, no time stamp),
// flushed at once. A failed write raises Error("Could not write to the log file " + path).
class Log {
public:
    Log() = default;
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // Creates (truncates) the file; raises Error("Could not create " + path) on failure.
    void open(const std::string& path);
    void close();
    bool isOpen() const { return m_file != nullptr; }
    const std::string& path() const { return m_path; }

    void WriteLog(const std::string& text);

private:
    std::FILE* m_file = nullptr;
    std::string m_path;
};

} // namespace torvinel
