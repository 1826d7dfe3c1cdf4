#include "catalog/BackgroundMd5.h"

#include <cstring>

namespace torvinel {

namespace {
// Pieces held for the worker at most: the reading thread waits rather than hold more.
constexpr std::size_t MaximumPieces = 8;
} // namespace

BackgroundMd5::BackgroundMd5() : m_worker([this] { work(); }) { }

BackgroundMd5::~BackgroundMd5()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_queued.notify_all();
    m_worker.join();
}

void BackgroundMd5::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_taken.wait(lock, [this] { return m_pieces.empty() && !m_busy; });
}

void BackgroundMd5::reset()
{
    waitUntilIdle();
    m_md5.reset();
}

void BackgroundMd5::update(const void* data, std::size_t length)
{
    if (length < LargePiece) {
        waitUntilIdle(); // the pieces before this one come first
        m_md5.update(data, length);
        return;
    }
    std::vector<unsigned char> piece;
    {
        std::unique_lock lock(m_mutex);
        m_taken.wait(lock, [this] { return m_pieces.size() < MaximumPieces; });
        if (!m_spare.empty()) {
            piece = std::move(m_spare.back());
            m_spare.pop_back();
        }
    }
    piece.resize(length);
    std::memcpy(piece.data(), data, length);
    {
        std::lock_guard lock(m_mutex);
        m_pieces.push_back(std::move(piece));
    }
    m_queued.notify_one();
}

Md5Digest BackgroundMd5::final()
{
    waitUntilIdle();
    return m_md5.final();
}

void BackgroundMd5::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_queued.wait(lock, [this] { return m_stopping || !m_pieces.empty(); });
        if (m_stopping)
            return;
        std::vector<unsigned char> piece = std::move(m_pieces.front());
        m_pieces.pop_front();
        m_busy = true;
        lock.unlock();
        m_md5.update(piece.data(), piece.size());
        lock.lock();
        m_busy = false;
        m_spare.push_back(std::move(piece));
        m_taken.notify_all();
    }
}

} // namespace torvinel
