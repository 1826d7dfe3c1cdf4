#include "restore/DiscVerification.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "app/Error.h"
#include "app/IniFile.h"
#include "app/TextFile.h"
#include "archive/ZipArchive.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscHealth.h"
#include "catalog/DiscNames.h"
#include "catalog/FileDigest.h"
#include "catalog/Md5.h"
#include "platform/File.h"
#include "platform/Platform.h"
#include "recovery/RecoveryFile.h"
#include "restore/CopyIndex.h"
#include "restore/DiscRepairRun.h"
#include "restore/internal/EntryName.h"

namespace torvinel {

namespace {

constexpr std::size_t readBlock = std::size_t{1} << 20;
constexpr std::size_t volumeNameLength = archiveNameLength + 8; // ArchiveName_kkk.zip

std::string lowered(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool endsWith(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && lowered(text.substr(text.size() - end.size())) == end;
}

// "2026121000401rn" for "2026121000401rn.zip" and "2026121000401rn_002.zip"; "" for a name
// of neither form.
std::string archiveNameOf(const std::string& file)
{
    if (!endsWith(file, ".zip") || (file.size() != archiveNameLength + 4 && file.size() != volumeNameLength))
        return {};
    if (file.size() == volumeNameLength
        && (file[archiveNameLength] != '_'
            || !std::all_of(file.begin() + archiveNameLength + 1, file.begin() + archiveNameLength + 4,
                            [](unsigned char c) { return std::isdigit(c); })))
        return {};
    return file.substr(0, archiveNameLength);
}

std::string catalogOf(const std::string& archiveFile) { return archiveFile.substr(0, archiveFile.size() - 4) + ".csv"; }

// Reads all of an open file, feeding md5; false on a read error or when it ends before length.
bool digestFile(const platform::File& file, std::optional<uint64_t> length, Md5& md5)
{
    std::vector<unsigned char> buffer(readBlock);
    uint64_t done = 0;
    for (;;) {
        const int64_t n = file.readAt(buffer.data(), buffer.size(), done);
        if (n < 0)
            return false;
        if (n == 0)
            return !length || done == *length;
        md5.update(buffer.data(), static_cast<std::size_t>(n));
        done += static_cast<uint64_t>(n);
    }
}

class Check {
public:
    Check(DiscReader& reader, const std::string& discId, const std::string& work,
          const std::function<bool()>& cancelled)
        : m_reader(reader), m_discId(discId), m_work(work), m_cancelled(cancelled)
    {
        m_result.discId = discId;
    }

    DiscVerification run();

private:
    bool cancelled()
    {
        m_stopped = m_stopped || (m_cancelled && m_cancelled());
        return m_stopped;
    }
    std::string onDisc(const std::string& name) const { return m_discId + "/" + name; }
    bool present(const std::string& name) const { return m_present.count(lowered(name)) != 0; }
    // The disc's own spelling of a name.
    std::string spelled(const std::string& name) const
    {
        const auto it = m_present.find(lowered(name));
        return it == m_present.end() ? name : it->second;
    }
    void fault(const std::string& file, const std::string& text);
    void affected(const std::string& file, const std::string& path);
    std::optional<std::string> copied(const std::string& name, const std::string& folder);
    std::optional<std::string> readDigest(const std::string& name);
    std::vector<std::pair<std::string, std::string>> recordedDigests();
    std::vector<std::string> catalogLines(const std::string& archiveFile);
    void checkDigests(const std::vector<std::pair<std::string, std::string>>& digests);
    void checkArchive(const std::string& archiveName);
    void testEntries(ZipArchive& zip, const std::string& file, const std::vector<std::string>& lines);

    DiscReader& m_reader;
    const std::string& m_discId;
    const std::string& m_work;
    const std::function<bool()>& m_cancelled;
    DiscVerification m_result;
    bool m_stopped = false;                       // cancelled once, cancelled for good
    std::map<std::string, std::string> m_present; // lowered name -> the disc's name, files only
    std::map<std::string, DamagedDiscFile> m_damaged;
    std::map<std::string, std::string> m_digests;                          // the disc's name -> the MD5 its data gave
    std::string m_differs = "its data differs from its MD5 in STATUS.INI"; // where the MD5s came from
};

void Check::fault(const std::string& file, const std::string& text)
{
    DamagedDiscFile& damaged = m_damaged[file];
    damaged.name = file;
    if (std::find(damaged.faults.begin(), damaged.faults.end(), text) == damaged.faults.end())
        damaged.faults.push_back(text);
}

void Check::affected(const std::string& file, const std::string& path)
{
    DamagedDiscFile& damaged = m_damaged[file];
    damaged.name = file;
    if (std::find(damaged.paths.begin(), damaged.paths.end(), path) == damaged.paths.end())
        damaged.paths.push_back(path);
}

// A copy of a file of the disc in folder; nullopt when it could not be made.
std::optional<std::string> Check::copied(const std::string& name, const std::string& folder)
{
    const std::string target = platform::joinPath(folder, name);
    if (!m_reader.copy(onDisc(name), target))
        return std::nullopt;
    return target;
}

// The MD5 of a file of the disc, read where it lies when the reader can tell where, else
// from a copy; nullopt when it cannot be read.
std::optional<std::string> Check::readDigest(const std::string& name)
{
    Md5 md5;
    if (const auto extent = m_reader.locate(onDisc(name))) {
        const platform::File file = platform::File::openPart(extent->file, extent->offset, extent->length);
        if (!file.isOpen() || !digestFile(file, extent->length, md5))
            return std::nullopt;
        return DigestHex(md5.final());
    }
    const auto copy = copied(name, m_work);
    if (!copy)
        return std::nullopt;
    bool read = false;
    {
        const platform::File file = platform::File::open(*copy, platform::FileMode::Read);
        read = file.isOpen() && digestFile(file, std::nullopt, md5);
    }
    static_cast<void>(platform::deleteFile(*copy)); // TempFolder is emptied by the next run too
    return read ? std::optional<std::string>(DigestHex(md5.final())) : std::nullopt;
}

// The MD5s the disc's recovery data records for the files of its folder (those of its index
// are checked by their blocks' CRCs, as when STATUS.INI lists them); none when it carries
// none that can be read.
std::vector<std::pair<std::string, std::string>> Check::recordedDigests()
{
    std::vector<std::pair<std::string, std::string>> digests;
    if (!present(RecoveryFileName))
        return digests;
    if (const auto files = protectedFiles(m_reader, m_discId))
        for (const ProtectedFile& file : *files)
            if (file.name.find('/') == std::string::npos)
                digests.emplace_back(file.name, DigestHex(file.md5));
    return digests;
}

// The lines of an archive's catalog on the disc; none when there is none or it cannot be read
// (then the catalog is damaged).
std::vector<std::string> Check::catalogLines(const std::string& archiveFile)
{
    const std::string catalog = catalogOf(archiveFile);
    if (!present(catalog)) {
        fault(archiveFile, "its catalog " + catalog + " is missing");
        return {};
    }
    const auto copy = copied(spelled(catalog), m_work);
    if (!copy) {
        fault(spelled(catalog), "it could not be read");
        return {};
    }
    std::vector<std::string> lines;
    try {
        lines = readLines(*copy);
    } catch (const Error&) {
        fault(spelled(catalog), "it could not be read");
    }
    static_cast<void>(platform::deleteFile(*copy));
    return lines;
}

void Check::checkDigests(const std::vector<std::pair<std::string, std::string>>& digests)
{
    for (const auto& [listed, digest] : digests) {
        if (cancelled())
            return;
        if (!present(listed)) {
            fault(listed, "it is missing");
            continue;
        }
        const std::string name = spelled(listed);
        const auto actual = readDigest(name);
        if (!actual)
            fault(name, "it could not be read");
        else if (lowered(*actual) != lowered(digest))
            fault(name, m_differs);
        if (actual)
            m_digests[name] = lowered(*actual);
    }
}

// Tests every entry of an open archive once; each catalog line must find an entry of its
// path that is sound, of its size and (when the line has one) of its MD5.
void Check::testEntries(ZipArchive& zip, const std::string& file, const std::vector<std::string>& lines)
{
    struct Tested {
        ZipArchive::EntryTest test;
        std::string digest;
    };
    std::map<const ZipEntry*, Tested> tested;
    std::set<const ZipEntry*> named; // entries a catalog line names
    const auto test = [&](const ZipEntry& entry) -> const Tested& {
        if (const auto it = tested.find(&entry); it != tested.end())
            return it->second;
        Md5 md5;
        const ZipArchive::EntryTest result =
            zip.testEntry(entry, [&md5](const unsigned char* data, std::size_t size) { md5.update(data, size); });
        if (result == ZipArchive::EntryTest::Damaged)
            fault(file, "entries fail their CRC check");
        return tested[&entry] = {result, DigestHex(md5.final())};
    };

    for (const std::string& line : lines) {
        if (cancelled())
            return;
        const std::string path = CatalogPath(line);
        const std::optional<std::string> name = entryNameOf(path);
        int64_t size = -1;
        try {
            size = CatalogSize(line);
        } catch (const Error&) {
            // A damaged size field: no entry can prove the line right.
        }
        const std::string digest = digestOf(line);
        bool sound = false;
        if (name)
            for (const ZipEntry* entry : zip.findEntries(*name)) {
                named.insert(entry);
                const Tested& result = test(*entry);
                if (result.test == ZipArchive::EntryTest::Cancelled)
                    return;
                sound = sound
                    || (result.test == ZipArchive::EntryTest::Sound && size >= 0
                        && entry->uncompressedSize == static_cast<uint64_t>(size)
                        && (digest.empty() || lowered(digest) == result.digest));
            }
        if (!sound) {
            fault(file, "files of its catalog do not come out of it as their lines say");
            affected(file, path);
        }
    }
    for (const ZipEntry& entry : zip.entries()) {
        if (entry.isFolder())
            continue;
        if (cancelled())
            return;
        // An entry no line names is shown as the archive names it.
        if (test(entry).test == ZipArchive::EntryTest::Damaged && !named.count(&entry))
            affected(file, zip.displayName(entry));
    }
}

// One archive whose last volume (or only file) is on this disc.
void Check::checkArchive(const std::string& archiveName)
{
    const std::string last = spelled(archiveName + ".zip");
    const std::vector<std::string> lines = catalogLines(last);
    std::vector<std::string> volumes; // the earlier volumes, when this disc holds them all
    for (int k = 1;; ++k) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "_%03d.zip", k);
        if (!present(archiveName + suffix))
            break;
        volumes.push_back(spelled(archiveName + suffix));
    }

