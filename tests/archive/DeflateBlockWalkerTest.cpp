// Finding a deflate stream's last block and end without inflating it, checked against zlib's
// inflater on streams of every block type.
#include "ArchiveTestSupport.h"
#include "archive/internal/DeflateBlockWalker.h"

#include <cstdint>
#include <optional>

#include <libdeflate.h>
#include <zlib.h>

namespace torvinel::archivetest {
namespace {

using zipwriter::DeflateBlockWalker;

std::string libdeflated(const std::string& content, int level)
{
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    std::string out(libdeflate_deflate_compress_bound(compressor, content.size()), '\0');
    out.resize(libdeflate_deflate_compress(compressor, content.data(), content.size(), out.data(), out.size()));
    libdeflate_free_compressor(compressor);
    return out;
}

// zlib's stream of content, flushed (an empty stored block) after every flushEvery bytes.
std::string zlibDeflated(const std::string& content, int level, int strategy, std::size_t flushEvery)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, strategy), Z_OK);
    std::string out(deflateBound(&z, content.size()) + 64 * (content.size() / flushEvery + 1), '\0');
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    for (std::size_t at = 0;;) {
        const std::size_t n = std::min(flushEvery, content.size() - at);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data() + at));
        z.avail_in = static_cast<uInt>(n);
        at += n;
        const bool last = at == content.size();
        EXPECT_NE(deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH), Z_STREAM_ERROR);
        if (last)
            break;
    }
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// What zlib's inflater finds: it stops at each block's end and tells the bits it left unused.
std::optional<DeflateBlockWalker::Found> inflaterFinds(const std::string& stream)
{
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    std::string scratch(1 << 16, '\0');
    uint64_t header = 0;
    std::optional<DeflateBlockWalker::Found> found;
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(scratch.data());
        z.avail_out = static_cast<uInt>(scratch.size());
        const int status = inflate(&z, Z_BLOCK);
        const uint64_t at = uint64_t{stream.size() - z.avail_in} * 8 - static_cast<unsigned>(z.data_type & 7);
        if (status != Z_OK && status != Z_STREAM_END)
            break;
        if (((z.data_type & 128) && (z.data_type & 64)) || status == Z_STREAM_END) {
            found = DeflateBlockWalker::Found{header, at};
            break;
        }
        if (z.data_type & 128)
            header = at;
    }
    inflateEnd(&z);
    return found;
}

TEST(DeflateBlockWalkerTest, FindsWhatTheInflaterFindsInEveryKindOfBlock)
{
    // Megabytes of text give several dynamic blocks with long codes; random bytes stored
    // blocks; zlib's fixed strategy fixed blocks, its flushes empty stored blocks between them.
    const std::string text = textOf(3 << 20, 2);
    const std::string mixed = textOf(300000, 3) + randomBytes(200000, 4) + std::string(100000, '\0') + textOf(5000, 5);
    std::string skewed; // a few very frequent bytes and many rare ones: codes of 14 and 15 bits
    for (unsigned i = 0; skewed.size() < 400000; ++i)
        skewed += (i % 997 == 0) ? static_cast<char>(i / 997 % 256) : "aaaab"[i % 5];
    const struct {
        std::string name;
        std::string stream;
    } cases[] = {
        {"empty, level 6", libdeflated("", 6)},
        {"one byte, level 6", libdeflated("x", 6)},
        {"text, level 1", libdeflated(text, 1)},
        {"text, level 6", libdeflated(text, 6)},
        {"text, level 12", libdeflated(text.substr(0, 500000), 12)},
        {"random, level 6", libdeflated(randomBytes(300000), 6)},
        {"mixed, level 6", libdeflated(mixed, 6)},
        {"skewed, level 6", libdeflated(skewed, 6)},
        {"mixed, level 0", libdeflated(mixed, 0)},
        {"fixed blocks", zlibDeflated(mixed, 6, Z_FIXED, 70000)},
        {"Huffman only, flushed", zlibDeflated(mixed, 6, Z_HUFFMAN_ONLY, 33333)},
        {"zlib, flushed often", zlibDeflated(text.substr(0, 200000), 9, Z_DEFAULT_STRATEGY, 1000)},
        {"zlib stored", zlibDeflated(mixed, 0, Z_DEFAULT_STRATEGY, 1 << 20)},
    };
    DeflateBlockWalker walker;
    for (const auto& c : cases) {
        const auto expected = inflaterFinds(c.stream);
        ASSERT_TRUE(expected) << c.name;
        DeflateBlockWalker::Found found;
        ASSERT_TRUE(walker.walk(reinterpret_cast<const unsigned char*>(c.stream.data()), c.stream.size(), found))
            << c.name;
        EXPECT_EQ(found.finalHeaderBit, expected->finalHeaderBit) << c.name;
        EXPECT_EQ(found.endBit, expected->endBit) << c.name;
    }
}

TEST(DeflateBlockWalkerTest, AStreamCutShortOrDamagedIsRefusedWithoutReadingPastIt)
{
    const std::string stream = libdeflated(textOf(100000, 6) + randomBytes(3000) + textOf(50000, 7), 6);
    DeflateBlockWalker walker;
    DeflateBlockWalker::Found found;
    // Each cut copy is a buffer of its own, so a read past its end shows under the sanitizers.
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{9}, stream.size() / 2,
                            stream.size() - 2, stream.size() - 1}) {
        const std::vector<unsigned char> shorter(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(walker.walk(shorter.data(), shorter.size(), found)) << "cut at " << cut;
    }
    // Flipped bits: whatever the walker makes of them, it stays inside the stream.
    for (std::size_t bit = 0; bit < stream.size() * 8; bit += 101) {
        std::vector<unsigned char> damaged(stream.begin(), stream.end());
        damaged[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
        if (walker.walk(damaged.data(), damaged.size(), found)) {
            EXPECT_LE(found.endBit, damaged.size() * 8);
        }
    }
}

} // namespace
} // namespace torvinel::archivetest
