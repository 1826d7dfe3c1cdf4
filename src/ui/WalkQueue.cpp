#include "ui/WalkQueue.h"

#include <algorithm>

namespace torvinel::ui {

WalkQueue::WalkQueue() : m_thread([this](std::stop_token stop) { run(std::move(stop)); }) { }

WalkQueue::~WalkQueue()
{
    m_thread.request_stop(); // also stops the running job, through the link in run()
    m_thread.join();
}

void WalkQueue::pushFront(std::vector<KeyedJob> jobs)
{
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_waiting, [&jobs](const KeyedJob& waiting) {
            return std::any_of(jobs.begin(), jobs.end(),
                               [&waiting](const KeyedJob& job) { return job.first == waiting.first; });
        });
        m_waiting.insert(m_waiting.begin(), std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
    }
    m_wake.notify_one();
}

void WalkQueue::withdraw(const std::function<bool(const std::string& key)>& matches)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_waiting, [&matches](const KeyedJob& waiting) { return matches(waiting.first); });
    if (m_running.stop_possible() && matches(m_runningKey))
        m_running.request_stop();
}

void WalkQueue::replaceAll(KeyedJob job)
{
    {
        std::lock_guard lock(m_mutex);
        m_waiting.clear();
        if (m_running.stop_possible())
            m_running.request_stop();
        m_waiting.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void WalkQueue::run(std::stop_token stop)
{
    for (;;) {
        KeyedJob next;
        std::stop_source jobStop;
        {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait(lock, stop, [this] { return !m_waiting.empty(); }))
                return; // the queue goes
            next = std::move(m_waiting.front());
            m_waiting.pop_front();
            m_runningKey = next.first;
            m_running = jobStop;
        }
        {
            const std::stop_callback link(stop, [&jobStop] { jobStop.request_stop(); });
            next.second(jobStop.get_token());
        }
        std::lock_guard lock(m_mutex);
        m_running = std::stop_source(std::nostopstate);
        m_runningKey.clear();
    }
}

} // namespace torvinel::ui
