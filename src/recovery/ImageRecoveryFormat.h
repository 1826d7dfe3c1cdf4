#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recovery/RecoveryShape.h"

namespace torvinel {

// RECOVERY.DAT, version 2: recovery data for a disc's whole session, laid out so that no sector
// and no small group of sectors is needed to use it.
//
// What it protects: the session's first N blocks [S, S + N) on the medium (system area, volume
// descriptors, path tables, directory records and every file's data); the recovery file itself
// takes the T blocks right after them, [S + N, S + N + T). The blocks after it (the image's own
// session checksums) are rebuilt from the rest (`tail`).
//
// The code: W codewords of k data and m parity blocks (Reed-Solomon over GF(2^8), a Cauchy
// generator, as in version 1). Codeword c holds the protected blocks c, c + W, c + 2W, ...
// (protected block i is row i / W of codeword i % W; rows past N are zero blocks), so a run of
// L bad sectors anywhere costs each codeword at most ceil(L / W) blocks. Its parity blocks are
// parity indexes q * W + c (q < m), in that order through the recovery file, so a run there
// costs each codeword as little.
//
// The recovery file's T blocks are the m * W parity blocks with M metadata blocks spread evenly
// among them: position floor(i * (T - 1) / (M - 1)) holds metadata block i, the first and the
// last block of the file among them; parity fills the other positions in order. Every metadata
// block stands alone: it carries the whole layout and a CRC of its own, so any one of them
// read whole tells where everything is. There are two kinds:
// - fixed-part chunks: the fixed part (the disc's name and its files: name, first block, size,
//   MD5) cut into chunks of MetadataPayloadBytes, FixedCopies copies of it;
// - CRC blocks: the CRC-32 of every code block, data rows (k * W entries, block index order)
//   then parity (m * W entries), CrcsPerBlock to a block, CrcCopies copies. A block whose CRC
//   is lost in every copy counts as lost; as a CRC block covers consecutive blocks, that costs
//   each codeword a block or so.
// The metadata blocks follow each other in FixedCopies groups, group g being copy g of the fixed
// part and then the g-th share of the CRC copies one after the other, so copies of the same
// thing lie a T / FixedCopies (fixed part) or T / CrcCopies (CRC blocks) apart.
//
// A metadata block (little-endian):
//    0  8  magic "TORVREC2"
//    8  4  kind: 1 fixed-part chunk, 2 CRC block
//   12  4  CRC-32 (zlib's) of the whole block, these 4 bytes taken as zero
//   16 92  the layout (ImageRecoveryLayout, in the order of its fields), the same in every block
//  108  4  copy of the fixed part or of the CRC blocks this block belongs to
//  112  8  index: the chunk of the fixed part, or the CRC block
//  120 24  zero
//  144     payload: the chunk's bytes (the last one padded with zeros), or the CRC entries
//          [index * CrcsPerBlock, ...) as 4-byte values (past the last one, zeros)
//
// The fixed part: 2-byte length and the disc's name; 4-byte file count; for each file a 2-byte
// length and its name in the disc's folder ('/' between folders), its first block on the medium
// (8 bytes), its size (8) and its MD5 (16).

inline constexpr uint32_t ImageRecoveryVersion = 2;
inline constexpr std::size_t MetadataHeaderBytes = 144;
inline constexpr std::size_t MetadataPayloadBytes = RecoveryBlockSize - MetadataHeaderBytes;
inline constexpr std::size_t CrcsPerBlock = MetadataPayloadBytes / 4;
inline constexpr uint32_t FixedCopies = 8;
inline constexpr uint32_t CrcCopies = 3;

// How the blocks after the recovery file are made again.
enum class SessionTail : uint32_t {
    None = 0,         // there are none
    IsoChecksums = 1, // libisofs's checksum array and session tag (discwright/SessionChecksums.h)
};

struct ImageRecoveryLayout {
    uint64_t sessionStart = 0;    // S, on the medium
    uint64_t protectedBlocks = 0; // N
    uint64_t recoveryBlocks = 0;  // T
    uint64_t sessionBlocks = 0;   // the whole session, the recovery file and tail included
    RecoveryShape shape;          // k, m, and width = W codewords; one stripe
    uint32_t fixedCopies = FixedCopies;
    uint32_t fixedChunks = 0;
    uint64_t crcBlocks = 0; // per copy
    uint32_t crcCopies = CrcCopies;
    uint32_t fixedBytes = 0;
    uint32_t fixedCrc = 0; // CRC-32 of the fixed part
    uint32_t share = 0;    // per cent of data and parity together that went to parity
    SessionTail tail = SessionTail::None;

