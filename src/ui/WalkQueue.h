#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace torvinel::ui {

// File system walks for the window, run one at a time on a thread of their own so the window
// never waits for a disk. Each job has a key (the folder it counts) and is handed a stop token
// that is requested when the job is withdrawn or the queue goes; a job delivers its result to
// the user-interface thread itself (a queued call).
// Calls from the user-interface thread only wait for the queue's lock, never for a job; the
// destructor stops the running job and waits for it to return (one file system entry).
class WalkQueue {
public:
    using Job = std::function<void(std::stop_token stop)>;
    using KeyedJob = std::pair<std::string, Job>;

    WalkQueue();
    ~WalkQueue();
    WalkQueue(const WalkQueue&) = delete;
    WalkQueue& operator=(const WalkQueue&) = delete;

    // Puts jobs, in their order, before every job waiting: what was asked for last is wanted
    // first. A waiting job with the key of a new one is dropped.
    void pushFront(std::vector<KeyedJob> jobs);
    // Drops the waiting jobs whose key matches and stops the running one if its key matches.
    void withdraw(const std::function<bool(const std::string& key)>& matches);
    // Drops every waiting job, stops the running one and queues job.
    void replaceAll(KeyedJob job);

private:
    void run(std::stop_token stop);

    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::deque<KeyedJob> m_waiting;
    std::string m_runningKey;
    std::stop_source m_running{std::nostopstate}; // of the job running; none between jobs
    std::jthread m_thread;                        // last: started once the rest exists, stopped and joined first
};

} // namespace torvinel::ui