    ZipArchive zip;
    zip.onFileProgress = [this](ZipArchive&, const std::string&, double, ZipOperation, ZipProgressPhase, bool& cancel) {
        cancel = cancelled();
    };
    const std::string folder = platform::joinPath(m_work, archiveName);
    bool copiesFailed = false;
    try {
        if (!volumes.empty()) {
            // The engine finds a split's volumes beside its last one.
            if (!platform::createFolder(folder))
                throw Error("Could not create " + folder);
            for (const std::string& volume : volumes)
                copiesFailed = copiesFailed || !copied(volume, folder);
            const auto copy = copiesFailed ? std::nullopt : copied(last, folder);
            copiesFailed = !copy;
            if (copy) {
                zip.fileName = *copy;
                zip.open();
            }
        } else if (const auto extent = m_reader.locate(onDisc(last))) {
            zip.fileName = m_reader.location() + "/" + onDisc(last);
            zip.openPart(extent->file, extent->offset, extent->length);
        } else if (const auto copy = copied(last, m_work)) {
            zip.fileName = *copy;
            zip.open();
        } else {
            copiesFailed = true;
        }
        if (copiesFailed)
            fault(last, "it could not be read");
        else
            testEntries(zip, last, lines);
    } catch (const ZipError& error) {
        if (volumes.empty() && error.kind() == ZipErrorKind::CannotOpenArchive) {
            // The last volume of a split whose earlier volumes lie on earlier discs: its
            // entry cannot be tested here, but damage to its data loses the split's file.
            for (const std::string& line : lines) {
                m_result.elsewhere.push_back(CatalogPath(line));
                if (m_damaged.count(last))
                    affected(last, CatalogPath(line));
            }
        } else {
            fault(last, "it cannot be read as an archive (" + std::string(error.what()) + ")");
            for (const std::string& line : lines)
                affected(last, CatalogPath(line));
        }
    }
    zip.close();
    static_cast<void>(platform::deleteFolder(folder));
    if (volumes.empty() && !zip.fileName.empty() && zip.fileName.rfind(m_work, 0) == 0)
        static_cast<void>(platform::deleteFile(zip.fileName));
}

DiscVerification Check::run()
{
    DiscVerification& result = m_result;
    const std::vector<std::string> discs = discsOnDrive(m_reader);
    if (std::find(discs.begin(), discs.end(), m_discId) == discs.end()) {
        result.outcome = DiscVerification::Outcome::NoSuchDisc;
        result.problem = "There is no disc " + m_discId + " in " + m_reader.location() + ".";
        return result;
    }
    for (const auto& entry : m_reader.list(m_discId))
        if (!entry.isFolder)
            m_present.emplace(lowered(entry.name), entry.name);
    const bool hasStatus = present("status.ini");
    std::vector<std::pair<std::string, std::string>> digests;
    if (hasStatus) {
        const auto status = copied(spelled("status.ini"), m_work);
        if (status) {
            digests = IniReadSection(*status, "MD5");
            static_cast<void>(platform::deleteFile(*status)); // TempFolder is emptied by the next run too
        }
    }
    if (digests.empty()) {
        // A STATUS.INI lost is damage like any other on a disc whose recovery data can be read:
        // the MD5s it records stand in for those of STATUS.INI.
        digests = recordedDigests();
        if (digests.empty()) {
            result.outcome = DiscVerification::Outcome::Unreadable;
            const std::string disc = m_discId + " in " + m_reader.location();
            result.problem = hasStatus ? "The STATUS.INI of disc " + disc + " cannot be read."
                                       : "Disc " + disc + " has no STATUS.INI, or its folder cannot be read.";
            return result;
        }
        m_differs = "its data differs from what the disc's recovery data records";
        if (std::none_of(digests.begin(), digests.end(),
                         [](const auto& listed) { return lowered(listed.first) == "status.ini"; }))
            fault(hasStatus ? spelled("status.ini") : "STATUS.INI",
                  hasStatus ? "it could not be read" : "it is missing");
    }

    std::set<std::string> checked; // lowered names
    for (const auto& listed : digests)
        checked.insert(lowered(listed.first));
    for (const auto& [name, spelling] : m_present)
        if (endsWith(name, ".zip") || endsWith(name, ".csv"))
            checked.insert(name);
    result.checked = checked.size();

    checkDigests(digests);
    std::set<std::string> archives; // ArchiveNames with their last volume here
    for (const auto& [name, spelling] : m_present)
        if (const std::string archive = archiveNameOf(spelling);
            !archive.empty() && spelling.size() == archiveNameLength + 4)
            archives.insert(archive);
    for (const std::string& archive : archives) {
        if (cancelled())
            break;
        checkArchive(archive);
    }
    // Volumes whose archive ends on a later disc: their data was checked above, their
    // entry cannot be.
    for (const auto& [name, spelling] : m_present) {
        const std::string archive = archiveNameOf(spelling);
        if (archive.empty() || spelling.size() != volumeNameLength || archives.count(archive) || cancelled())
            continue;
        const std::vector<std::string> lines = catalogLines(spelling);
        for (const std::string& line : lines)
            if (std::find(result.elsewhere.begin(), result.elsewhere.end(), CatalogPath(line))
                == result.elsewhere.end())
                result.elsewhere.push_back(CatalogPath(line));
        if (m_damaged.count(spelling))
            for (const std::string& line : lines)
                affected(spelling, CatalogPath(line));
    }

    if (cancelled()) {
        result.outcome = DiscVerification::Outcome::Cancelled;
        return result;
    }
    // The recovery data is read as well: parity lost weakens what it can still rebuild, and
    // tells of a disc decaying as much as a damaged archive does. The files whose MD5 came out
    // right above are whole, so only the others and the parity itself are read again.
    std::optional<RecoveryDamage> recovery;
    if (present(RecoveryFileName)) {
        ++result.checked;
        recovery = assessDiscDamage(
            m_reader, m_discId,
            [&](const ProtectedFile& file) {
                const auto digest = m_digests.find(file.name);
                return digest != m_digests.end() && digest->second == DigestHex(file.md5);
            },
            [this] { return cancelled(); });
        if (cancelled()) {
            result.outcome = DiscVerification::Outcome::Cancelled;
            return result;
        }
        if (!recovery) {
            fault(spelled(RecoveryFileName), "its header cannot be read");
        } else {
            // Files no check above covers (those of the index) are known from their blocks' CRCs.
            for (const std::string& name : recovery->damagedFiles)
                if (!m_damaged.count(spelled(name)))
                    fault(spelled(name), "its data differs from what the disc's recovery data records");
            if (recovery->lostMetadata > 0)
                fault(spelled(RecoveryFileName),
                      std::to_string(recovery->lostMetadata) + " of its metadata blocks are damaged");
            if (recovery->lostParity > 0)
                fault(spelled(RecoveryFileName),
                      std::to_string(recovery->lostParity) + " of its parity blocks are damaged");
        }
    }
    for (auto& entry : m_damaged)
        result.damaged.push_back(std::move(entry.second));
    if (!result.damaged.empty())
        result.recovery = recovery;
    if (cancelled())
        result.outcome = DiscVerification::Outcome::Cancelled;
    return result;
}

} // namespace