    uint64_t codewords() const { return shape.width; }
    uint64_t recoveryStart() const { return sessionStart + protectedBlocks; }
    uint64_t parityBlocks() const { return static_cast<uint64_t>(shape.parityShards) * shape.width; }
    uint64_t dataEntries() const { return static_cast<uint64_t>(shape.dataShards) * shape.width; }
    uint64_t crcEntries() const { return dataEntries() + parityBlocks(); }
    uint64_t metadataBlocks() const { return uint64_t{fixedCopies} * fixedChunks + uint64_t{crcCopies} * crcBlocks; }

    // Whether position (of the recovery file's blocks) holds a metadata block, and which.
    bool isMetadata(uint64_t position) const;
    uint64_t metadataIndex(uint64_t position) const; // REQUIRES: isMetadata(position)
    // The parity block at position, and the position of a parity block.
    uint64_t parityIndex(uint64_t position) const; // REQUIRES: !isMetadata(position)
    uint64_t parityPosition(uint64_t parity) const;

    // Whether the fields hold together: a layout read from a disc is used only then.
    bool consistent() const;

    bool operator==(const ImageRecoveryLayout&) const = default;

private:
    uint64_t metadataUpTo(uint64_t position) const; // metadata positions <= position
};

// A file of the session as the fixed part records it.
struct PlacedRecoveryFile {
    std::string name;   // in the disc's folder, '/' between folders
    uint64_t block = 0; // first block on the medium
    uint64_t size = 0;
    std::array<uint8_t, 16> md5{};

    uint64_t blocks() const { return (size + RecoveryBlockSize - 1) / RecoveryBlockSize; }

    bool operator==(const PlacedRecoveryFile&) const = default;
};

struct RecoveryFixedPart {
    std::string discName;
    std::vector<PlacedRecoveryFile> files; // by block

    bool operator==(const RecoveryFixedPart&) const = default;
};

std::vector<uint8_t> serializeFixedPart(const RecoveryFixedPart& fixed);
// nullopt unless the bytes are a fixed part whose names are safe paths inside the disc's
// folder and whose files lie in the protected blocks of layout.
std::optional<RecoveryFixedPart> parseFixedPart(const uint8_t* bytes, std::size_t length,
                                                const ImageRecoveryLayout& layout);

// The shape and layout for a session of at most maxProtected protected blocks and a fixed part
// of fixedBytes, with percent (1 to 50) of data and parity together going to parity. The
// protected blocks may turn out fewer (protectedBlocks is left 0; the one who writes sets it).
ImageRecoveryLayout planImageRecovery(uint64_t maxProtected, uint32_t fixedBytes, int percent);

enum class MetadataKind : uint32_t { FixedChunk = 1, CrcBlock = 2 };

// A metadata block read back.
struct MetadataBlock {
    ImageRecoveryLayout layout;
    MetadataKind kind = MetadataKind::FixedChunk;
    uint32_t copy = 0;
    uint64_t index = 0;
    const uint8_t* payload = nullptr; // MetadataPayloadBytes, inside the block parsed
};

void writeMetadataHeader(uint8_t* block, const ImageRecoveryLayout& layout, MetadataKind kind, uint32_t copy,
                         uint64_t index); // payload already in place; sets the block's CRC last
// nullopt unless block is a metadata block whose CRC holds and whose layout is consistent.
std::optional<MetadataBlock> parseMetadataBlock(const uint8_t* block);

// The CRC-32 (zlib's) of length bytes, and of a 2048-byte block.
uint32_t recoveryCrc(const uint8_t* data, std::size_t length);
uint32_t recoveryBlockCrc(const uint8_t* block);

} // namespace torvinel
