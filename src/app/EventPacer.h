#pragma once
#include <chrono>

namespace torvinel {

// Tells a progress callback that fires for every buffer when to let pending events run:
// at most once per interval, so that a run spends its time on the work and not in the event
// loop, while a click on Cancel or a Ctrl-C is still seen well within a second.
class EventPacer {
public:
    using Clock = std::chrono::steady_clock;
    explicit EventPacer(Clock::duration interval = std::chrono::milliseconds(50)) : m_interval(interval) { }

    // True at the first call and then once the interval has passed since the last true.
    bool due()
    {
        const Clock::time_point now = Clock::now();
        if (m_started && now - m_last < m_interval)
            return false;
        m_started = true;
        m_last = now;
        return true;
    }

private:
    Clock::duration m_interval;
    Clock::time_point m_last{};
    bool m_started = false;
};

} // namespace torvinel
