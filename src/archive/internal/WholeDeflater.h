#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Deflating whole entries on worker threads while the caller reads the next file.
namespace torvinel::zipwriter {

// One content deflated whole at one level, and shown to inspect first when it is set.
struct DeflateJob {
    int level = 6;
    bool deflate = true;                // else only inspected, and kept as it is
    std::vector<unsigned char> content; // freed once deflated
    std::function<void(const std::vector<unsigned char>&)> inspect;
    std::vector<unsigned char> packed;
    bool failed = false;
    bool done = false; // guarded by the deflater
};

// Each job is one content deflated in one call of the whole-buffer compressor at its level,
// as DataEncoder deflates an entry under WholeEntryLimit: the same bytes whatever the number
// of threads and whichever thread takes the job.
class WholeDeflater {
public:
    using Job = DeflateJob;

    // threads 0: one per processor.
    explicit WholeDeflater(unsigned threads = 0);
    // Waits for the jobs a worker holds; queued jobs are never done then.
    ~WholeDeflater();
    WholeDeflater(const WholeDeflater&) = delete;
    WholeDeflater& operator=(const WholeDeflater&) = delete;

    void submit(std::shared_ptr<Job> job);
    // Returns once job (submitted here) is done. A job no worker has taken yet is done by
    // the caller instead of waiting for one. Called from one thread at a time.
    void wait(const Job& job);

private:
    struct Compressors;
    static void run(Job& job, Compressors& compressors);
    void work();

    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_finished;
    std::deque<std::shared_ptr<Job>> m_queue;
    unsigned m_idle = 0; // workers waiting for a job
    bool m_stopping = false;
    std::unique_ptr<Compressors> m_callerCompressors; // for the jobs wait() takes back
    std::vector<std::thread> m_workers;
};

} // namespace torvinel::zipwriter
