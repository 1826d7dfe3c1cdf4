#include "restore/DiscRepairRun.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <map>
#include <optional>

#include "app/Error.h"
#include "catalog/DiscNames.h"
#include "catalog/FileDigest.h"
#include "discwright/DiscImageFile.h"
#include "platform/File.h"
#include "platform/Platform.h"
#include "recovery/ImageRepair.h"
#include "restore/SessionRepair.h"

namespace torvinel {

namespace {

// A file of the disc read in place, a block at a time; a block that fails is tried again.
class PlacedFile {
public:
    explicit PlacedFile(const std::optional<DiscReader::Extent>& extent)
    {
        if (!extent)
            return;
        m_file = platform::File::openPart(extent->file, extent->offset, extent->length);
        m_length = extent->length;
    }
    bool read(uint64_t offset, std::size_t length, uint8_t* out) const
    {
        if (!m_file.isOpen() || offset > m_length)
            return false;
        std::memset(out, 0, length);
        const std::size_t wanted = static_cast<std::size_t>(std::min<uint64_t>(length, m_length - offset));
        for (int attempt = 0; attempt < 3; ++attempt)
            if (m_file.readAt(out, wanted, offset) == static_cast<int64_t>(wanted))
                return true;
        return false;
    }
    uint64_t length() const { return m_length; }

private:
    platform::File m_file;
    uint64_t m_length = 0;
};

// A disc's recovery file and its header, read once; the protected files opened as needed.
class DiscRecovery {
public:
    DiscRecovery(DiscReader& reader, const std::string& discId)
        : m_reader(reader), m_inDisc(discId + "/"), m_file(reader.locate(m_inDisc + RecoveryFileName))
    {
        if (m_file.length() > 0)
            m_header = readRecoveryHeader(readFile, m_file.length());
    }
    DiscRecovery(const DiscRecovery&) = delete;
    DiscRecovery& operator=(const DiscRecovery&) = delete;

    bool carried() const { return m_file.length() > 0; }
    const std::optional<RecoveryHeader>& header() const { return m_header; }

