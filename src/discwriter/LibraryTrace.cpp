#include "discwriter/LibraryTrace.h"

#include <chrono>

#include "app/Error.h"
#include "discwriter/TextFormat.h"
#include "discwriter/WrapperServices.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

std::string timeOfDay()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto milliseconds = duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const platform::Stamp local = platform::localTime(system_clock::to_time_t(now));
    return Format("%02d:%02d:%02d.%03d", local.hour, local.minute, local.second, static_cast<int>(milliseconds));
}

} // namespace

LibraryTrace::LibraryTrace()
{
    const platform::TraceSwitch traceSwitch = platform::libraryTraceSwitch();
    m_enabled = traceSwitch.enabled;
    m_level = traceSwitch.level;
}

LibraryTrace::LibraryTrace(bool enabled, int32_t level, std::string logFileName)
    : m_enabled(enabled), m_level(level), m_logFileName(std::move(logFileName))
{
}

std::string LibraryTrace::LogFileName()
{
    std::lock_guard lock(m_mutex);
    if (m_logFileName.empty()) {
        const std::string program = platform::programFile();
        const auto slash = program.find_last_of("/\\");
        const std::string folder = slash == std::string::npos ? std::string() : program.substr(0, slash + 1);
        m_logFileName = folder + NameWithoutExtension(program) + ".log";
    }
    return m_logFileName;
}

void LibraryTrace::WriteTraceLine(const std::string& text, int32_t /*level*/)
{
    if (!m_enabled)
        return;
    const std::string file = LogFileName();
    std::lock_guard lock(m_mutex);
    try {
        AppendLine(file, timeOfDay() + ": " + text);
    } catch (const Error& error) {
        if (!m_failureReported)
            platform::debugOutput(std::string("Discwright : trace not written: ") + error.what());
        m_failureReported = true;
    }
}

} // namespace torvinel
