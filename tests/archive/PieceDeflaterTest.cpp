// Deflating in pieces on worker threads: one valid stream, the same for any thread count.
#include "ArchiveTestSupport.h"
#include "archive/internal/PieceDeflater.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

#include <zlib.h>

namespace torvinel::archivetest {
namespace {

using zipwriter::PieceDeflater;

class PieceDeflaterTest : public ArchiveTest {
protected:
    // The stream PieceDeflater makes of content, fed to it in reads of at most step bytes.
    std::string deflated(const std::string& content, unsigned threads, std::size_t pieceSize, std::size_t step)
    {
        const std::string file = path("stream");
        platform::File out = platform::File::open(file, platform::FileMode::Create);
        EXPECT_TRUE(out.isOpen());
        zipio::BufferedWriter writer;
        writer.attach(out, 0, file, 0);
        PieceDeflater deflater(6, threads, pieceSize);
        EXPECT_TRUE(deflater.deflate(feeding(content, step), writer));
        writer.finish();
        EXPECT_TRUE(out.close());
        return readFile(file);
    }

    // Reads of content, at most step bytes each.
    static PieceDeflater::Read feeding(const std::string& content, std::size_t step = SIZE_MAX)
    {
        return [&content, step, at = std::size_t{0}](unsigned char* data, std::size_t size) mutable {
            const std::size_t n = std::min({size, step, content.size() - at});
            std::memcpy(data, content.data() + at, n);
            at += n;
            return n;
        };
    }

    static std::string inflated(const std::string& stream)
    {
        z_stream z{};
        EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
        std::string content;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
        z.avail_in = static_cast<uInt>(stream.size());
        int status = Z_OK;
        while (status == Z_OK) {
            char buffer[4096];
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            status = inflate(&z, Z_NO_FLUSH);
            content.append(buffer, sizeof buffer - z.avail_out);
        }
        EXPECT_EQ(status, Z_STREAM_END);
        EXPECT_EQ(z.avail_in, 0u) << "bytes after the stream's end";
        inflateEnd(&z);
        return content;
    }
};

TEST_F(PieceDeflaterTest, PiecesJoinIntoOneStreamWhateverTheThreads)
{
    // Text gives dynamic blocks ending anywhere in a byte, random bytes stored blocks ending
    // on a boundary; sizes around the piece size give a last piece that is full or empty.
    constexpr std::size_t piece = 1000;
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"empty", ""},
        {"one byte", "x"},
        {"one byte short of a piece", textOf(piece - 1)},
        {"one piece", textOf(piece)},
        {"a piece and a byte", textOf(piece + 1)},
        {"many pieces of text", textOf(23 * piece + 17, 3)},
        {"random", randomBytes(9 * piece + 5)},
        {"mixed", textOf(2500, 4) + randomBytes(3000, 5) + textOf(4321, 6) + std::string(5000, '\0')},
    };
    for (const auto& c : cases) {
        const std::string one = deflated(c.content, 1, piece, 4096);
        EXPECT_EQ(inflated(one), c.content) << c.name;
        EXPECT_EQ(deflated(c.content, 2, piece, 4096), one) << c.name;
        EXPECT_EQ(deflated(c.content, 3, piece, 333), one) << c.name << ": the reads' sizes do not matter";
    }
    // Many short dynamic blocks, so that the joins fall on every bit of a byte.
    std::string varied;
    for (unsigned seed = 0; seed < 40; ++seed)
        varied += textOf(200 + seed * 37, seed) + randomBytes(seed * 11, seed);
    EXPECT_EQ(inflated(deflated(varied, 2, 97, 4096)), varied);
}

TEST_F(PieceDeflaterTest, AFailedReadLeavesTheWorkersReadyForTheNextContent)
{
    PieceDeflater deflater(6, 2, 1000);
    const std::string file = path("stream");
    platform::File out = platform::File::open(file, platform::FileMode::Create);
    zipio::BufferedWriter writer;
    writer.attach(out, 0, file, 0);
    int reads = 0;
    EXPECT_THROW((void)deflater.deflate(
                     [&](unsigned char* data, std::size_t size) -> std::size_t {
                         if (++reads == 7)
                             throw std::runtime_error("unreadable sector");
                         std::memset(data, 'a', size);
                         return size;
                     },
                     writer),
                 std::runtime_error);
    writer.rewind(0);
    const std::string content = textOf(5555);
    EXPECT_TRUE(deflater.deflate(feeding(content), writer));
    writer.finish();
    EXPECT_TRUE(out.close());
    EXPECT_EQ(inflated(readFile(file)), content);
}

} // namespace
} // namespace torvinel::archivetest
