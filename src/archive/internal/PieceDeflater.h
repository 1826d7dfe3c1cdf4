#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/internal/ZipIo.h"

// Deflating a long content on every core as one raw deflate stream.
namespace torvinel::zipwriter {

// The content is cut into pieces of a fixed size, each deflated on its own by a worker
// thread with the whole-buffer compressor. Every piece but the last has its final-block
// mark cleared and is closed by an empty stored block, which ends it on a byte boundary, so
// that the pieces join into one stream that any inflater reads. The cuts depend on the
// content alone: the stream is the same whatever the number of threads.
class PieceDeflater {
public:
    static constexpr std::size_t DefaultPieceSize = std::size_t{4} << 20;

    // threads 0: one per processor.
    explicit PieceDeflater(int level, unsigned threads = 0, std::size_t pieceSize = DefaultPieceSize);
    ~PieceDeflater();
    PieceDeflater(const PieceDeflater&) = delete;
    PieceDeflater& operator=(const PieceDeflater&) = delete;

    // read(data, size) gives up to size bytes of the content, 0 at its end. The stream goes
    // to out in order. Returns once all of it is there (false when the compressor failed),
    // or when read or out threw, in every case after the workers let go of every piece.
    using Read = std::function<std::size_t(unsigned char*, std::size_t)>;
    [[nodiscard]] bool deflate(const Read& read, zipio::BufferedWriter& out);

    // The stream of one piece, joinable when it was cut from a longer content.
    struct Packed {
        std::vector<unsigned char> bytes;
        std::size_t size = 0;
        uint64_t finalHeaderBit = 0; // where the mark of the last block lies
        uint64_t endBit = 0;         // where the stream ends
        bool failed = false;
    };
    // Makes a piece's stream continue: clears its final mark and closes it with an empty
    // stored block. bytes must have room for 5 bytes past size.
    static void makeJoinable(Packed& packed);

private:
    struct Piece;
    void work();
    void waitUntilIdle(std::unique_lock<std::mutex>& lock);

    int m_level;
    std::size_t m_pieceSize;
    std::vector<Piece> m_pieces;
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_finished;
    std::deque<std::size_t> m_queue; // pieces waiting for a worker
    unsigned m_busy = 0;             // pieces a worker holds
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

} // namespace torvinel::zipwriter