    const RecoveryFileRead readFile = [this](uint64_t offset, std::size_t length, uint8_t* out) {
        return m_file.read(offset, length, out);
    };
    const ProtectedBlockRead readData = [this](std::size_t file, uint64_t block, uint8_t* out) {
        auto found = m_placed.find(file);
        if (found == m_placed.end()) {
            if (m_placed.size() >= 64)
                m_placed.clear();
            found = m_placed.emplace(file, PlacedFile(m_reader.locate(m_inDisc + m_header->files[file].name))).first;
        }
        return found->second.read(block * RecoveryBlockSize, RecoveryBlockSize, out);
    };

private:
    DiscReader& m_reader;
    std::string m_inDisc;
    PlacedFile m_file;
    std::optional<RecoveryHeader> m_header;
    std::map<std::size_t, PlacedFile> m_placed;
};

} // namespace

namespace {

// The repair from recovery, whose header was read; raises when there is none to repair from.
// A file is rebuilt when it comes out of the MD5 the recovery data records for it.
DiscRepairReport repairFrom(DiscRecovery& recovery, const std::string& discId, const std::string& outputFolder)
{
    if (!recovery.carried())
        throw Error("Disc " + discId + " carries no recovery data.");
    if (!recovery.header())
        throw Error("The recovery data of disc " + discId + " cannot be read.");
    const RecoveryHeader& header = *recovery.header();
    DiscRepairReport report;
    report.repair = repairDisc(
        header, recovery.readData, recovery.readFile, outputFolder,
        [&](std::size_t file, const std::string& path) { return FileDigest(path) == header.files[file].md5; });
    report.files = header.files.size();
    report.notRebuilt = report.repair.lostFiles;
    return report;
}

} // namespace

DiscRepairReport repairDiscFiles(DiscReader& reader, const std::string& discId, const std::string& outputFolder)
{
    if (auto session = openSessionRecovery(reader, discId))
        return repairSessionFiles(*session, discId, outputFolder);
    DiscRecovery recovery(reader, discId);
    return repairFrom(recovery, discId, outputFolder);
}

DiscRepairReport repairDiscImage(DiscReader& reader, const std::string& discId, const std::string& workFolder,
                                 const std::string& imageFile)
{
    if (auto session = openSessionRecovery(reader, discId))
        return repairSessionImage(*session, discId, imageFile);
    const std::string folder = platform::joinPath(workFolder, discId);
    if (!platform::folderExists(folder) && !platform::createFolder(folder))
        throw Error("Could not create " + folder);
    DiscRecovery recovery(reader, discId);
    DiscRepairReport report = repairFrom(recovery, discId, folder);
    if (!report.notRebuilt.empty())
        return report;
    // Made from the same files with the same shape, it is the disc's own recovery file again.
    const RecoveryHeader& header = *recovery.header();
    writeRecoveryFile(folder, header.files, header.shape, platform::joinPath(folder, RecoveryFileName));
    std::vector<std::string> first{DiscIndexFolder};
    for (const ProtectedFile& file : header.files)
        if (sameDiscName(file.name, "status.ini"))
            first.push_back(file.name);
    writeDiscImageFile(folder, discId, first, imageFile);
    return report;
}

FileRebuild rebuildDiscFile(DiscReader& reader, const std::string& discId, const std::string& name,
                            const std::string& outputFolder)
{
    if (auto session = openSessionRecovery(reader, discId))
        return rebuildSessionFile(*session, name, outputFolder);
    DiscRecovery recovery(reader, discId);
    if (!recovery.header())
        return FileRebuild::NoRecoveryData;
    const RecoveryHeader& header = *recovery.header();
    const auto file =
        std::find_if(header.files.begin(), header.files.end(), [&](const ProtectedFile& f) { return f.name == name; });
    if (file == header.files.end())
        return FileRebuild::NoRecoveryData;
    const std::size_t index = static_cast<std::size_t>(file - header.files.begin());
    const DiscRepair repair =
        repairFiles(header, recovery.readData, recovery.readFile, {index}, outputFolder,
                    [&](std::size_t, const std::string& path) { return FileDigest(path) == file->md5; });
    return repair.lostFiles.empty() ? FileRebuild::Rebuilt : FileRebuild::BeyondRepair;
}

std::optional<std::vector<ProtectedFile>> protectedFiles(DiscReader& reader, const std::string& discId)
{
    if (const auto session = openSessionRecovery(reader, discId)) {
        if (!session->recovery.fixed)
            return std::nullopt;
        std::vector<ProtectedFile> files;
        for (const PlacedRecoveryFile& file : session->recovery.fixed->files)
            files.push_back({file.name, file.size, file.md5});
        return files;
    }
    DiscRecovery recovery(reader, discId);
    if (!recovery.header())
        return std::nullopt;
    return recovery.header()->files;
}

std::optional<Md5Digest> recordedDigest(DiscReader& reader, const std::string& discId, const std::string& name)
{
    if (const auto session = openSessionRecovery(reader, discId)) {
        if (session->recovery.fixed)
            for (const PlacedRecoveryFile& file : session->recovery.fixed->files)
                if (file.name == name)
                    return file.md5;
        return std::nullopt;
    }
    DiscRecovery recovery(reader, discId);
    if (!recovery.header())
        return std::nullopt;
    for (const ProtectedFile& file : recovery.header()->files)
        if (file.name == name)
            return file.md5;
    return std::nullopt;
}

std::optional<RecoveryDamage> assessDiscDamage(DiscReader& reader, const std::string& discId,
                                               const std::function<bool(const ProtectedFile&)>& provedSound,
                                               const std::function<bool()>& cancelled)
{
    if (auto session = openSessionRecovery(reader, discId))
        return assessImage(session->recovery, *session->medium, cancelled);
    DiscRecovery recovery(reader, discId);
    if (!recovery.header())
        return std::nullopt;
    const RecoveryHeader& header = *recovery.header();
    std::vector<bool> sound;
    for (const ProtectedFile& file : header.files)
        sound.push_back(provedSound(file));
    // Asked every few hundred blocks; once cancelled, nothing more is read.
    uint64_t reads = 0;
    bool stopped = false;
    const auto goOn = [&] {
        if (!stopped && cancelled && ++reads % 256 == 0)
            stopped = cancelled();
        return !stopped;
    };
    const ProtectedBlockRead readData = [&](std::size_t file, uint64_t block, uint8_t* out) {
        return goOn() && recovery.readData(file, block, out);
    };
    const RecoveryFileRead readFile = [&](uint64_t offset, std::size_t length, uint8_t* out) {
        return goOn() && recovery.readFile(offset, length, out);
    };
    const RecoveryDamage damage = assessDamage(header, readData, readFile, sound);
    if (stopped)
        return std::nullopt;
    return damage;
}

} // namespace torvinel
