#include "restore/SessionRepair.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "app/Error.h"
#include "catalog/FileDigest.h"
#include "platform/File.h"
#include "platform/Platform.h"
#include "recovery/ImageRecoveryWriter.h"
#include "recovery/ImageRepair.h"
#include "recovery/RecoveryFile.h"
#include "restore/internal/SessionChecksums.h"

namespace torvinel {

namespace {

constexpr uint64_t Block = RecoveryBlockSize;

// The disc's blocks where only its files can be read (a disc mounted or copied to a folder):
// the recovery file and the files it lists, at the blocks it gives them; the rest is lost.
class FilesMedium : public MediumBlocks {
public:
    FilesMedium(DiscReader& reader, const std::string& discId, const ImageRecovery& recovery)
        : m_blocks(recovery.layout.sessionStart + recovery.layout.sessionBlocks)
    {
        const auto add = [&](const std::string& name, uint64_t first, uint64_t blocks) {
            const auto extent = reader.locate(discId + "/" + name);
            if (!extent || blocks == 0)
                return;
            if (auto medium = openMediumPart(extent->file, extent->offset, extent->length))
                m_parts.emplace(first, Part{blocks, std::move(medium)});
        };
        add(RecoveryFileName, recovery.layout.recoveryStart(), recovery.layout.recoveryBlocks);
        if (recovery.fixed)
            for (const PlacedRecoveryFile& file : recovery.fixed->files)
                add(file.name, file.block, file.blocks());
    }
    uint64_t blocks() const override { return m_blocks; }
    void read(uint64_t first, std::size_t count, uint8_t* out, uint8_t* readable) override
    {
        std::memset(out, 0, count * Block);
        std::fill(readable, readable + count, uint8_t{0});
        for (std::size_t i = 0; i < count;) {
            const uint64_t block = first + i;
            auto part = m_parts.upper_bound(block);
            if (part == m_parts.begin() || block >= std::prev(part)->first + std::prev(part)->second.blocks) {
                ++i; // no file holds it
                continue;
            }
            --part;
            const auto run =
                static_cast<std::size_t>(std::min<uint64_t>(count - i, part->first + part->second.blocks - block));
            part->second.medium->read(block - part->first, run, out + i * Block, readable + i);
            i += run;
        }
    }

private:
    struct Part {
        uint64_t blocks;
        std::unique_ptr<MediumBlocks> medium;
    };
    uint64_t m_blocks;
    std::map<uint64_t, Part> m_parts; // by first block
};

// Where the blocks of the files of a fixed part go: each file under a temporary name in its
// folder, renamed once whole and of its MD5.
class FileAssembly {
public:
    FileAssembly(const ImageRecovery& recovery, const std::vector<std::size_t>& files, const std::string& folder)
        : m_recovery(recovery), m_fixed(*recovery.fixed), m_folder(folder), m_outputs(m_fixed.files.size())
    {
        for (const std::size_t f : files) {
            const std::string target = platform::joinPath(folder, m_fixed.files[f].name);
            const std::string parent = target.substr(0, target.rfind('/'));
            if (!platform::createFolders(parent))
                throw Error("Could not write " + target);
            Output& output = m_outputs[f];
            output.target = target;
            output.wanted = true;
            platform::File file = platform::File::createUnique(target + ".", output.temporary);
            if (!file.isOpen())
                throw Error("Could not write " + target);
            if (!file.close())
                throw Error("Could not write " + target);
        }
        for (std::size_t f = 0; f < m_fixed.files.size(); ++f)
            m_starts.emplace(recovery.firstIndex(m_fixed.files[f]), f);
    }
    ~FileAssembly()
    {
        for (const Output& output : m_outputs)
            if (!output.temporary.empty())
                static_cast<void>(platform::deleteFile(output.temporary));
    }
    FileAssembly(const FileAssembly&) = delete;
    FileAssembly& operator=(const FileAssembly&) = delete;

