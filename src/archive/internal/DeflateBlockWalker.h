#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace torvinel::zipwriter {

// Finds where a raw deflate stream's last block starts and where the stream ends, to the bit,
// by decoding its Huffman codes without producing any output: joining deflated pieces needs
// no more, and inflating them would cost as much as a fifth of deflating them.
class DeflateBlockWalker {
public:
    struct Found {
        uint64_t finalHeaderBit = 0; // where the last block's header (its final mark) lies
        uint64_t endBit = 0;         // the first bit after the stream
    };

    DeflateBlockWalker();

    // False when the size bytes at data do not hold a whole valid stream (it is read no
    // further than size bytes whatever they hold).
    [[nodiscard]] bool walk(const unsigned char* data, std::size_t size, Found& found);

    // A decoding table: entries for the first PrimaryBits bits of a code, and for longer codes
    // subtables of the bits after them. See DeflateBlockWalker.cpp for an entry's layout.
    struct Table {
        unsigned primaryBits = 0;
        std::vector<uint32_t> entries;
    };

private:
    // Reads the code lengths of a dynamic block's header and builds its tables. pos moves past it.
    bool readDynamicHeader(const unsigned char* data, std::size_t size, uint64_t& pos);
    // Steps over a Huffman block's symbols up to its end of block. pos moves past it.
    static bool skipSymbols(const unsigned char* data, std::size_t size, uint64_t& pos, const Table& lengths,
                            const Table& distances);

    Table m_fixedLengths, m_fixedDistances;
    Table m_lengths, m_distances;
    std::array<uint8_t, 320> m_codeLengths{};
};

} // namespace torvinel::zipwriter
