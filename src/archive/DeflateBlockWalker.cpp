#include "archive/internal/DeflateBlockWalker.h"

#include <bit>
#include <cstring>

namespace torvinel::zipwriter {

namespace {

// A table entry: bits 0-7 are the bits a symbol takes, its code with the extra bits that follow
// it (a match's length or distance is never needed, only where it ends); bits 8-9 its kind.
// An entry for a code longer than the primary bits instead points to a subtable: the Sub
// flag, the subtable's own bits in 11-15 and its offset in 16-31.
enum : uint32_t { Literal = 0u << 8, Match = 1u << 8, End = 2u << 8, Invalid = 3u << 8, KindMask = 3u << 8 };
constexpr uint32_t Sub = 1u << 10;

constexpr unsigned LengthBits = 11;  // primary bits of the literal/length table
constexpr unsigned DistanceBits = 8; // of the distance table
constexpr unsigned PrecodeBits = 7;  // the code-length code's longest code: one table
constexpr unsigned MaxCodeBits = 15;

constexpr uint8_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t DistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic header gives the code-length code's lengths.
constexpr uint8_t PrecodeOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// At least 56 bits of the stream from bit pos; past its end they read as zeros.
inline uint64_t peek(const unsigned char* data, std::size_t size, uint64_t pos)
{
    const uint64_t byte = pos >> 3;
    uint64_t word = 0;
    if (byte + 8 <= size) {
        std::memcpy(&word, data + byte, 8);
        if constexpr (std::endian::native == std::endian::big)
            word = __builtin_bswap64(word);
    } else {
        for (uint64_t i = 0; byte + i < size && i < 8; ++i)
            word |= uint64_t{data[byte + i]} << (8 * i);
    }
    return word >> (pos & 7);
}

// The canonical codes of lengths[0..count): false when they claim more codes than exist.
// put(symbol, code, length) gets each used symbol's code bit-reversed, as the stream holds it.
template <class Put> bool forEachCode(const uint8_t* lengths, unsigned count, unsigned& longest, Put put)
{
    unsigned perLength[MaxCodeBits + 1] = {};
    for (unsigned s = 0; s < count; ++s)
        ++perLength[lengths[s]];
    perLength[0] = 0;
    int left = 1;
    longest = 0;
    for (unsigned l = 1; l <= MaxCodeBits; ++l) {
        left = left * 2 - static_cast<int>(perLength[l]);
        if (left < 0)
            return false;
        if (perLength[l] != 0)
            longest = l;
    }
    unsigned next[MaxCodeBits + 1] = {};
    for (unsigned l = 1, code = 0; l <= MaxCodeBits; ++l) {
        code = (code + perLength[l - 1]) << 1;
        next[l] = code;
    }
    for (unsigned s = 0; s < count; ++s) {
        const unsigned l = lengths[s];
        if (l == 0)
            continue;
        const unsigned code = next[l]++;
        unsigned reversed = 0;
        for (unsigned i = 0; i < l; ++i)
            reversed |= ((code >> i) & 1u) << (l - 1 - i);
        put(s, reversed, l);
    }
    return true;
}

uint32_t entryOf(unsigned symbol, unsigned length, bool lengthsTable)
{
    if (lengthsTable) {
        if (symbol < 256)
            return Literal | length;
        if (symbol == 256)
            return End | length;
        if (symbol < 286)
            return Match | (length + LengthExtra[symbol - 257]);
        return Invalid;
    }
    return symbol < 30 ? Match | (length + DistanceExtra[symbol]) : Invalid;
}

bool buildTable(DeflateBlockWalker::Table& table, unsigned primaryBits, const uint8_t* lengths, unsigned count,
                bool lengthsTable)
{
    table.primaryBits = primaryBits;
    table.entries.reserve((std::size_t{1} << primaryBits) + (std::size_t{1} << MaxCodeBits));
    table.entries.assign(std::size_t{1} << primaryBits, Invalid);
    unsigned longest = 0; // known before the first code is put
    return forEachCode(lengths, count, longest, [&](unsigned symbol, unsigned code, unsigned length) {
        const unsigned subBits = longest - primaryBits; // only used for codes longer than the primary bits
        const uint32_t entry = entryOf(symbol, length, lengthsTable);
        if (length <= primaryBits) {
            for (unsigned i = code; i < (1u << primaryBits); i += 1u << length)
                table.entries[i] = entry;
            return;
        }
        uint32_t& pointer = table.entries[code & ((1u << primaryBits) - 1)];
        if (!(pointer & Sub)) {
            const auto offset = static_cast<uint32_t>(table.entries.size());
            table.entries.resize(offset + (std::size_t{1} << subBits), Invalid);
            // resize stays within the reserved room: pointer still refers to the entry
            pointer = Sub | subBits << 11 | offset << 16;
        }
        const uint32_t offset = pointer >> 16;
        for (unsigned i = code >> primaryBits; i < (1u << subBits); i += 1u << (length - primaryBits))
            table.entries[offset + i] = entry;
    });
}

inline uint32_t lookup(const DeflateBlockWalker::Table& table, uint64_t bits)
{
    uint32_t entry = table.entries[bits & ((1u << table.primaryBits) - 1)];
    if (entry & Sub)
        entry = table.entries[(entry >> 16) + ((bits >> table.primaryBits) & ((1u << ((entry >> 11) & 31)) - 1))];
    return entry;
}

} // namespace

DeflateBlockWalker::DeflateBlockWalker()
{
    uint8_t lengths[288];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    (void)buildTable(m_fixedLengths, LengthBits, lengths, 288, true); // complete codes: cannot fail
    std::memset(lengths, 5, 32);
    (void)buildTable(m_fixedDistances, DistanceBits, lengths, 32, false);
}

bool DeflateBlockWalker::walk(const unsigned char* data, std::size_t size, Found& found)
{
    const uint64_t limit = uint64_t{size} * 8;
    uint64_t pos = 0;
    for (;;) {
        if (pos + 3 > limit)
            return false;
        const uint64_t header = pos;
        const uint64_t bits = peek(data, size, pos);
        const bool final = (bits & 1) != 0;
        pos += 3;
        switch ((bits >> 1) & 3) {
        case 0: { // stored: from the next byte, its length, the length's complement and the bytes
            pos = (pos + 7) & ~uint64_t{7};
            if (pos + 32 > limit)
                return false;
            const unsigned char* at = data + pos / 8;
            const unsigned length = at[0] | at[1] << 8;
            if (length != ((at[2] | at[3] << 8) ^ 0xffffu))
                return false;
            pos += 32 + uint64_t{length} * 8;
            break;
        }
        case 1:
            if (!skipSymbols(data, size, pos, m_fixedLengths, m_fixedDistances))
                return false;
            break;
        case 2:
            if (!readDynamicHeader(data, size, pos) || !skipSymbols(data, size, pos, m_lengths, m_distances))
                return false;
            break;
        default:
            return false;
        }
        if (pos > limit)
            return false;
        if (final) {
            found = {header, pos};
            return true;
        }
    }
}

bool DeflateBlockWalker::readDynamicHeader(const unsigned char* data, std::size_t size, uint64_t& pos)
{
    const uint64_t limit = uint64_t{size} * 8;
    uint64_t bits = peek(data, size, pos);
    const unsigned lengthCodes = (bits & 31) + 257;
    const unsigned distanceCodes = ((bits >> 5) & 31) + 1;
    const unsigned precodes = ((bits >> 10) & 15) + 4;
    pos += 14;
    if (lengthCodes > 286 || distanceCodes > 30)
        return false;

    uint8_t precodeLengths[19] = {};
    for (unsigned i = 0; i < precodes; ++i, pos += 3)
        precodeLengths[PrecodeOrder[i]] = peek(data, size, pos) & 7;
    uint16_t precode[1u << PrecodeBits] = {}; // symbol << 4 | length; 0 where no code lies
    unsigned longest = 0;
    if (!forEachCode(precodeLengths, 19, longest, [&](unsigned symbol, unsigned code, unsigned length) {
            for (unsigned i = code; i < (1u << PrecodeBits); i += 1u << length)
                precode[i] = static_cast<uint16_t>(symbol << 4 | length);
        }))
        return false;

    const unsigned total = lengthCodes + distanceCodes;
    for (unsigned i = 0; i < total;) {
        if (pos > limit)
            return false;
        bits = peek(data, size, pos);
        const unsigned entry = precode[bits & ((1u << PrecodeBits) - 1)];
        const unsigned length = entry & 15;
        if (length == 0)
            return false;
        const unsigned symbol = entry >> 4;
        bits >>= length;
        pos += length;
        if (symbol < 16) {
            m_codeLengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        unsigned repeat = 0;
        if (symbol == 16) {
            if (i == 0)
                return false;
            value = m_codeLengths[i - 1];
            repeat = 3 + (bits & 3);
            pos += 2;
        } else if (symbol == 17) {
            repeat = 3 + (bits & 7);
            pos += 3;
        } else {
            repeat = 11 + (bits & 127);
            pos += 7;
        }
        if (i + repeat > total)
            return false;
        std::memset(m_codeLengths.data() + i, value, repeat);
        i += repeat;
    }
    if (m_codeLengths[256] == 0) // a block that cannot end
        return false;
    return buildTable(m_lengths, LengthBits, m_codeLengths.data(), lengthCodes, true)
        && buildTable(m_distances, DistanceBits, m_codeLengths.data() + lengthCodes, distanceCodes, false);
}

bool DeflateBlockWalker::skipSymbols(const unsigned char* data, std::size_t size, uint64_t& pos, const Table& lengths,
                                     const Table& distances)
{
    // A literal/length code and its extra bits take at most 20 bits, a distance's at most 28.
    const uint64_t limit = uint64_t{size} * 8;
    uint64_t bits = 0;
    unsigned held = 0;
    for (;;) {
        if (held < 20) {
            if (pos > limit)
                return false; // read on past the end: the stream is cut short
            bits = peek(data, size, pos);
            held = 56;
        }
        const uint32_t entry = lookup(lengths, bits);
        const unsigned taken = entry & 0xff;
        bits >>= taken;
        held -= taken;
        pos += taken;
        const uint32_t kind = entry & KindMask;
        if (kind == Literal)
            continue;
        if (kind != Match)
            return kind == End;
        if (held < 28) {
            bits = peek(data, size, pos);
            held = 56;
        }
        const uint32_t distance = lookup(distances, bits);
        if ((distance & KindMask) != Match)
            return false;
        const unsigned distanceTaken = distance & 0xff;
        bits >>= distanceTaken;
        held -= distanceTaken;
        pos += distanceTaken;
    }
}

} // namespace torvinel::zipwriter
