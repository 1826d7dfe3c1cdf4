#include "recovery/RecoveryFile.h"

#include "recovery/internal/LittleEndianReader.h"

#include <zlib.h>

#include <cstring>
#include <limits>
#include <set>
#include <string_view>

#include "recovery/internal/SafeRecoveryName.h"

namespace torvinel {

namespace {

constexpr char Magic[8] = {'T', 'O', 'R', 'V', 'R', 'E', 'C', '1'};
constexpr uint32_t FormatVersion = 1;
// The fixed part: magic, version, block size, data and parity shards, width, file count (4
// bytes each), data blocks (8), parity blocks (4).
constexpr std::size_t FixedBytes = sizeof Magic + 4 * 6 + 8 + 4;
// A file's entry without its name: the name's length, the size and the MD5.
constexpr std::size_t FileEntryBytes = 4 + 8 + 16;
// So many blocks at most, that their bytes, and so the sizes of the files in them, add up
// without wrapping.
constexpr uint64_t MaxDataBlocks = std::numeric_limits<uint64_t>::max() / RecoveryBlockSize;

void put32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void put64(std::vector<uint8_t>& out, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

using Reader = LittleEndianReader;

uint64_t padded(uint64_t bytes) { return (bytes + 8 + RecoveryBlockSize - 1) / RecoveryBlockSize * RecoveryBlockSize; }

uint64_t contentBytes(const std::vector<ProtectedFile>& files, uint64_t dataBlocks, uint64_t parityBlocks)
{
    uint64_t bytes = FixedBytes;
    for (const auto& file : files)
        bytes += FileEntryBytes + file.name.size();
    return bytes + 4 * (dataBlocks + parityBlocks) + 4;
}

std::string folded(std::string_view name)
{
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Whether each name can be written into the disc's folder as a file of its own there, wherever
// the disc is read: safe (as version 2 checks its names), not the recovery file itself, not
// another's name as the discs' readers match names (letter case aside), and not another's
// folder.
bool soundNames(const std::vector<ProtectedFile>& files)
{
    std::set<std::string> names;
    for (const ProtectedFile& file : files)
        if (!safeRecoveryName(file.name) || !names.insert(folded(file.name)).second)
            return false;
    if (names.contains(folded(RecoveryFileName)))
        return false;
    for (const std::string& name : names)
        for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
            if (names.contains(name.substr(0, slash)))
                return false;
    return true;
}

} // namespace

uint64_t headerBytes(const std::vector<ProtectedFile>& files, uint64_t dataBlocks, uint64_t parityBlocks)
{
    return padded(contentBytes(files, dataBlocks, parityBlocks));
}

uint64_t recoveryFileBytes(const std::vector<ProtectedFile>& files, uint64_t dataBlocks, uint64_t parityBlocks)
{
    return 2 * headerBytes(files, dataBlocks, parityBlocks) + parityBlocks * RecoveryBlockSize;
}

std::vector<uint8_t> serializeHeader(const RecoveryHeader& header)
{
    std::vector<uint8_t> out(Magic, Magic + sizeof Magic);
    put32(out, FormatVersion);
    put32(out, RecoveryBlockSize);
    put32(out, static_cast<uint32_t>(header.shape.dataShards));
    put32(out, static_cast<uint32_t>(header.shape.parityShards));
    put32(out, header.shape.width);
    put32(out, static_cast<uint32_t>(header.files.size()));
    put64(out, header.dataBlocks());
    put32(out, static_cast<uint32_t>(header.parityBlocks()));
    for (const auto& file : header.files) {
        put32(out, static_cast<uint32_t>(file.name.size()));
        out.insert(out.end(), file.name.begin(), file.name.end());
        put64(out, file.size);
        out.insert(out.end(), file.md5.begin(), file.md5.end());
    }
    for (uint32_t crc : header.dataCrcs)
        put32(out, crc);
    for (uint32_t crc : header.parityCrcs)
        put32(out, crc);
    put32(out, static_cast<uint32_t>(crc32(0, out.data(), static_cast<uInt>(out.size()))));
    const uint64_t total = padded(out.size());
    out.resize(total - 8, 0);
    put64(out, total);
    return out;
}

std::optional<RecoveryHeader> parseHeader(const uint8_t* bytes, std::size_t length)
{
    Reader in(bytes, length);
    if (!in.has(FixedBytes) || std::memcmp(in.take(sizeof Magic), Magic, sizeof Magic) != 0)
        return std::nullopt;
    if (in.get(4) != FormatVersion || in.get(4) != RecoveryBlockSize)
        return std::nullopt;
    // The shape is checked as read, before its counts become ints that could overflow.
    const uint64_t dataShards = in.get(4);
    const uint64_t parityShards = in.get(4);
    const uint64_t width = in.get(4);
    const uint64_t fileCount = in.get(4);
    const uint64_t dataBlocks = in.get(8);
    const uint64_t parityBlocks = in.get(4);
    if (dataShards < 1 || parityShards < 1 || dataShards + parityShards > 255 || width < 1 || width > RecoveryMaxWidth)
        return std::nullopt;
    // Each count is bounded by the bytes left to carry it before it is used: a file's entry
    // takes FileEntryBytes and more, a block's CRC 4.
    if (fileCount > in.left() / FileEntryBytes)
        return std::nullopt;
    const uint64_t crcRoom = (in.left() - fileCount * FileEntryBytes) / 4;
    if (dataBlocks > MaxDataBlocks || dataBlocks > crcRoom || parityBlocks > crcRoom - dataBlocks)
        return std::nullopt;
    RecoveryHeader header;
    header.shape.dataShards = static_cast<int>(dataShards);
    header.shape.parityShards = static_cast<int>(parityShards);
    header.shape.width = static_cast<uint32_t>(width);
    const uint64_t stripes = header.shape.stripes(dataBlocks);
    if (stripes > parityBlocks / header.shape.stripeParityBlocks()
        || parityBlocks != stripes * header.shape.stripeParityBlocks())
        return std::nullopt;
    uint64_t fileBlocks = 0;
    for (uint64_t f = 0; f < fileCount; ++f) {
        if (!in.has(4))
            return std::nullopt;
        const uint64_t nameLength = in.get(4);
        if (!in.has(nameLength) || in.left() - nameLength < FileEntryBytes - 4)
            return std::nullopt;
        ProtectedFile file;
        const uint8_t* name = in.take(nameLength);
        file.name.assign(name, name + nameLength);
        file.size = in.get(8);
        std::memcpy(file.md5.data(), in.take(16), 16);
        // The files' blocks may not pass the count given, so their sizes add up too.
        if (file.blocks() > dataBlocks - fileBlocks)
            return std::nullopt;
        fileBlocks += file.blocks();
        header.files.push_back(std::move(file));
    }
    if (fileBlocks != dataBlocks || !soundNames(header.files) || !in.has(4 * (dataBlocks + parityBlocks) + 4))
        return std::nullopt;
    header.dataCrcs.resize(dataBlocks);
    for (auto& crc : header.dataCrcs)
        crc = static_cast<uint32_t>(in.get(4));
    header.parityCrcs.resize(parityBlocks);
    for (auto& crc : header.parityCrcs)
        crc = static_cast<uint32_t>(in.get(4));
    const std::size_t covered = in.at();
    if (in.get(4) != static_cast<uint32_t>(crc32(0, bytes, static_cast<uInt>(covered))))
        return std::nullopt;
    // The copy is as long as its content padded, which its last 8 bytes say too.
    if (padded(in.at()) != length)
        return std::nullopt;
    uint64_t stated = 0;
    for (int i = 0; i < 8; ++i)
        stated |= static_cast<uint64_t>(bytes[length - 8 + static_cast<std::size_t>(i)]) << (8 * i);
    if (stated != length)
        return std::nullopt;
    return header;
}

} // namespace torvinel
