#include "app/WorkMeter.h"

#include <algorithm>
#include <cmath>

#include "app/FiguresText.h"

namespace torvinel {

WorkMeter::WorkMeter(Clock clock) : m_clock(std::move(clock)), m_start(m_clock()) { }

void WorkMeter::start()
{
    bytesDone = bytesTotal = filesDone = filesTotal = 0;
    m_start = m_clock();
}

int WorkMeter::bar() const
{
    if (bytesTotal <= 0)
        return 1000;
    const double share = static_cast<double>(std::max<int64_t>(bytesDone, 0)) / static_cast<double>(bytesTotal);
    return static_cast<int>(std::min(share, 1.0) * 1000.0);
}

int WorkMeter::percent() const { return bar() / 10; }

std::chrono::seconds WorkMeter::elapsed() const
{
    return std::max(std::chrono::seconds(0), std::chrono::duration_cast<std::chrono::seconds>(m_clock() - m_start));
}

std::optional<double> WorkMeter::rate() const
{
    const auto span = std::chrono::duration<double>(m_clock() - m_start);
    if (span < MinimumSpan || bytesDone <= 0 || bytesTotal <= 0
        || static_cast<double>(bytesDone) < MinimumShare * static_cast<double>(bytesTotal))
        return std::nullopt;
    return static_cast<double>(bytesDone) / span.count();
}

std::optional<std::chrono::seconds> WorkMeter::left() const
{
    const std::optional<double> bytesPerSecond = rate();
    if (!bytesPerSecond)
        return std::nullopt;
    const double remaining = static_cast<double>(std::max<int64_t>(bytesTotal - bytesDone, 0));
    return std::chrono::seconds(static_cast<int64_t>(std::ceil(remaining / *bytesPerSecond)));
}

std::string WorkMeter::timeText() const
{
    std::string text = durationText(elapsed()) + " elapsed";
    if (const std::optional<double> bytesPerSecond = rate())
        text += " · " + bytesText(static_cast<int64_t>(*bytesPerSecond)) + "/s · about " + durationText(*left())
            + " left";
    return text;
}

std::string WorkMeter::figuresText(const std::string& what) const
{
    std::string text = what + ": " + std::to_string(percent()) + "% · " + bytesText(bytesDone) + " of "
        + bytesText(bytesTotal);
    if (filesTotal > 0)
        text += " · " + std::to_string(filesDone) + " of " + filesText(filesTotal);
    return text;
}

} // namespace torvinel
