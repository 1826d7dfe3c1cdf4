#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "catalog/Md5.h"

namespace torvinel {

// An Md5 (same results, same calls) that digests large pieces on a worker thread of its own,
// so that the thread reading a file can go on reading while the digest catches up. A large
// piece is copied before update() returns: the caller may reuse its memory at once. Small
// pieces are digested by the caller (once the worker is done with what it holds), since a
// hand-over would cost more than the digest. Not for use from two threads at once.
class BackgroundMd5 {
public:
    BackgroundMd5();
    ~BackgroundMd5();
    BackgroundMd5(const BackgroundMd5&) = delete;
    BackgroundMd5& operator=(const BackgroundMd5&) = delete;

    void reset();
    void update(const void* data, std::size_t length);
    // Waits for the worker, then as Md5::final: the digest, and a fresh state.
    Md5Digest final();

    // Pieces from this size on go to the worker.
    static constexpr std::size_t LargePiece = std::size_t{64} << 10;

private:
    void waitUntilIdle();
    void work();

    Md5 m_md5; // the caller's while the worker is idle, the worker's while it has pieces
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_taken;                 // a piece was digested (the worker may be idle now)
    std::deque<std::vector<unsigned char>> m_pieces; // waiting for the worker, oldest first
    std::vector<std::vector<unsigned char>> m_spare; // digested pieces' memory, for reuse
    bool m_busy = false;                             // the worker digests a piece
    bool m_stopping = false;
    std::thread m_worker;
};

} // namespace torvinel
