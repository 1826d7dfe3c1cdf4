#include "recovery/RecoveryData.h"

#include <isa-l/crc.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "app/Error.h"
#include "platform/File.h"
#include "platform/Platform.h"
#include "recovery/RecoveryEncoder.h"

namespace torvinel {

namespace {

// The CRC-32 of zlib and gzip; the library's own is several times quicker than zlib's.
uint32_t blockCrc(const uint8_t* block) { return crc32_gzip_refl(0, block, RecoveryBlockSize); }

// Where each data block of the stream lies: its file and its block in the file.
class BlockMap {
public:
    explicit BlockMap(const std::vector<ProtectedFile>& files)
    {
        uint64_t start = 0;
        for (const auto& file : files) {
            m_starts.push_back(start);
            start += file.blocks();
        }
        m_starts.push_back(start);
    }
    std::pair<std::size_t, uint64_t> locate(uint64_t index) const
    {
        const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), index);
        const auto file = static_cast<std::size_t>(after - m_starts.begin() - 1);
        return {file, index - m_starts[file]};
    }
    uint64_t start(std::size_t file) const { return m_starts[file]; }

private:
    std::vector<uint64_t> m_starts;
};

} // namespace

namespace {

// Reads blocks of the data stream from the files being protected, for one thread: keeps the
// files it met open (a few at a time), fills each file's last block up with zeros and puts
// every block's CRC into crcs.
class StagedBlocks {
public:
    StagedBlocks(const std::string& folder, const std::vector<ProtectedFile>& files, const BlockMap& map,
                 std::vector<uint32_t>& crcs)
        : m_folder(folder), m_files(files), m_map(map), m_crcs(crcs)
    {
    }
    void read(uint64_t first, std::size_t count, uint8_t* out)
    {
        while (count > 0) {
            const auto [file, block] = m_map.locate(first);
            const ProtectedFile& protectedFile = m_files[file];
            const auto blocks = static_cast<std::size_t>(std::min<uint64_t>(count, protectedFile.blocks() - block));
            const uint64_t offset = block * RecoveryBlockSize;
            const auto wanted =
                static_cast<std::size_t>(std::min<uint64_t>(blocks * RecoveryBlockSize, protectedFile.size - offset));
            if (open(file).readAt(out, wanted, offset) != static_cast<int64_t>(wanted))
                throw Error("Could not read " + path(file));
            std::memset(out + wanted, 0, blocks * RecoveryBlockSize - wanted);
            for (std::size_t i = 0; i < blocks; ++i)
                m_crcs[first + i] = blockCrc(out + i * RecoveryBlockSize);
            first += blocks;
            count -= blocks;
            out += blocks * RecoveryBlockSize;
        }
    }

private:
    std::string path(std::size_t file) const { return (std::filesystem::path(m_folder) / m_files[file].name).string(); }
    // A file whose size is no longer the one listed has changed since: it cannot be protected.
    platform::File& open(std::size_t file)
    {
        if (const auto found = m_open.find(file); found != m_open.end())
            return found->second;
        if (m_open.size() >= 64)
            m_open.clear();
        platform::File opened = platform::File::open(path(file), platform::FileMode::Read);
        if (!opened.isOpen() || opened.size() != static_cast<int64_t>(m_files[file].size))
            throw Error("Could not read " + path(file));
        return m_open.emplace(file, std::move(opened)).first->second;
    }

    const std::string& m_folder;
    const std::vector<ProtectedFile>& m_files;
    const BlockMap& m_map;
    std::vector<uint32_t>& m_crcs;
    std::map<std::size_t, platform::File> m_open;
};

} // namespace

void writeRecoveryFile(const std::string& folder, const std::vector<ProtectedFile>& files, int percent,
                       const std::string& target, unsigned threads)
{
    uint64_t dataBlocks = 0;
    for (const auto& file : files)
        dataBlocks += file.blocks();
    writeRecoveryFile(folder, files, recoveryShape(dataBlocks, percent), target, threads);
}

