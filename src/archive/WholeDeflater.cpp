#include "archive/internal/WholeDeflater.h"

#include <algorithm>
#include <array>

#include <libdeflate.h>

namespace torvinel::zipwriter {

namespace {

// A worker's compressors, one per level met (not shareable between threads).
struct Compressors {
    std::array<libdeflate_compressor*, 13> byLevel{};
    ~Compressors()
    {
        for (libdeflate_compressor* c : byLevel)
            if (c)
                libdeflate_free_compressor(c);
    }
    libdeflate_compressor* at(int level)
    {
        const std::size_t index = static_cast<std::size_t>(std::clamp(level, 1, 12));
        if (!byLevel[index])
            byLevel[index] = libdeflate_alloc_compressor(static_cast<int>(index));
        return byLevel[index];
    }
};

void deflateJob(WholeDeflater::Job& job, Compressors& compressors)
{
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

} // namespace

WholeDeflater::WholeDeflater(unsigned threads)
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
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(job));
    }
    m_queued.notify_one();
}

void WholeDeflater::wait(const Job& job)
{
    std::unique_lock lock(m_mutex);
    m_finished.wait(lock, [&] { return job.done; });
}

void WholeDeflater::work()
{
    Compressors compressors;
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(m_mutex);
            m_queued.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        deflateJob(*job, compressors);
        {
            std::lock_guard lock(m_mutex);
            job->done = true;
        }
        m_finished.notify_all();
    }
}

} // namespace torvinel::zipwriter
