#include "restore/DiscRepairRun.h"

#include <cstring>
#include <map>
#include <optional>

#include "app/Error.h"
#include "catalog/FileDigest.h"
#include "platform/File.h"
#include "platform/Platform.h"

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

} // namespace

DiscRepairReport repairDiscFiles(DiscReader& reader, const std::string& discId, const std::string& outputFolder)
{
    const std::string inDisc = discId + "/";
    const PlacedFile recovery(reader.locate(inDisc + RecoveryFileName));
    if (recovery.length() == 0)
        throw Error("Disc " + discId + " carries no recovery data.");
    const RecoveryFileRead readRecovery = [&](uint64_t offset, std::size_t length, uint8_t* out) {
        return recovery.read(offset, length, out);
    };
    const auto header = readRecoveryHeader(readRecovery, recovery.length());
    if (!header)
        throw Error("The recovery data of disc " + discId + " cannot be read.");

    std::map<std::size_t, PlacedFile> placed;
    const ProtectedBlockRead readData = [&](std::size_t file, uint64_t block, uint8_t* out) {
        auto found = placed.find(file);
        if (found == placed.end()) {
            if (placed.size() >= 64)
                placed.clear();
            found = placed.emplace(file, PlacedFile(reader.locate(inDisc + header->files[file].name))).first;
        }
        return found->second.read(block * RecoveryBlockSize, RecoveryBlockSize, out);
    };
    DiscRepairReport report;
    report.repair = repairDisc(*header, readData, readRecovery, outputFolder);
    report.files = header->files.size();
    for (const auto& file : header->files) {
        const bool lost =
            std::find(report.repair.lostFiles.begin(), report.repair.lostFiles.end(), file.name) != report.repair.lostFiles.end();
        if (lost || FileDigest(platform::joinPath(outputFolder, file.name)) != file.md5)
            report.notRebuilt.push_back(file.name);
    }
    return report;
}

} // namespace torvinel