    void put(uint64_t index, const uint8_t* block)
    {
        auto file = m_starts.upper_bound(index);
        if (file == m_starts.begin())
            return; // the file tree's
        --file;
        const PlacedRecoveryFile& placed = m_fixed.files[file->second];
        const uint64_t inFile = index - file->first;
        Output& output = m_outputs[file->second];
        if (!output.wanted || inFile >= placed.blocks())
            return;
        const uint64_t offset = inFile * Block;
        const auto bytes = static_cast<std::size_t>(std::min<uint64_t>(Block, placed.size - offset));
        if (open(file->second).writeAt(block, bytes, offset) != static_cast<int64_t>(bytes))
            throw Error("Could not write " + output.target);
    }

    // Renames every file whose blocks all came and whose MD5 holds; the names of the others.
    std::vector<std::string> finish(const std::vector<uint64_t>& unrecoverable)
    {
        for (auto& [f, file] : m_open)
            if (!file.close())
                throw Error("Could not write " + m_outputs[f].target);
        m_open.clear();
        std::vector<bool> lost(m_fixed.files.size(), false);
        for (const uint64_t index : unrecoverable) {
            auto file = m_starts.upper_bound(index);
            if (file != m_starts.begin()
                && index - std::prev(file)->first < m_fixed.files[std::prev(file)->second].blocks())
                lost[std::prev(file)->second] = true;
        }
        std::vector<std::string> notRebuilt;
        for (std::size_t f = 0; f < m_outputs.size(); ++f) {
            Output& output = m_outputs[f];
            if (!output.wanted)
                continue;
            if (lost[f] || FileDigest(output.temporary) != m_fixed.files[f].md5) {
                notRebuilt.push_back(m_fixed.files[f].name);
                continue;
            }
            if (!platform::replaceFile(output.temporary, output.target))
                throw Error("Could not write " + output.target);
            output.temporary.clear();
        }
        return notRebuilt;
    }

private:
    struct Output {
        bool wanted = false;
        std::string target, temporary;
    };
    // The blocks come a row of codewords at a time, spread over the disc; a few files open at
    // once serve them.
    platform::File& open(std::size_t f)
    {
        if (const auto found = m_open.find(f); found != m_open.end())
            return found->second;
        if (m_open.size() >= 64) {
            for (auto& [g, file] : m_open)
                if (!file.close())
                    throw Error("Could not write " + m_outputs[g].target);
            m_open.clear();
        }
        platform::File file = platform::File::open(m_outputs[f].temporary, platform::FileMode::ReadWrite);
        if (!file.isOpen())
            throw Error("Could not write " + m_outputs[f].target);
        return m_open.emplace(f, std::move(file)).first->second;
    }

