#include "app/Log.h"

#include "app/Error.h"

namespace torvinel {

Log::~Log() { close(); }

void Log::open(const std::string& path)
{
    close();
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file)
        throw Error("Could not create " + path);
    m_path = path;
}

void Log::close()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

void Log::WriteLog(const std::string& text)
{
    if (!m_file)
        return; // before start-up opened the log, or after shut-down closed it
    const bool ok = std::fwrite(text.data(), 1, text.size(), m_file) == text.size()
        && std::fwrite("\r\n", 1, 2, m_file) == 2 && std::fflush(m_file) == 0;
    if (!ok)
        throw Error("Could not write to the log file " + m_path);
}

} // namespace torvinel