std::vector<std::string> DiscVerification::damagedArchives() const
{
    std::vector<std::string> names;
    for (const DamagedDiscFile& file : damaged)
        if (!archiveNameOf(file.name).empty())
            names.push_back(file.name);
    return names;
}

std::vector<std::string> discsOnDrive(DiscReader& reader)
{
    std::vector<std::string> discs;
    for (const auto& entry : reader.list(""))
        if (entry.isFolder && isDiscId(entry.name))
            discs.push_back(entry.name);
    return discs;
}

DiscVerification verifyDisc(DiscReader& reader, const std::string& discId, const std::string& workFolder,
                            const std::function<bool()>& cancelled)
{
    return Check(reader, discId, workFolder, cancelled).run();
}

DiscVerification verifyAndRecord(RunState& state, DiscReader& reader, const std::string& discId,
                                 const std::function<bool()>& cancelled, const Clock& clock)
{
    if (!EmptyFolder(state.TempFolder))
        throw Error("Could not delete Temp directory.");
    state.WriteLog("Verifying disk " + discId + " in " + reader.location());
    const DiscVerification result = verifyDisc(reader, discId, state.TempFolder, cancelled);
    if (!EmptyFolder(state.TempFolder))
        throw Error("Could not delete Temp directory.");
    using Outcome = DiscVerification::Outcome;
    if (result.outcome == Outcome::NoSuchDisc || result.outcome == Outcome::Cancelled) {
        state.WriteLog(result.outcome == Outcome::Cancelled ? std::string("Verification cancelled.") : result.problem);
        return result;
    }
    DiscCheck check{checkTime(clock()), discId, DiscCondition::Sound, result.damagedArchives()};
    if (result.outcome == Outcome::Unreadable) {
        check.condition = DiscCondition::Unreadable;
        state.WriteLog(result.problem);
    } else {
        if (!result.sound())
            check.condition = DiscCondition::Damaged;
        for (const std::string& line : verificationReport(result))
            state.WriteLog(line);
    }
    recordDiscCheck(state.AppFolder, check);
    return result;
}