    const ImageRecovery& m_recovery;
    const RecoveryFixedPart& m_fixed;
    std::string m_folder;
    std::vector<Output> m_outputs;
    std::map<uint64_t, std::size_t> m_starts; // first block index -> file
    std::map<std::size_t, platform::File> m_open;
};

const RecoveryFixedPart& fixedPartOf(const SessionRecovery& session, const std::string& discId)
{
    if (!session.recovery.fixed)
        throw Error("The recovery data of disc " + discId + " cannot be read.");
    return *session.recovery.fixed;
}

// The files, and the file tree, that hold blocks beyond repair.
std::vector<std::string> lostNames(const ImageRecovery& recovery, const std::vector<uint64_t>& unrecoverable)
{
    std::vector<std::string> names;
    bool tree = false;
    for (const uint64_t index : unrecoverable) {
        const PlacedRecoveryFile* holder = nullptr;
        for (const PlacedRecoveryFile& file : recovery.fixed->files)
            if (index >= recovery.firstIndex(file) && index < recovery.firstIndex(file) + file.blocks())
                holder = &file;
        if (!holder)
            tree = true;
        else if (std::find(names.begin(), names.end(), holder->name) == names.end())
            names.push_back(holder->name);
    }
    if (tree)
        names.insert(names.begin(), "the file tree");
    return names;
}

} // namespace

std::optional<SessionRecovery> openSessionRecovery(DiscReader& reader, const std::string& discId)
{
    std::optional<ImageRecovery> recovery;
    const auto extent = reader.locate(discId + "/" + RecoveryFileName);
    if (extent) {
        const auto file = openMediumPart(extent->file, extent->offset, extent->length);
        if (!file)
            return std::nullopt;
        // A first block of version 1 is its header: nothing to look for.
        uint8_t first[Block];
        uint8_t readable = 0;
        file->read(0, 1, first, &readable);
        if (readable && std::memcmp(first, "TORVREC1", 8) == 0)
            return std::nullopt;
        recovery = readImageRecovery(*file);
    }
    std::unique_ptr<MediumBlocks> medium;
    if (const auto path = reader.medium(discId))
        medium = openMediumFile(*path);
    // Through the disc's blocks only when its folder cannot be read: a disc written without
    // recovery data is not read whole for nothing.
    if (!recovery && medium && !extent && reader.list(discId).empty())
        recovery = findImageRecovery(*medium, discId);
    if (!recovery || (recovery->fixed && recovery->fixed->discName != discId))
        return std::nullopt;
    if (!medium)
        medium = std::make_unique<FilesMedium>(reader, discId, *recovery);
    return SessionRecovery{std::move(*recovery), std::move(medium)};
}

DiscRepairReport repairSessionFiles(SessionRecovery& session, const std::string& discId,
                                    const std::string& outputFolder)
{
    const RecoveryFixedPart& fixed = fixedPartOf(session, discId);
    std::vector<std::size_t> all(fixed.files.size());
    for (std::size_t f = 0; f < all.size(); ++f)
        all[f] = f;
    FileAssembly assembly(session.recovery, all, outputFolder);
    DiscRepairReport report;
    report.repair.count = repairImage(session.recovery, *session.medium,
                                      [&](uint64_t index, const uint8_t* block) { assembly.put(index, block); });
    report.notRebuilt = assembly.finish(report.repair.count.unrecoverable);
    report.repair.lostFiles = lostNames(session.recovery, report.repair.count.unrecoverable);
    report.repair.lostMetadata = session.recovery.metadataLost;
    report.files = fixed.files.size();
    return report;
}

DiscRepairReport repairSessionImage(SessionRecovery& session, const std::string& discId, const std::string& imageFile)
{
    const RecoveryFixedPart& fixed = fixedPartOf(session, discId);
    const ImageRecoveryLayout& layout = session.recovery.layout;
    const auto writeFailed = [&imageFile] { return Error("Could not write " + imageFile); };
    std::string temporary;
    platform::File image = platform::File::createUnique(imageFile + ".", temporary);
    if (!image.isOpen())
        throw writeFailed();
    struct Cleanup {
        std::string& path;
        ~Cleanup()
        {
            if (!path.empty())
                static_cast<void>(platform::deleteFile(path));
        }
    } cleanup{temporary};
    const auto writeAt = [&](const uint8_t* data, uint64_t bytes, uint64_t offset) {
        if (image.writeAt(data, bytes, offset) != static_cast<int64_t>(bytes))
            throw writeFailed();
    };
    if (!image.truncate((layout.sessionStart + layout.sessionBlocks) * Block))
        throw writeFailed();
    // Earlier sessions of the medium as they read.
    std::vector<uint8_t> run(256 * Block), readable(256);
    for (uint64_t first = 0; first < layout.sessionStart; first += 256) {
        const auto count = static_cast<std::size_t>(std::min<uint64_t>(256, layout.sessionStart - first));
        session.medium->read(first, count, run.data(), readable.data());
        writeAt(run.data(), count * Block, first * Block);
    }
    DiscRepairReport report;
    report.files = fixed.files.size();
    report.repair.lostMetadata = session.recovery.metadataLost;
    report.repair.count = repairImage(session.recovery, *session.medium, [&](uint64_t index, const uint8_t* block) {
        writeAt(block, Block, (layout.sessionStart + index) * Block);
    });
    if (!report.repair.count.unrecoverable.empty()) {
        report.notRebuilt = lostNames(session.recovery, report.repair.count.unrecoverable);
        report.repair.lostFiles = report.notRebuilt;
        return report;
    }

    // The recovery file again, from the blocks it protects: the same bytes as burnt.
    std::string recoveryTemporary;
    {
        platform::File made = platform::File::createUnique(imageFile + ".", recoveryTemporary);
        if (!made.isOpen() || !made.close())
            throw writeFailed();
    }
    struct Cleanup recoveryCleanup {
        recoveryTemporary
    };
    const std::string imagePath = temporary;
    writeImageRecovery(
        layout, fixed,
        [&] {
            auto source = std::make_shared<platform::File>(platform::File::open(imagePath, platform::FileMode::Read));
            return [source, &layout, &writeFailed](uint64_t first, std::size_t count, uint8_t* out) {
                const uint64_t bytes = count * Block;
                if (source->readAt(out, bytes, (layout.sessionStart + first) * Block) != static_cast<int64_t>(bytes))
                    throw writeFailed();
            };
        },
        recoveryTemporary, 2);
    {
        const platform::File made = platform::File::open(recoveryTemporary, platform::FileMode::Read);
        for (uint64_t first = 0; first < layout.recoveryBlocks; first += 256) {
            const auto count = static_cast<std::size_t>(std::min<uint64_t>(256, layout.recoveryBlocks - first));
            if (made.readAt(run.data(), count * Block, first * Block) != static_cast<int64_t>(count * Block))
                throw writeFailed();
            writeAt(run.data(), count * Block, (layout.recoveryStart() + first) * Block);
        }
    }
    // Then what follows it: the session's checksums over everything before them.
    const uint64_t tailStart = layout.recoveryStart() + layout.recoveryBlocks;
    const uint64_t tailBlocks = layout.sessionStart + layout.sessionBlocks - tailStart;
    if (layout.tail == SessionTail::IsoChecksums && tailBlocks == IsoSessionChecksumBlocks) {
        Md5 md5;
        for (uint64_t first = layout.sessionStart; first < tailStart; first += 256) {
            const auto count = static_cast<std::size_t>(std::min<uint64_t>(256, tailStart - first));
            if (image.readAt(run.data(), count * Block, first * Block) != static_cast<int64_t>(count * Block))
                throw writeFailed();
            md5.update(run.data(), count * Block);
        }
        const std::vector<uint8_t> checksums = isoSessionChecksums(md5, layout.sessionStart, tailStart);
        writeAt(checksums.data(), checksums.size(), tailStart * Block);
    } else {
        for (uint64_t first = tailStart; first < tailStart + tailBlocks; first += 256) {
            const auto count = static_cast<std::size_t>(std::min<uint64_t>(256, tailStart + tailBlocks - first));
            session.medium->read(first, count, run.data(), readable.data());
            if (std::find(readable.begin(), readable.begin() + static_cast<std::ptrdiff_t>(count), 0)
                != readable.begin() + static_cast<std::ptrdiff_t>(count)) {
                report.notRebuilt.push_back("the session's checksums");
                return report;
            }
            writeAt(run.data(), count * Block, first * Block);
        }
    }
    if (!image.sync() || !image.close() || !platform::replaceFile(temporary, imageFile))
        throw writeFailed();
    temporary.clear();
    return report;
}

FileRebuild rebuildSessionFile(SessionRecovery& session, const std::string& name, const std::string& outputFolder)
{
    if (!session.recovery.fixed)
        return FileRebuild::NoRecoveryData;
    const auto& files = session.recovery.fixed->files;
    const auto file =
        std::find_if(files.begin(), files.end(), [&](const PlacedRecoveryFile& f) { return f.name == name; });
    if (file == files.end())
        return FileRebuild::NoRecoveryData;
    FileAssembly assembly(session.recovery, {static_cast<std::size_t>(file - files.begin())}, outputFolder);
    const RepairCount count = repairImage(
        session.recovery, *session.medium, [&](uint64_t index, const uint8_t* block) { assembly.put(index, block); },
        codewordsOf(session.recovery.layout, session.recovery.firstIndex(*file), file->blocks()));
    return assembly.finish(count.unrecoverable).empty() ? FileRebuild::Rebuilt : FileRebuild::BeyondRepair;
}

} // namespace torvinel
