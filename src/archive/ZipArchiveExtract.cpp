#include "archive/ZipArchive.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "archive/internal/DosTime.h"
#include "archive/internal/ZipArchiveShared.h"
#include "archive/internal/ZipReader.h"
#include "archive/internal/ZipVolumes.h"
#include "archive/ZipNames.h"

// Extracting entries into baseDir, never outside it.
namespace torvinel {

using namespace zipformat;
using namespace zipengine;

namespace {

mode_t processUmask()
{
    static const mode_t mask = [] {
        const mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    return mask;
}

} // namespace

struct ZipArchive::ExtractContext {
    std::string base;                         // baseDir without a trailing separator
    std::unordered_set<std::string> knownFolders; // folders known to exist
    zipio::BufferedWriter out;
};

bool ZipArchive::extractFiles(const std::string& fileMask, uint32_t searchAttr,
                                       const std::string& exclusionMask)
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
    zipreader::VolumeSet volumes(m_path, m_file.get(), m_lastDisk);
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
        attempt(
            [&] { finished = extractEntry(e, name, context, reader, decoder, folderModes); },
            withPlatformSeparators(name), ZipOperation::Extract, [] {});
        if (!finished)
            return false;
    }
    // Folders get their modes last, so that a read-only folder did not stop its own
    // contents; the owner keeps full access so that later extractions still work.
    for (auto it = folderModes.rbegin(); it != folderModes.rend(); ++it)
            (void)::chmod(it->first.c_str(), it->second | S_IRWXU);
    return true;
}

// Makes sure a folder exists below the extraction base. Folders inside the base are
// checked without following links, so that a link placed there cannot lead outside.
void ZipArchive::ensureFolder(const std::string& folder, ExtractContext& context)
{
    if (context.knownFolders.count(folder))
        return;
    const bool insideBase = folder.size() > context.base.size();
    struct stat st {};
    const int found = insideBase ? ::lstat(folder.c_str(), &st) : ::stat(folder.c_str(), &st);
    if (found == 0) {
        if (!S_ISDIR(st.st_mode))
            throw ZipFault{ZipErrorKind::CannotCreateDirectory, folder};
    } else {
        const std::string parent = zipvolumes::folderOf(folder);
        if (parent != folder && parent != "." && parent != "/")
            ensureFolder(parent, context);
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
            throw ZipFault{ZipErrorKind::CannotCreateDirectory, folder};
        if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
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
    const std::optional<std::string> safe =
        zipnames::safeRelativeName(name, platform::pathSeparator() == '\\');
    if (!safe)
        throw ZipFault{ZipErrorKind::UnsafeEntryName, name};
    const std::string target = context.base + "/" + *safe;
    const uint32_t unixMode = e.unixMode();

    if (e.isFolder()) {
        ensureFolder(target, context);
        if (unixMode != 0)
            folderModes.emplace_back(target, static_cast<mode_t>(unixMode & 0777));
        return true;
    }

    ensureFolder(zipvolumes::folderOf(target), context);
    const auto create = [&] {
        return zipio::FileHandle(
            ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    };
    zipio::FileHandle file = create();
    struct stat existing {};
    if (!file.valid() && errno == EEXIST && ::lstat(target.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            throw ZipFault{ZipErrorKind::CannotCreateFile, target};
        // Replaced, read-only or not; a link is replaced itself, never followed.
        if (::unlink(target.c_str()) != 0)
            throw ZipFault{ZipErrorKind::CannotCreateFile, target};
        file = create();
    }
    if (!file.valid())
        throw ZipFault{ZipErrorKind::CannotCreateFile, target};
    // From here on a failure removes the partly written file.
    struct Remover {
        const std::string& path;
        bool armed = true;
        ~Remover()
        {
            if (armed)
                ::unlink(path.c_str());
        }
    } remover{target};

    if (!progress(name, 0, ZipOperation::Extract, ZipProgressPhase::Start))
        return false;
    if (!zipreader::seekToData(reader, e))
        throw ZipFault{ZipErrorKind::BadSizeOrCheckSum, target};
    context.out.attach(file.get(), 0, target, 0);
    const uint64_t size = e.uncompressedSize;
    const zipreader::DecodeResult result = decoder.decode(reader, e, context.out, [&](uint64_t done) {
        return progress(name,
                        size ? 100.0 * static_cast<double>(std::min(done, size)) / static_cast<double>(size) : 100.0,
                        ZipOperation::Extract, ZipProgressPhase::Process);
    });
    if (result.cancelled)
        return false;
    context.out.finish();
    if (!result.ok)
        throw ZipFault{ZipErrorKind::BadSizeOrCheckSum, target};

    const time_t stamp = dostime::toTime({e.dosDate, e.dosTime});
    if (stamp != -1) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {stamp, 0}};
        (void)futimens(file.get(), times);
    }
    mode_t mode = static_cast<mode_t>(0666 & ~processUmask());
    if (unixMode != 0 && (S_ISREG(unixMode) || (unixMode & S_IFMT) == 0))
        mode = static_cast<mode_t>(unixMode & 0777);
    else if (e.dosAttributes() & AttrReadOnly)
        mode = static_cast<mode_t>(0444 & ~processUmask());
    if (fchmod(file.get(), mode) != 0 || !file.close())
        throw ZipFault{ZipErrorKind::WriteToStream, target};
    remover.armed = false;
    return progress(name, 100, ZipOperation::Extract, ZipProgressPhase::End);
}

} // namespace torvinel
