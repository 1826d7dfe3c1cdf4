#include "archive/internal/PieceDeflater.h"

#include <algorithm>
#include <memory>

#include <libdeflate.h>

#include "archive/internal/DeflateBlockWalker.h"

namespace torvinel::zipwriter {

struct PieceDeflater::Piece {
    std::vector<unsigned char> input;
    std::size_t inputSize = 0;
    Packed packed;
    bool done = false;
};

namespace {

// What one worker keeps from piece to piece: its compressor (not shareable between
// threads) and the walker that finds a stream's last block.
struct WorkerTools {
    libdeflate_compressor* compressor = nullptr;
    DeflateBlockWalker walker;

    explicit WorkerTools(int level) : compressor(libdeflate_alloc_compressor(level)) { }
    ~WorkerTools()
    {
        if (compressor)
            libdeflate_free_compressor(compressor);
    }
    WorkerTools(const WorkerTools&) = delete;
    WorkerTools& operator=(const WorkerTools&) = delete;

    bool walk(PieceDeflater::Packed& packed)
    {
        DeflateBlockWalker::Found found;
        if (!walker.walk(packed.bytes.data(), packed.size, found))
            return false;
        packed.finalHeaderBit = found.finalHeaderBit;
        packed.endBit = found.endBit;
        return true;
    }
};

} // namespace

PieceDeflater::PieceDeflater(int level, unsigned threads, std::size_t pieceSize)
    : m_level(level), m_pieceSize(std::max<std::size_t>(pieceSize, 1))
{
    if (threads == 0)
        threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    // Two pieces more than workers: one being read, one waiting to be written.
    m_pieces.resize(threads + 2);
    m_workers.reserve(threads);
    for (unsigned i = 0; i < threads; ++i)
        m_workers.emplace_back([this] { work(); });
}

PieceDeflater::~PieceDeflater()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_queued.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

void PieceDeflater::work()
{
    WorkerTools tools(m_level);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_queued.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        Piece& piece = m_pieces[m_queue.front()];
        m_queue.pop_front();
        ++m_busy;
        lock.unlock();

        Packed& packed = piece.packed;
        const std::size_t bound =
            tools.compressor ? libdeflate_deflate_compress_bound(tools.compressor, m_pieceSize) + 8 : 0;
        if (packed.bytes.size() < bound)
            packed.bytes.resize(bound);
        packed.size = tools.compressor ? libdeflate_deflate_compress(tools.compressor, piece.input.data(),
                                                                     piece.inputSize, packed.bytes.data(), bound - 8)
                                       : 0;
        packed.failed = packed.size == 0;
        // A full piece may be followed by more: it must know where its last block lies.
        if (!packed.failed && piece.inputSize == m_pieceSize)
            packed.failed = !tools.walk(packed);

        lock.lock();
        piece.done = true;
        --m_busy;
        m_finished.notify_all();
    }
}

void PieceDeflater::makeJoinable(Packed& packed)
{
    unsigned char* bytes = packed.bytes.data();
    bytes[packed.finalHeaderBit / 8] &= static_cast<unsigned char>(~(1u << (packed.finalHeaderBit % 8)));
    // A stored block's header is three zero bits, padded with zeros to the byte's end, then
    // its length 0 and the length's complement.
    const uint64_t end = packed.endBit;
    if (end % 8 != 0)
        bytes[end / 8] &= static_cast<unsigned char>((1u << (end % 8)) - 1);
    const auto headerEnd = static_cast<std::size_t>((end + 3 + 7) / 8);
    for (auto i = static_cast<std::size_t>((end + 7) / 8); i < headerEnd; ++i)
        bytes[i] = 0;
    const unsigned char emptyStored[4] = {0x00, 0x00, 0xff, 0xff};
    std::copy(std::begin(emptyStored), std::end(emptyStored), bytes + headerEnd);
    packed.size = headerEnd + 4;
}

void PieceDeflater::waitUntilIdle(std::unique_lock<std::mutex>& lock)
{
    m_queue.clear();
    m_finished.wait(lock, [this] { return m_busy == 0; });
}

bool PieceDeflater::deflate(const Read& read, zipio::BufferedWriter& out)
{
    std::deque<std::size_t> order; // pieces handed out, oldest first
    std::size_t next = 0;
    bool ended = false;
    bool any = false;
    // Whatever happens, no worker may still hold a piece when this returns.
    struct Idle {
        PieceDeflater& deflater;
        ~Idle()
        {
            std::unique_lock lock(deflater.m_mutex);
            deflater.waitUntilIdle(lock);
        }
    } idle{*this};

    for (;;) {
        while (!ended && order.size() < m_pieces.size()) {
            Piece& piece = m_pieces[next];
            if (piece.input.size() < m_pieceSize)
                piece.input.resize(m_pieceSize);
            piece.inputSize = 0;
            while (piece.inputSize < m_pieceSize) {
                const std::size_t n = read(piece.input.data() + piece.inputSize, m_pieceSize - piece.inputSize);
                if (n == 0) {
                    ended = true;
                    break;
                }
                piece.inputSize += n;
            }
            if (piece.inputSize == 0 && any)
                break; // the content ended with the previous piece
            any = true;
            {
                std::lock_guard lock(m_mutex);
                piece.done = false;
                m_queue.push_back(next);
            }
            m_queued.notify_one();
            order.push_back(next);
            next = (next + 1) % m_pieces.size();
        }
        if (order.empty())
            return true;
        Piece& oldest = m_pieces[order.front()];
        {
            std::unique_lock lock(m_mutex);
            m_finished.wait(lock, [&] { return oldest.done; });
        }
        order.pop_front();
        if (oldest.packed.failed)
            return false;
        if (!(ended && order.empty()))
            makeJoinable(oldest.packed);
        out.write(oldest.packed.bytes.data(), oldest.packed.size);
    }
}

} // namespace torvinel::zipwriter