void writeRecoveryFile(const std::string& folder, const std::vector<ProtectedFile>& files, const RecoveryShape& shape,
                       const std::string& target, unsigned threads)
{
    const BlockMap map(files);
    const uint64_t dataBlocks = map.start(files.size());
    RecoveryHeader header;
    header.shape = shape;
    header.files = files;
    header.dataCrcs.resize(dataBlocks);
    header.parityCrcs.resize(header.shape.parityBlocks(dataBlocks));
    const uint64_t headerLength = headerBytes(files, dataBlocks, header.parityBlocks());

    platform::File out = platform::File::open(target, platform::FileMode::Create);
    const auto writeFailed = [&] { return Error("Could not write " + target); };
    if (!out.isOpen())
        throw writeFailed();
    // The parity goes between the two copies of the header, which need its CRCs.
    const RecoveryEncoder encoder(header.shape, dataBlocks);
    encoder.encode(
        [&]() -> RecoveryEncoder::DataRead {
            auto blocks = std::make_shared<StagedBlocks>(folder, files, map, header.dataCrcs);
            return [blocks](uint64_t first, std::size_t count, uint8_t* data) { blocks->read(first, count, data); };
        },
        [&](uint64_t first, std::size_t count, const uint8_t* parity) {
            for (std::size_t i = 0; i < count; ++i)
                header.parityCrcs[first + i] = blockCrc(parity + i * RecoveryBlockSize);
            const std::size_t bytes = count * RecoveryBlockSize;
            if (out.writeAt(parity, bytes, headerLength + first * RecoveryBlockSize) != static_cast<int64_t>(bytes))
                throw writeFailed();
        },
        threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency()));
    const std::vector<uint8_t> stored = serializeHeader(header);
    const uint64_t endCopy = headerLength + header.parityBlocks() * RecoveryBlockSize;
    if (stored.size() != headerLength
        || out.writeAt(stored.data(), stored.size(), endCopy) != static_cast<int64_t>(stored.size())
        || out.writeAt(stored.data(), stored.size(), 0) != static_cast<int64_t>(stored.size()) || !out.close())
        throw writeFailed();
}

std::optional<RecoveryHeader> readRecoveryHeader(const RecoveryFileRead& read, uint64_t fileSize)
{
    const auto tryAt = [&](uint64_t offset, uint64_t length) -> std::optional<RecoveryHeader> {
        if (length == 0 || length > fileSize || offset > fileSize - length || length > (1ull << 31))
            return std::nullopt;
        std::vector<uint8_t> bytes(length);
        if (!read(offset, bytes.size(), bytes.data()))
            return std::nullopt;
        return parseHeader(bytes.data(), bytes.size());
    };
    // The first copy: its length is in its own last 8 bytes, read after the fixed part.
    uint8_t lengthField[8];
    const auto lengthAt = [&](uint64_t offset) -> uint64_t {
        if (offset + 8 > fileSize || !read(offset, 8, lengthField))
            return 0;
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i)
            value |= static_cast<uint64_t>(lengthField[i]) << (8 * i);
        return value;
    };
    // The copy at the end gives its length in the file's last 8 bytes; both copies are as long.
    const uint64_t endLength = fileSize >= 8 ? lengthAt(fileSize - 8) : 0;
    if (endLength > 0 && endLength <= fileSize) {
        if (auto header = tryAt(0, endLength))
            return header;
        if (auto header = tryAt(fileSize - endLength, endLength))
            return header;
    }
    // The end damaged: the first copy's length from the parity between the copies is not
    // known, so each whole number of blocks is tried up to half the file.
    for (uint64_t length = RecoveryBlockSize; length <= fileSize / 2; length += RecoveryBlockSize)
        if (lengthAt(length - 8) == length)
            if (auto header = tryAt(0, length))
                return header;
    return std::nullopt;
}

uint64_t lostHeaderBlocks(const RecoveryHeader& header, const RecoveryFileRead& read)
{
    const std::vector<uint8_t> stored = serializeHeader(header);
    const uint64_t endCopy = stored.size() + header.parityBlocks() * RecoveryBlockSize;
    std::vector<uint8_t> block(RecoveryBlockSize);
    uint64_t lost = 0;
    for (const uint64_t copy : {uint64_t{0}, endCopy})
        for (std::size_t at = 0; at < stored.size(); at += RecoveryBlockSize)
            if (!read(copy + at, RecoveryBlockSize, block.data())
                || std::memcmp(block.data(), stored.data() + at, RecoveryBlockSize) != 0)
                ++lost;
    return lost;
}

