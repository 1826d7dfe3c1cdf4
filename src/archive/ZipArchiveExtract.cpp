#include "archive/ZipArchive.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "archive/internal/DosTime.h"
#include "archive/internal/ZipArchiveShared.h"
#include "archive/internal/ZipIo.h"
#include "archive/ZipNames.h"
#include "archive/internal/ZipReader.h"
#include "archive/internal/ZipVolumes.h"

// Extracting entries into baseDir, never outside it.
namespace torvinel {

using namespace zipformat;
using namespace zipengine;

namespace {

constexpr uint32_t OwnerAll = 0700;  // read, write and enter for the owner
constexpr uint32_t AllAccess = 0777; // the permission bits without set-id and sticky
constexpr uint32_t ReadWrite = 0666; // a file's mode where the entry records none
constexpr uint32_t ReadOnly = 0444;  // the same for an entry marked read-only

bool isFolder(const std::string& path, platform::Links links)
{
    return platform::fileStatus(path, links).kind == platform::FileKind::Folder;
}

} // namespace

struct ZipArchive::ExtractContext {
    std::string base;                             // baseDir without a trailing separator
    std::unordered_set<std::string> knownFolders; // folders known to exist
    zipio::BufferedWriter out;
};

bool ZipArchive::extractFiles(const std::string& fileMask, uint32_t searchAttr, const std::string& exclusionMask)
{
    std::lock_guard guard(engineLock());
    requireOpen();
    std::string mask = fileMask;
    const char separator = platform::pathSeparator();
    if (separator != '/')
        std::replace(mask.begin(), mask.end(), separator, '/');
    while (mask.starts_with("/"))
        mask.erase(0, 1);

    const std::string base = withoutTrailingSlashes(baseDir);
    ExtractContext context;
    context.base = base.empty() ? std::string(".") : base;
    zipreader::VolumeSet volumes(m_path, m_file, m_lastDisk);
    zipreader::ChainReader reader(volumes);
    zipreader::DataDecoder decoder;
    std::vector<std::pair<std::string, unsigned>> folderModes;

    for (const ZipEntry& e : m_entries) {
        const std::string name = zipreader::displayName(e);
        std::string bare = name;
        while (bare.size() > 1 && bare.back() == '/')
            bare.pop_back();
        const bool selected = zipnames::wildcardMatch(bare, mask)
            || (options.recurse && zipnames::wildcardMatch(zipnames::fileNamePart(bare), mask));
        if (!selected || !zipnames::passesAttributeFilter(e.dosAttributes(), searchAttr))
            continue;
        if (!exclusionMask.empty()
            && (zipnames::wildcardMatch(bare, exclusionMask)
                || zipnames::wildcardMatch(zipnames::fileNamePart(bare), exclusionMask)))
            continue;
        bool finished = true;
        attempt([&] { finished = extractEntry(e, name, context, reader, decoder, folderModes); },
                withPlatformSeparators(name), ZipOperation::Extract, [] {});
        if (!finished)
            return false;
    }
    // Folders get their modes last, so that a read-only folder did not stop its own
    // contents; the owner keeps full access so that later extractions still work.
    // Best effort: a mode that cannot be set leaves the folder as it was made.
    for (auto it = folderModes.rbegin(); it != folderModes.rend(); ++it)
        (void)platform::setPathMode(it->first, it->second | OwnerAll);
    return true;
}

// Makes sure a folder exists below the extraction base. Folders inside the base are
// checked without following links, so that a link placed there cannot lead outside.
void ZipArchive::ensureFolder(const std::string& folder, ExtractContext& context)
{
    if (context.knownFolders.count(folder))
        return;
    const bool insideBase = folder.size() > context.base.size();
    const platform::FileStatus found =
        platform::fileStatus(folder, insideBase ? platform::Links::DoNotFollow : platform::Links::Follow);
    if (found.kind != platform::FileKind::Missing && found.kind != platform::FileKind::Unknown) {
        if (found.kind != platform::FileKind::Folder)
            throw ZipFault{ZipErrorKind::CannotCreateDirectory, folder};
    } else {
        const std::string parent = zipvolumes::folderOf(folder);
        if (parent != folder && parent != "." && parent != "/")
            ensureFolder(parent, context);
        const platform::FileFailure made = platform::makeFolder(folder);
        if (made != platform::FileFailure::None && made != platform::FileFailure::Exists)
            throw ZipFault{ZipErrorKind::CannotCreateDirectory, folder};
        if (!isFolder(folder, platform::Links::DoNotFollow))
            throw ZipFault{ZipErrorKind::CannotCreateDirectory, folder};
    }
    context.knownFolders.insert(folder);
}

bool ZipArchive::extractEntry(const ZipEntry& e, const std::string& name, ExtractContext& context,
                              zipreader::ChainReader& reader, zipreader::DataDecoder& decoder,
                              std::vector<std::pair<std::string, unsigned>>& folderModes)
{
    // Names from Unix-like hosts may hold "\" as an ordinary character; elsewhere it is a
    // separator (displayName has already turned those into "/").
    const std::optional<std::string> safe = zipnames::safeRelativeName(name, platform::pathSeparator() == '\\');
    if (!safe)
        throw ZipFault{ZipErrorKind::UnsafeEntryName, name};
    const std::string target = context.base + "/" + *safe;
    const uint32_t unixMode = e.unixMode();

    if (e.isFolder()) {
        ensureFolder(target, context);
        if (unixMode != 0)
            folderModes.emplace_back(target, unixMode & AllAccess);
        return true;
    }

    ensureFolder(zipvolumes::folderOf(target), context);
    return writeEntryFile(e, name, target, context.out, reader, decoder, {});
}

bool ZipArchive::writeEntryFile(const ZipEntry& e, const std::string& name, const std::string& target,
                                zipio::BufferedWriter& out, zipreader::ChainReader& reader,
                                zipreader::DataDecoder& decoder, const ZipFileDataEvent& onData)
{
    const uint32_t unixMode = e.unixMode();
    platform::File file = platform::File::open(target, platform::FileMode::CreateNew);
    if (!file.isOpen() && file.failure() == platform::FileFailure::Exists) {
        const platform::FileKind existing = platform::fileStatus(target, platform::Links::DoNotFollow).kind;
        if (existing == platform::FileKind::Folder)
            throw ZipFault{ZipErrorKind::CannotCreateFile, target};
        if (existing != platform::FileKind::Missing && existing != platform::FileKind::Unknown) {
            // Replaced, read-only or not; a link is replaced itself, never followed.
            if (platform::removeFile(target) != platform::FileFailure::None)
                throw ZipFault{ZipErrorKind::CannotCreateFile, target};
            file = platform::File::open(target, platform::FileMode::CreateNew);
        }
    }
    if (!file.isOpen())
        throw ZipFault{ZipErrorKind::CannotCreateFile, target};
    // From here on a failure removes the partly written file.
    struct Remover {
        const std::string& path;
        bool armed = true;
        ~Remover()
        {
            if (armed)
                (void)platform::removeFile(path); // the entry's own failure is what is reported
        }
    } remover{target};

    if (!progress(name, 0, ZipOperation::Extract, ZipProgressPhase::Start))
        return false;
    if (!zipreader::seekToData(reader, e))
        throw ZipFault{ZipErrorKind::BadSizeOrCheckSum, target};
    out.attach(file, 0, target, 0);
    const zipreader::DecodeResult result = decoder.decode(
        reader, e, out, [&](uint64_t done) { return extractProgress(name, done, e.uncompressedSize); }, onData);
    if (result.cancelled)
        return false;
    out.finish();
    if (!result.ok)
        throw ZipFault{ZipErrorKind::BadSizeOrCheckSum, target};

    const std::time_t stamp = dostime::toTime({e.dosDate, e.dosTime});
    if (stamp != -1)
        (void)file.setLastWrite(stamp); // a file without its stamp is still the whole file
    const uint32_t type = unixMode & platform::unixmode::TypeMask;
    uint32_t mode = ReadWrite & ~platform::creationMask();
    if (unixMode != 0 && (type == platform::unixmode::Regular || type == 0))
        mode = unixMode & AllAccess;
    else if (e.dosAttributes() & AttrReadOnly)
        mode = ReadOnly & ~platform::creationMask();
    if (!file.setMode(mode) || !file.close())
        throw ZipFault{ZipErrorKind::WriteToStream, target};
    remover.armed = false;
    return progress(name, 100, ZipOperation::Extract, ZipProgressPhase::End);
}

bool ZipArchive::extractProgress(const std::string& name, uint64_t done, uint64_t size)
{
    const double percent = size ? 100.0 * static_cast<double>(std::min(done, size)) / static_cast<double>(size) : 100.0;
    return progress(name, percent, ZipOperation::Extract, ZipProgressPhase::Process);
}

std::vector<const ZipEntry*> ZipArchive::findEntries(const std::string& name) const
{
    std::vector<const ZipEntry*> found;
    for (const ZipEntry& e : m_entries)
        if (!e.isFolder() && zipreader::displayName(e) == name)
            found.push_back(&e);
    return found;
}

bool ZipArchive::extractEntryTo(const ZipEntry& entry, const std::string& target, const ZipFileDataEvent& onData)
{
    std::lock_guard guard(engineLock());
    requireOpen();
    if (entry.isFolder())
        raise(ZipErrorKind::CannotCreateFile, target);
    if (!m_extractSession)
        m_extractSession = std::make_unique<ExtractSession>(m_path, m_file, m_lastDisk);
    ExtractSession& session = *m_extractSession;
    const std::string name = zipreader::displayName(entry);
    bool finished = true;
    const bool done = attempt(
        [&] { finished = writeEntryFile(entry, name, target, session.out, session.reader, session.decoder, onData); },
        withPlatformSeparators(name), ZipOperation::Extract, [] {});
    return done && finished;
}

ZipArchive::EntryTest ZipArchive::testEntry(const ZipEntry& entry, const ZipFileDataEvent& onData)
{
    std::lock_guard guard(engineLock());
    requireOpen();
    if (entry.isFolder())
        return EntryTest::Sound;
    if (!m_extractSession)
        m_extractSession = std::make_unique<ExtractSession>(m_path, m_file, m_lastDisk);
    ExtractSession& session = *m_extractSession;
    const std::string name = zipreader::displayName(entry);
    try {
        if (!zipreader::seekToData(session.reader, entry))
            return EntryTest::Damaged;
        session.out.discard();
        const zipreader::DecodeResult result = session.decoder.decode(
            session.reader, entry, session.out,
            [&](uint64_t done) { return extractProgress(name, done, entry.uncompressedSize); }, onData);
        if (result.cancelled)
            return EntryTest::Cancelled;
        session.out.finish();
        return result.ok ? EntryTest::Sound : EntryTest::Damaged;
    } catch (const ZipFault& fault) {
        if (fault.kind == ZipErrorKind::BadSizeOrCheckSum || fault.kind == ZipErrorKind::ArchiveDamaged)
            return EntryTest::Damaged;
        raise(fault.kind, fault.path);
    }
}

} // namespace torvinel
