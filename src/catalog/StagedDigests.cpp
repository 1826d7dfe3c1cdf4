#include "catalog/StagedDigests.h"

#include "catalog/FileDigest.h"
#include "catalog/StageFile.h"

namespace torvinel {

StagedDigests::StagedDigests() : m_worker([this] { work(); }) { }

StagedDigests::~StagedDigests()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_queued.notify_all();
    m_worker.join();
}

void StagedDigests::add(const std::string& path)
{
    {
        std::lock_guard lock(m_mutex);
        m_digests.emplace_back(path, std::string());
        m_queue.push_back(m_digests.size() - 1);
    }
    m_queued.notify_one();
}

void StagedDigests::writeAll()
{
    std::vector<std::pair<std::string, std::string>> digests;
    {
        std::unique_lock lock(m_mutex);
        m_finished.wait(lock, [this] { return m_queue.empty() && !m_busy; });
        digests.swap(m_digests);
    }
    writeStatusDigests(digests);
}

void StagedDigests::discard()
{
    std::unique_lock lock(m_mutex);
    m_queue.clear();
    m_finished.wait(lock, [this] { return !m_busy; });
    m_digests.clear();
}

void StagedDigests::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_queued.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        const std::size_t index = m_queue.front();
        m_queue.pop_front();
        const std::string path = m_digests[index].first;
        m_busy = true;
        lock.unlock();
        const std::string digest = DigestHex(FileDigest(path));
        lock.lock();
        m_busy = false;
        m_digests[index].second = digest;
        m_finished.notify_all();
    }
}

} // namespace torvinel