namespace {

// Feeds the repair from the disc and writes what it reads and rebuilds into the output files,
// each under a temporary name beside its place until finish() moves it there.
class DiscBlocks : public RecoveryBlocks {
public:
    // selected: the files to write (indexes of header.files); empty for all of them.
    DiscBlocks(const RecoveryHeader& header, const ProtectedBlockRead& readData, const RecoveryFileRead& readFile,
               uint64_t parityOffset, const std::string& outputFolder, const std::vector<std::size_t>& selected)
        : m_header(header),
          m_map(header.files),
          m_readData(readData),
          m_readFile(readFile),
          m_parityOffset(parityOffset),
          m_outputs(header.files.size())
    {
        std::vector<std::size_t> files = selected;
        if (files.empty())
            for (std::size_t f = 0; f < header.files.size(); ++f)
                files.push_back(f);
        else
            m_wanted.assign(header.shape.stripes(header.dataBlocks()) * header.shape.width, false);
        if (!files.empty() && !platform::createFolders(outputFolder))
            throw Error("Could not create " + outputFolder);
        for (const std::size_t f : files) {
            Output& output = m_outputs[f];
            output.target = platform::joinPath(outputFolder, header.files[f].name);
            makeFolders(outputFolder, header.files[f].name, output.target);
            platform::File file = platform::File::createUnique(output.target + ".part-", output.temporary);
            if (!file.isOpen()) {
                output.temporary.clear();
                throw Error("Could not write " + output.target);
            }
            // The temporary file is its owner's alone; the file in its place is as any other.
            if (!file.setMode(0666 & ~platform::creationMask()) || !file.close())
                throw Error("Could not write " + output.target);
            if (!m_wanted.empty())
                for (uint64_t index = m_map.start(f); index < m_map.start(f + 1); ++index)
                    m_wanted[codewordOf(index)] = true;
        }
    }
    DiscBlocks(const DiscBlocks&) = delete;
    DiscBlocks& operator=(const DiscBlocks&) = delete;

    bool data(uint64_t index, uint8_t* out) override
    {
        const auto [file, block] = m_map.locate(index);
        const bool sound = m_readData(file, block, out) && blockCrc(out) == m_header.dataCrcs[index];
        if (sound)
            put(index, out);
        return sound;
    }
    bool wanted(uint64_t stripe, uint32_t column) override
    {
        return m_wanted.empty() || m_wanted[stripe * m_header.shape.width + column];
    }
    bool parity(uint64_t index, uint8_t* out) override
    {
        return m_readFile(m_parityOffset + index * RecoveryBlockSize, RecoveryBlockSize, out)
            && blockCrc(out) == m_header.parityCrcs[index];
    }
    void rebuilt(uint64_t index, const uint8_t* block) override { put(index, block); }

    // Each output cut to its file's size and put in its place when whole; those that are not
    // go into lostFiles, and into their place when keepParts and nothing has its name.
    void finish(const std::vector<uint64_t>& unrecoverable, const RebuiltFileCheck& check, bool keepParts,
                std::vector<std::string>& lostFiles)
    {
        closeAll();
        std::vector<bool> lost(m_header.files.size(), false);
        for (uint64_t index : unrecoverable)
            lost[m_map.locate(index).first] = true;
        for (std::size_t f = 0; f < m_outputs.size(); ++f) {
            Output& output = m_outputs[f];
            if (output.temporary.empty())
                continue;
            platform::File file = platform::File::open(output.temporary, platform::FileMode::ReadWrite);
            if (!file.isOpen() || !file.truncate(m_header.files[f].size) || !file.sync() || !file.close())
                throw Error("Could not write " + output.target);
            const bool whole = !lost[f] && (!check || check(f, output.temporary));
            if (!whole)
                lostFiles.push_back(m_header.files[f].name);
            if (whole
                || (keepParts
                    && platform::fileStatus(output.target, platform::Links::DoNotFollow).kind
                        == platform::FileKind::Missing)) {
                if (!platform::replaceFile(output.temporary, output.target))
                    throw Error("Could not write " + output.target);
            } else if (!platform::deleteFile(output.temporary)) {
                throw Error("Could not delete " + output.temporary);
            }
            output.temporary.clear();
        }
    }

private:
    struct Output {
        std::string target;    // "" for a file not written
        std::string temporary; // while it is being written
    };
    // A repair that ends before finish(), its constructor's failure included, leaves no
    // temporary file behind.
    struct Leftovers {
        std::vector<Output>& outputs;
        ~Leftovers()
        {
            for (const Output& output : outputs)
                if (!output.temporary.empty())
                    static_cast<void>(platform::deleteFile(output.temporary)); // on the way out of a failure
        }
    };

