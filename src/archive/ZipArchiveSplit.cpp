#include "archive/ZipArchive.h"

#include <algorithm>

#include "archive/internal/ZipArchiveShared.h"
#include "archive/internal/ZipEndian.h"
#include "archive/internal/ZipIo.h"
#include "archive/internal/ZipVolumes.h"
#include "archive/internal/ZipWriter.h"

// Split archives: one add packs its files into a chain of fixed-size volumes.
namespace torvinel {

using namespace zipformat;
using namespace zipengine;

namespace {

// The smallest volume a split archive is given, whatever volumeSize says: a volume must
// hold at least a local header with a long name, or the directory's end record.
constexpr int64_t MinimumVolumeSize = 65536;

} // namespace

uint64_t ZipArchive::volumeCapacity() const
{
    return static_cast<uint64_t>(std::max<int64_t>(volumeSize, MinimumVolumeSize));
}

// Asks for and creates the next volume; the current one must be complete and closed.
void ZipArchive::startVolume()
{
    const uint32_t number = m_volumeNumber + 1;
    std::string name = zipvolumes::advancedName(m_path, number);
    bool cancel = false;
    if (onRequestBlankVolume)
        onRequestBlankVolume(*this, static_cast<int>(number), name, cancel);
    if (cancel)
        raise(ZipErrorKind::CannotOpenArchive);
    const int64_t free = platform::freeSpace(zipvolumes::folderOf(name));
    const uint64_t room = volumeCapacity();
    if (free <= MinimumVolumeSize || static_cast<uint64_t>(free) < room)
        raise(ZipErrorKind::CannotOpenArchive);
    m_file = platform::File::open(name, platform::FileMode::Create);
    if (!m_file.isOpen())
        raise(ZipErrorKind::CannotOpenArchive);
    m_volumePath = name;
    m_volumeNumber = number;
    m_volumeRoom = room;
}

// Finishes the current volume and starts the next one.
void ZipArchive::nextVolume(SplitWriter& writer)
{
    writer.out.finish();
    if (options.flushBuffers && !m_file.sync())
        throw ZipFault{ZipErrorKind::WriteToStream, m_volumePath};
    if (!m_file.close())
        throw ZipFault{ZipErrorKind::WriteToStream, m_volumePath};
    startVolume();
    writer.out.attach(m_file, 0, m_volumePath);
}

// Writes a record that must not be cut by a volume boundary.
void ZipArchive::writeRecord(SplitWriter& writer, const std::string& record)
{
    if (writer.out.position() > 0 && writer.out.position() + record.size() > m_volumeRoom)
        nextVolume(writer);
    writer.out.write(record.data(), record.size());
}

// Writes data that may run on over as many volumes as it needs.
void ZipArchive::writeSpanning(SplitWriter& writer, const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        if (writer.out.position() >= m_volumeRoom)
            nextVolume(writer);
        const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(size, m_volumeRoom - writer.out.position()));
        writer.out.write(data, n);
        data += n;
        size -= n;
    }
}

void ZipArchive::commitSplit(SplitWriter& writer, std::vector<ZipEntry> entries)
{
    const uint32_t disk = m_volumeNumber - 1;
    const uint64_t directoryOffset = writer.out.position();
    uint64_t directorySize = 0;
    const std::string bytes = directoryBytes(entries, directoryOffset, disk, directorySize);
    // The directory and end record stay together in the last volume.
    writer.out.write(bytes.data(), bytes.size());
    writer.out.finish();
    if (options.flushBuffers && !m_file.sync())
        throw ZipFault{ZipErrorKind::WriteToStream, m_volumePath};
    if (m_volumePath != m_path) {
        const platform::FileFailure removed = platform::removeFile(m_path);
        if (removed != platform::FileFailure::None && removed != platform::FileFailure::Missing)
            throw ZipFault{ZipErrorKind::CannotDeleteFile, m_path};
        if (!platform::replaceFile(m_volumePath, m_path))
            throw ZipFault{ZipErrorKind::CannotCreateFile, m_path};
        m_volumePath = m_path;
    }
    m_entries = std::move(entries);
    forgetCentralHeaders();
    m_lastDisk = disk;
    m_hasDirectory = true;
    m_splitFinished = true;
}

bool ZipArchive::addSplit(std::vector<AddItem>& items)
{
    // Each file is first packed into a temporary file, so that its header is complete
    // before the first volume is handed over; then the header and data go into the volumes.
    TemporaryFile packed;
    std::string packedPath;
    packed.file = platform::File::createUnique(platform::temporaryFolder() + "/FC", packedPath);
    if (!packed.file.isOpen())
        raise(ZipErrorKind::CannotCreateFile, packedPath);
    packed.path = packedPath;

    try {
        SplitWriter writer;
        writer.out.attach(m_file, static_cast<uint64_t>(m_file.size()), m_volumePath);
        std::vector<ZipEntry> entries = m_entries;
        zipwriter::DataEncoder& encoder = this->encoder();
        zipio::BufferedWriter staging;
        std::vector<unsigned char> buffer(zipio::BufferSize);
        for (const AddItem& item : items) {
            ZipEntry entry;
            bool keep = false;
            const bool done = attempt(
                [&] {
                    staging.attach(packed.file, 0, packed.path);
                    keep = writeEntry(item, staging, encoder, entry, ZipOperation::Add);
                    staging.finish();
                },
                withPlatformSeparators(item.entryName), ZipOperation::Add, [] {});
            if (done && !keep)
                return false; // cancelled; the volumes written so far stay as they are
            if (!done)
                continue;
            // The staged local header is rebuilt, since its size is now known exactly.
            unsigned char head[local::Size];
            if (zipio::readAt(packed.file, head, sizeof head, 0, packed.path, ZipErrorKind::WriteToStream)
                != sizeof head)
                throw ZipFault{ZipErrorKind::WriteToStream, packed.path};
            const uint64_t dataStart = local::Size + get16(head + local::NameLength) + get16(head + local::ExtraLength);
            const bool zip64Sizes = zipwriter::needsZip64Sizes(entry.uncompressedSize, entry.compressedSize);
            const std::string header = zipwriter::localHeader(entry, zip64Sizes);
            if (writer.out.position() > 0 && writer.out.position() + header.size() > m_volumeRoom)
                nextVolume(writer);
            entry.diskNumber = m_volumeNumber - 1;
            entry.localHeaderOffset = writer.out.position();
            entry.versionNeeded = (zip64Sizes || entry.localHeaderOffset >= Saturated32)
                ? VersionZip64
                : (entry.method == MethodStored && !item.folder ? VersionStored : VersionDeflateOrFolder);
            writeRecord(writer, zipwriter::localHeader(entry, zip64Sizes));
            for (uint64_t at = dataStart; at < dataStart + entry.compressedSize;) {
                const std::size_t want =
                    static_cast<std::size_t>(std::min<uint64_t>(dataStart + entry.compressedSize - at, buffer.size()));
                const std::size_t got =
                    zipio::readAt(packed.file, buffer.data(), want, at, packed.path, ZipErrorKind::WriteToStream);
                if (got != want)
                    throw ZipFault{ZipErrorKind::WriteToStream, packed.path};
                writeSpanning(writer, buffer.data(), got);
                at += got;
            }
            entries.push_back(std::move(entry));
        }
        commitSplit(writer, std::move(entries));
        return true;
    } catch (const ZipFault& fault) {
        raise(fault.kind, fault.path);
    }
}

} // namespace torvinel