std::vector<std::string> verificationReport(const DiscVerification& verification)
{
    std::vector<std::string> lines;
    const std::string disc = "Disc " + verification.discId + ": ";
    if (verification.damaged.empty()) {
        lines.push_back(disc + "all " + std::to_string(verification.checked) + " files are sound.");
    } else {
        if (const auto& damage = verification.recovery) {
            const std::string blocks = std::to_string(damage->lost) + " of " + std::to_string(damage->blocks);
            lines.push_back(damage->recoverable() ? disc + "damaged, recoverable (" + blocks
                                    + " blocks lost; repair with torvinel-cli repair " + verification.discId + ")."
                                                  : disc + "damaged, not recoverable (" + blocks + " blocks lost, "
                                    + std::to_string(damage->codewordsBeyondRepair) + " codewords beyond repair).");
        } else {
            lines.push_back(disc + std::to_string(verification.damaged.size()) + " of "
                            + std::to_string(verification.checked) + " files are damaged.");
        }
        for (const DamagedDiscFile& file : verification.damaged) {
            std::string faults;
            for (const std::string& fault : file.faults)
                faults += (faults.empty() ? "" : "; ") + fault;
            lines.push_back(file.name + ": " + faults);
            for (const std::string& path : file.paths)
                lines.push_back("  " + path);
        }
    }
    if (!verification.elsewhere.empty()) {
        lines.push_back("Not checked here, as they continue on another disc:");
        for (const std::string& path : verification.elsewhere)
            lines.push_back("  " + path);
    }
    return lines;
}

} // namespace torvinel
