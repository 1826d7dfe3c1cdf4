#pragma once
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace torvinel {

// The digests of staged files, made on a worker thread while packing goes on, so that the
// reading thread does not read every archive a second time itself. writeAll() puts them into
// the status.ini beside each file, in the order the files were added, exactly as StageFile
// writes them one at a time; nothing may read those status.ini files before it returns (the
// burn comes after it). A file must stay unchanged from add() until writeAll() returns.
class StagedDigests {
public:
    StagedDigests();
    // Waits for the worker; digests not yet written are dropped (their files are not burnt).
    ~StagedDigests();
    StagedDigests(const StagedDigests&) = delete;
    StagedDigests& operator=(const StagedDigests&) = delete;

    void add(const std::string& path);
    // Waits for every digest added, writes them and forgets them. IniWriteString's failures
    // are raised as they are from StageFile.
    void writeAll();
    // Forgets every digest added, written or not.
    void discard();

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_finished;
    std::deque<std::size_t> m_queue;                            // indexes into m_digests still to make
    std::vector<std::pair<std::string, std::string>> m_digests; // path, hexadecimal digest
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_worker;
};

} // namespace torvinel
