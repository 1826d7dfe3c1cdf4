#include "archive/internal/WholeDeflater.h"

#include <algorithm>
#include <array>

#include <libdeflate.h>

namespace torvinel::zipwriter {

// A thread's compressors, one per level met (not shareable between threads).
struct WholeDeflater::Compressors {
    std::array<libdeflate_compressor*, 13> byLevel{};
    Compressors() = default;
    ~Compressors()
    {
        for (libdeflate_compressor* c : byLevel)
            if (c)
                libdeflate_free_compressor(c);
    }
    Compressors(const Compressors&) = delete;
    Compressors& operator=(const Compressors&) = delete;
    libdeflate_compressor* at(int level)
    {
        const std::size_t index = static_cast<std::size_t>(std::clamp(level, 1, 12));
        if (!byLevel[index])
            byLevel[index] = libdeflate_alloc_compressor(static_cast<int>(index));
        return byLevel[index];
    }
};

void WholeDeflater::run(Job& job, Compressors& compressors)
{
    if (job.inspect)
        job.inspect(job.content);
    if (!job.deflate)
        return;
    libdeflate_compressor* compressor = compressors.at(job.level);
    if (!compressor) {
        job.failed = true;
        return;
    }
    job.packed.resize(libdeflate_deflate_compress_bound(compressor, job.content.size()));
    const std::size_t size = libdeflate_deflate_compress(compressor, job.content.data(), job.content.size(),
                                                         job.packed.data(), job.packed.size());
    job.failed = size == 0;
    job.packed.resize(size);
    std::vector<unsigned char>().swap(job.content);
}

WholeDeflater::WholeDeflater(unsigned threads) : m_callerCompressors(std::make_unique<Compressors>())
{
    if (threads == 0)
        threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    for (unsigned i = 0; i < threads; ++i)
        m_workers.emplace_back([this] { work(); });
}

WholeDeflater::~WholeDeflater()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_queued.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

void WholeDeflater::submit(std::shared_ptr<Job> job)
{
    bool idle = false;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(job));
        idle = m_idle > 0;
    }
    if (idle) // a busy worker looks at the queue before it waits
        m_queued.notify_one();
}

void WholeDeflater::wait(const Job& job)
{
    std::shared_ptr<Job> taken;
    {
        std::unique_lock lock(m_mutex);
        const auto queued = std::find_if(m_queue.begin(), m_queue.end(),
                                         [&](const std::shared_ptr<Job>& j) { return j.get() == &job; });
        if (queued == m_queue.end()) {
            m_finished.wait(lock, [&] { return job.done; });
            return;
        }
        taken = std::move(*queued);
        m_queue.erase(queued);
    }
    // Sooner than a worker's wake-up, for the small files that are most of a backup.
    run(*taken, *m_callerCompressors);
    std::lock_guard lock(m_mutex);
    taken->done = true;
}

void WholeDeflater::work()
{
    Compressors compressors;
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(m_mutex);
            ++m_idle;
            m_queued.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
            --m_idle;
            if (m_stopping)
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        run(*job, compressors);
        {
            std::lock_guard lock(m_mutex);
            job->done = true;
        }
        m_finished.notify_all();
    }
}

} // namespace torvinel::zipwriter