    // The folders of name below outputFolder, made as needed. Each must be a real folder: one
    // that is a link could lead outside outputFolder.
    static void makeFolders(const std::string& outputFolder, const std::string& name, const std::string& target)
    {
        for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
            const std::string folder = platform::joinPath(outputFolder, name.substr(0, slash));
            const platform::FileKind kind = platform::fileStatus(folder, platform::Links::DoNotFollow).kind;
            if (kind == platform::FileKind::Folder)
                continue;
            if (kind != platform::FileKind::Missing || !platform::createFolder(folder))
                throw Error("Could not write " + target);
        }
    }
    uint64_t codewordOf(uint64_t index) const
    {
        const RecoveryShape& shape = m_header.shape;
        return index / shape.stripeDataBlocks() * shape.width + index % shape.width;
    }
    // Blocks arrive a run of a stripe's row at a time, so a few open files serve them; a
    // disc's thousand files are never all open at once.
    void put(uint64_t index, const uint8_t* block)
    {
        const auto [file, inFile] = m_map.locate(index);
        const Output& output = m_outputs[file];
        if (output.temporary.empty())
            return; // a file not asked for, read for its codewords only
        auto open = m_open.find(file);
        if (open == m_open.end()) {
            if (m_open.size() >= 64)
                closeAll();
            platform::File opened = platform::File::open(output.temporary, platform::FileMode::ReadWrite);
            if (!opened.isOpen())
                throw Error("Could not write " + output.target);
            open = m_open.emplace(file, std::move(opened)).first;
        }
        if (open->second.writeAt(block, RecoveryBlockSize, inFile * RecoveryBlockSize) != RecoveryBlockSize)
            throw Error("Could not write " + output.target);
    }
    void closeAll()
    {
        for (auto& [file, out] : m_open)
            if (!out.close())
                throw Error("Could not write " + m_outputs[file].target);
        m_open.clear();
    }

    const RecoveryHeader& m_header;
    BlockMap m_map;
    const ProtectedBlockRead& m_readData;
    const RecoveryFileRead& m_readFile;
    uint64_t m_parityOffset;
    std::vector<Output> m_outputs; // per file of the header
    Leftovers m_leftovers{m_outputs};
    std::vector<bool> m_wanted;                   // per codeword; empty: every one
    std::map<std::size_t, platform::File> m_open; // after m_leftovers: closed before they are deleted
};

} // namespace

DiscRepair repairDisc(const RecoveryHeader& header, const ProtectedBlockRead& readData,
                      const RecoveryFileRead& readFile, const std::string& outputFolder, const RebuiltFileCheck& check)
{
    // The parity follows the first copy of the header.
    const uint64_t headerLength = headerBytes(header.files, header.dataBlocks(), header.parityBlocks());
    DiscBlocks blocks(header, readData, readFile, headerLength, outputFolder, {});
    DiscRepair repair;
    repair.count = repairBlocks(header.shape, header.dataBlocks(), blocks);
    blocks.finish(repair.count.unrecoverable, check, true, repair.lostFiles);
    repair.lostMetadata = lostHeaderBlocks(header, readFile);
    return repair;
}

DiscRepair repairFiles(const RecoveryHeader& header, const ProtectedBlockRead& readData,
                       const RecoveryFileRead& readFile, const std::vector<std::size_t>& files,
                       const std::string& outputFolder, const RebuiltFileCheck& check)
{
    if (files.empty())
        return {};
    const uint64_t headerLength = headerBytes(header.files, header.dataBlocks(), header.parityBlocks());
    DiscBlocks blocks(header, readData, readFile, headerLength, outputFolder, files);
    DiscRepair repair;
    repair.count = repairBlocks(header.shape, header.dataBlocks(), blocks);
    blocks.finish(repair.count.unrecoverable, check, false, repair.lostFiles);
    return repair;
}

RecoveryDamage assessDamage(const RecoveryHeader& header, const ProtectedBlockRead& readData,
                            const RecoveryFileRead& readFile, const std::vector<bool>& knownSound)
{
    DamageTally tally(header.shape, header.dataBlocks());
    const BlockMap map(header.files);
    std::vector<uint8_t> block(RecoveryBlockSize);
    std::vector<std::string> damagedFiles;
    for (std::size_t f = 0; f < header.files.size(); ++f) {
        if (f < knownSound.size() && knownSound[f])
            continue;
        bool damaged = false;
        for (uint64_t index = map.start(f); index < map.start(f + 1); ++index)
            if (!readData(f, index - map.start(f), block.data()) || blockCrc(block.data()) != header.dataCrcs[index]) {
                tally.lostData(index);
                damaged = true;
            }
        if (damaged)
            damagedFiles.push_back(header.files[f].name);
    }
    uint64_t lostParity = 0;
    const uint64_t parityOffset = headerBytes(header.files, header.dataBlocks(), header.parityBlocks());
    for (uint64_t p = 0; p < header.parityBlocks(); ++p)
        if (!readFile(parityOffset + p * RecoveryBlockSize, RecoveryBlockSize, block.data())
            || blockCrc(block.data()) != header.parityCrcs[p]) {
            tally.lostParity(p);
            ++lostParity;
        }
    RecoveryDamage damage = tally.result();
    damage.lostParity = lostParity;
    damage.lostMetadata = lostHeaderBlocks(header, readFile);
    damage.blocks += 2 * parityOffset / RecoveryBlockSize;
    damage.lost += damage.lostMetadata;
    damage.damagedFiles = std::move(damagedFiles);
    return damage;
}

} // namespace torvinel
