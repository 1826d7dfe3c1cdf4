#include "restore/RestoreRun.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "app/Error.h"
#include "app/EventPacer.h"
#include "app/FiguresText.h"
#include "app/Progress.h"
#include "app/TextFile.h"
#include "archive/ZipArchive.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscHealth.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscNames.h"
#include "catalog/FileDigest.h"
#include "catalog/Md5.h"
#include "platform/Platform.h"
#include "discwright/DiscReader.h"
#include "restore/CopyIndex.h"
#include "restore/DiscRepairRun.h"
#include "restore/RestoreTree.h"
#include "restore/StateBlock.h"
#include "restore/internal/EntryName.h"

namespace torvinel {

namespace {

constexpr const char* notRestoredFile = "Not restored.txt";

// A line whose size field is damaged still names a file worth restoring; it only adds
// nothing to the bar.
int64_t sizeOf(const std::string& line)
{
    try {
        return CatalogSize(line);
    } catch (const Error&) {
        return -1;
    }
}

std::string selectedItem(const View& view, Control control)
{
    const std::vector<std::string> items = view.items(control);
    const int index = view.selectedIndex(control);
    if (index >= 0 && index < static_cast<int>(items.size()))
        return items[static_cast<std::size_t>(index)];
    return {};
}

// The restore folder's failures, which no rebuild of the archive mends.
bool targetFault(const ZipError& error)
{
    return error.kind() == ZipErrorKind::CannotCreateFile || error.kind() == ZipErrorKind::CannotCreateDirectory
        || error.kind() == ZipErrorKind::WriteToStream;
}

std::string reasonOf(const ZipError& error)
{
    switch (error.kind()) {
    case ZipErrorKind::BadSizeOrCheckSum:
        return "its data in the archive is damaged";
    case ZipErrorKind::CannotCreateFile:
    case ZipErrorKind::CannotCreateDirectory:
    case ZipErrorKind::WriteToStream:
        return "the restore folder cannot hold it (" + std::string(error.what()) + ")";
    default:
        return error.what();
    }
}

class Run {
public:
    Run(RunState& state, View& view, const CheckTree& tree, const RestoreRunOptions& options)
        : s(state), v(view), m_tree(tree), m_options(options), m_meter(options.workClock)
    {
    }

    RestoreResult run();
    RestorePlanReport plan();

private:
    // A file to restore.
    struct Wanted {
        std::string line;
        std::string path;
        std::optional<std::string> entryName; // nullopt: refused
        int64_t size = 0;
        std::vector<std::size_t> tried; // copies (indexes into the index's copiesOf) that failed
        std::vector<std::string> reasons;
        std::optional<std::size_t> copy; // the copy it is to come from in this pass
        bool restored = false;
    };
    // An archive in this pass: the lines it is to give, and which of its volumes are here.
    struct Work {
        std::vector<std::size_t> lines;
        std::vector<bool> fetched;
        std::vector<bool> rebuilt; // volumes rebuilt from their disc's recovery data
    };
    // How restoring one line from an open archive ended.
    enum class LineEnd {
        Restored,
        Cancelled,
        DiscFault,   // the archive did not give it right: its disc may be to blame
        TargetFault, // the restore folder could not take it
    };

    bool cancelled() const { return s.CancelRequested; }
    // record: save the lists in AppFolder (a plan alone leaves them).
    void selectLines(bool record);
    void findCopies();
    void makeTarget();
    std::vector<std::size_t> openLines() const;
    // Per open line, the copies a plan may take (indexes into copiesOf).
    using Candidates = std::vector<std::vector<std::size_t>>;
    Candidates candidatesOf(const std::vector<std::size_t>& open) const;
    RestorePlan planFor(const std::vector<std::size_t>& open, const Candidates& candidates) const;
    void runPass();
    void processDisc(const std::string& disc);
    bool mayUse(std::size_t archive) const;
    void assign(std::size_t line, std::size_t copy);
    void reassign(std::size_t line);
    bool extractInPlace(std::size_t archive, const std::string& disc);
    bool fetchVolumes(std::size_t archive, const std::string& disc);
    void extract(std::size_t archive, const std::optional<DiscReader::Extent>& inPlace = {});
    bool rebuildVolume(std::size_t archive, std::size_t volume);
    bool rebuildOnDisc(std::size_t archive);
    LineEnd restoreLine(std::size_t line, ZipArchive& zip, const std::string& base, std::string& reason);
    void lineFailed(std::size_t line, const std::string& reason);
    void archiveFailed(std::size_t archive, const std::string& reason);
    void forget(std::size_t archive);
    const ArchiveCopy& archiveOf(std::size_t line, std::size_t copy) const
    {
        return m_index->archives()[m_index->copiesOf(line)[copy].archive];
    }
    std::string volumeName(std::size_t archive) const
    {
        const ArchiveVolume& last = m_index->archives()[archive].volumes.back();
        return last.disc + "/" + last.fileName;
    }
    void requireSpace(const std::string& folder, int64_t bytes);
    void addRestored(int64_t bytes);
    void showWork();
    void finish(RestoreResult& result);
    void fetchFile(const std::string& disc, const std::string& fileName, FetchOutcome& outcome);
    DiscReader* reopenDrive();

    RunState& s;
    View& v;
    const CheckTree& m_tree;
    const RestoreRunOptions& m_options;
    std::string m_drive;
    std::unique_ptr<DiscReader> m_reader;
    SortedList m_restoreList;
    std::vector<Wanted> m_lines;
    std::optional<CopyIndex> m_index;
    SortedList m_damagedDiscs; // whose last check found them damaged
    int64_t m_totalBytes = 0;
    int64_t m_restoredBytes = 0;
    int64_t m_restoredFiles = 0;
    int64_t m_fileBytes = 0; // of the file being extracted
    WorkMeter m_meter;
    EventPacer m_meterPacer;
    std::string m_target;
    // The pass under way: its discs in the order asked for, how many are done, the archives
    // it reads, and the queue of archives of the disc in the drive.
    std::vector<std::string> m_passDiscs;
    std::size_t m_discsDone = 0;
    std::map<std::size_t, Work> m_work;
    std::deque<std::size_t> m_queue;
};

RestoreResult Run::run()
{
    showRestoreProgress(v, {.caption = "Phase 1 of 2: Get Restore selection", .progress = "", .message = "", .bar = 0});
    m_drive = selectedItem(v, Control::RestoreDrive);
    selectLines(true);
    RestoreResult result;
    if (!cancelled() && m_restoreList.empty()) {
        showRestoreProgress(v, {.bar = 1000}); // nothing to do is all done
        m_restoreList.saveToFile(s.appFile("restoreafter.txt"));
        v.showInformation("Nothing is selected for restore.");
        return result;
    }
    if (!cancelled()) {
        showRestoreProgress(v, {.caption = "Phase 2 of 2: Restoring files", .progress = "", .message = "", .bar = 0});
        findCopies();
        m_meter.start();
        m_meter.filesTotal = static_cast<int64_t>(m_lines.size());
        showWork();
        makeTarget();
        if (!EmptyFolder(s.TempFolder))
            throw Error("Could not delete Temp directory.");
    }
    while (!cancelled() && !openLines().empty())
        runPass();
    finish(result);
    return result;
}

RestorePlanReport Run::plan()
{
    selectLines(false);
    findCopies();
    RestorePlanReport report;
    const std::vector<std::size_t> open = openLines();
    report.plan = planFor(open, candidatesOf(open));
    for (const Wanted& w : m_lines)
        if (!w.restored && !w.reasons.empty())
            report.unavailable.push_back({w.path, w.reasons.back()});
    return report;
}

void Run::selectLines(bool record)
{
    std::vector<std::string> selection;
    RestoreRunNodes(selection, m_tree, m_tree.firstTopLevel());
    if (record)
        writeLines(s.appFile("FQrestorelist.txt"), selection);
    if (cancelled())
        return;
    const char separator = platform::pathSeparator();
    for (const std::string& path : selection) {
        // A file's prefix carries its closing quote, so a.txt does not also select a.txt.bak;
        // a folder's (ending with the separator) selects everything below it.
        std::string prefix = "\"" + path;
        if (path.empty() || path.back() != separator)
            prefix += '"';
        const StateBlock block = FindStateBlock(s.BackupState, prefix);
        if (!block.found)
            continue;
        for (std::size_t i = block.first; i <= block.last; ++i) {
            const std::string& line = s.BackupState[i];
            if (m_restoreList.contains(line))
                continue;
            m_totalBytes += std::max<int64_t>(sizeOf(line), 0);
            m_restoreList.add(line);
            showRestoreProgress(v, {.progress = "File: " + CatalogPath(line)});
        }
    }
    if (record)
        m_restoreList.saveToFile(s.appFile("restorelist.txt"));
}

void Run::findCopies()
{
    std::vector<std::string> lines = m_restoreList.lines();
    m_index.emplace(s.DatabaseFolder, discFolders(s), lines);
    try {
        m_damagedDiscs = damagedDiscs(readDiscChecks(s.AppFolder));
    } catch (const Error& error) {
        // Only an order of preference is lost: every copy is still tried.
        s.WriteLog(std::string(error.what()) + ": every disc counts as sound");
    }
    m_lines.resize(lines.size());
    for (std::size_t l = 0; l < lines.size(); ++l) {
        Wanted& w = m_lines[l];
        w.line = std::move(lines[l]);
        w.path = CatalogPath(w.line);
        w.size = sizeOf(w.line);
        w.entryName = entryNameOf(w.path);
        if (!w.entryName) {
            s.WriteLog("Refused: " + w.path + " would be restored outside the restore folder");
            w.reasons.push_back("its path would lead outside the restore folder");
        } else if (m_index->copiesOf(l).empty()) {
            w.reasons.push_back("no disc in the database holds this version");
        }
    }
}

void Run::makeTarget()
{
    const std::string& folder = m_options.restoreFolder.empty() ? s.RestoreFolder : m_options.restoreFolder;
    m_target = nextRestoreTarget(folder, DayStamp(Today(m_options.clock)));
    if (!platform::createFolder(m_target))
        throw Error("Could not create " + m_target);
    ListDiscs(s, v);
}

// The lines still to restore that have a copy not tried yet.
std::vector<std::size_t> Run::openLines() const
{
    std::vector<std::size_t> open;
    for (std::size_t l = 0; l < m_lines.size(); ++l)
        if (!m_lines[l].restored && m_lines[l].entryName && m_lines[l].tried.size() < m_index->copiesOf(l).size())
            open.push_back(l);
    return open;
}

// The copies not tried yet; of them, while one is left that needs no disc whose last check
// found it damaged, only those: a damaged disc is asked for once its line has no other copy.
Run::Candidates Run::candidatesOf(const std::vector<std::size_t>& open) const
{
    Candidates candidates;
    for (const std::size_t l : open) {
        std::vector<std::size_t> sound, onDamaged;
        for (std::size_t c = 0; c < m_index->copiesOf(l).size(); ++c) {
            if (std::find(m_lines[l].tried.begin(), m_lines[l].tried.end(), c) != m_lines[l].tried.end())
                continue; // failed already
            const auto& volumes = archiveOf(l, c).volumes;
            const bool damaged = std::any_of(volumes.begin(), volumes.end(),
                                             [&](const ArchiveVolume& v) { return m_damagedDiscs.contains(v.disc); });
            (damaged ? onDamaged : sound).push_back(c);
        }
        candidates.push_back(sound.empty() ? onDamaged : sound);
    }
    return candidates;
}

RestorePlan Run::planFor(const std::vector<std::size_t>& open, const Candidates& candidates) const
{
    std::vector<PlanLine> planLines;
    for (std::size_t i = 0; i < open.size(); ++i) {
        PlanLine& planned = planLines.emplace_back();
        planned.bytes = std::max<int64_t>(m_lines[open[i]].size, 0);
        for (const std::size_t c : candidates[i]) {
            std::vector<std::string>& discs = planned.copies.emplace_back();
            for (const ArchiveVolume& volume : archiveOf(open[i], c).volumes)
                discs.push_back(volume.disc);
        }
    }
    return planRestore(planLines);
}

// One plan, carried out: every open line is tried from one copy at least.
void Run::runPass()
{
    const std::vector<std::size_t> open = openLines();
    const Candidates candidates = candidatesOf(open);
    const RestorePlan plan = planFor(open, candidates);
    const std::string message = planMessage(plan);
    s.WriteLog(message);
    showRestoreProgress(v, {.message = message});
    m_work.clear();
    m_passDiscs.clear();
    for (const PlannedDisc& disc : plan.discs)
        m_passDiscs.push_back(disc.disc);
    m_discsDone = 0;
    for (std::size_t i = 0; i < open.size(); ++i) {
        if (plan.choice[i] < 0)
            continue; // never so: an open line has a copy left
        assign(open[i], candidates[i][static_cast<std::size_t>(plan.choice[i])]);
    }
    for (; m_discsDone < m_passDiscs.size() && !cancelled(); ++m_discsDone)
        processDisc(m_passDiscs[m_discsDone]);
    for (Wanted& w : m_lines)
        w.copy.reset();
    m_work.clear();
    if (!EmptyFolder(s.TempFolder))
        throw Error("Could not delete Temp directory.");
}

void Run::assign(std::size_t line, std::size_t copy)
{
    m_lines[line].copy = copy;
    const std::size_t archive = m_index->copiesOf(line)[copy].archive;
    Work& work = m_work[archive];
    work.lines.push_back(line);
    work.fetched.resize(m_index->archives()[archive].volumes.size(), false);
    work.rebuilt.resize(work.fetched.size(), false);
    // A copy with a volume on the disc in the drive is read before the disc leaves.
    if (m_discsDone < m_passDiscs.size())
        for (const ArchiveVolume& volume : m_index->archives()[archive].volumes)
            if (volume.disc == m_passDiscs[m_discsDone]) {
                m_queue.push_back(archive);
                break;
            }
}

// After a failed copy: the next copy that the discs still to come in this pass (or the one
// in the drive) hold entirely, complete soonest, of the copies a plan may take; else the
// line waits for the next plan.
void Run::reassign(std::size_t line)
{
    const auto position = [&](const std::string& disc) -> std::size_t {
        for (std::size_t i = m_discsDone; i < m_passDiscs.size(); ++i)
            if (m_passDiscs[i] == disc)
                return i;
        return SIZE_MAX;
    };
    std::optional<std::size_t> best;
    std::size_t bestComplete = SIZE_MAX;
    const Candidates candidates = candidatesOf({line});
    for (const std::size_t c : candidates.front()) {
        std::size_t complete = 0;
        for (const ArchiveVolume& volume : archiveOf(line, c).volumes)
            complete = std::max(complete, position(volume.disc));
        if (complete < bestComplete) {
            best = c;
            bestComplete = complete;
        }
    }
    m_lines[line].copy.reset();
    if (best)
        assign(line, *best);
}

// The archive still has lines to give in this pass.
bool Run::mayUse(std::size_t archive) const
{
    const auto it = m_work.find(archive);
    if (it == m_work.end())
        return false;
    for (const std::size_t l : it->second.lines)
        if (!m_lines[l].restored && m_lines[l].copy && m_index->copiesOf(l)[*m_lines[l].copy].archive == archive)
            return true;
    return false;
}

void Run::processDisc(const std::string& disc)
{
    m_queue.clear();
    // Newest archives first, and a split's volumes from its last one back.
    for (auto it = m_work.rbegin(); it != m_work.rend(); ++it)
        for (const ArchiveVolume& volume : m_index->archives()[it->first].volumes)
            if (volume.disc == disc) {
                m_queue.push_back(it->first);
                break;
            }
    std::sort(m_queue.begin(), m_queue.end(), [&](std::size_t a, std::size_t b) {
        return m_index->archives()[a].name > m_index->archives()[b].name;
    });
    while (!m_queue.empty() && !cancelled()) {
        v.processEvents();
        const std::size_t archive = m_queue.front();
        m_queue.pop_front();
        if (!mayUse(archive) || extractInPlace(archive, disc) || !fetchVolumes(archive, disc))
            continue;
        const std::vector<bool>& fetched = m_work[archive].fetched;
        if (std::find(fetched.begin(), fetched.end(), false) == fetched.end())
            extract(archive);
    }
}

// An archive of one volume is read where it lies on the disc or in its image, without a
// copy into TempFolder. False when it is to be copied instead (a split archive, a reader
// that cannot tell where the file lies); true once it is done with or the run was cancelled.
bool Run::extractInPlace(std::size_t archive, const std::string& disc)
{
    const std::vector<ArchiveVolume>& volumes = m_index->archives()[archive].volumes;
    if (volumes.size() != 1)
        return false;
    if (!m_reader)
        reopenDrive();
    DiscReader* reader = awaitDiscFile(s, v, m_reader.get(), m_drive, disc, volumes[0].fileName,
                                       [this] { return reopenDrive(); });
    if (!reader)
        return true;
    const std::optional<DiscReader::Extent> extent = reader->locate(disc + "/" + volumes[0].fileName);
    if (!extent)
        return false;
    extract(archive, extent);
    return true;
}

// Copies the archive's volumes on disc into TempFolder; false when the run was cancelled or
// the archive failed.
bool Run::fetchVolumes(std::size_t archive, const std::string& disc)
{
    const std::vector<ArchiveVolume>& volumes = m_index->archives()[archive].volumes;
    for (std::size_t k = volumes.size(); k-- > 0;) {
        if (volumes[k].disc != disc || m_work[archive].fetched[k])
            continue;
        FetchOutcome outcome = FetchOutcome::Cancelled;
        fetchFile(disc, volumes[k].fileName, outcome);
        if (outcome == FetchOutcome::Cancelled)
            return false;
        if (outcome == FetchOutcome::CopyFailed) {
            s.WriteLog("Could not copy " + disc + "/" + volumes[k].fileName + " from " + m_drive);
            if (rebuildVolume(archive, k))
                continue;
            requireSpace(s.TempFolder, 1);
            archiveFailed(archive, "it could not be copied from the disc");
            return false;
        }
        m_work[archive].fetched[k] = true;
        // A split is read once its last volume is here, when the discs of the others may be
        // gone: a volume is proved against its disc's recovery data, and rebuilt, while it can.
        const std::string copy = platform::joinPath(s.TempFolder, volumes[k].fileName);
        if (volumes.size() > 1 && m_reader) {
            const std::optional<Md5Digest> recorded = recordedDigest(*m_reader, disc, volumes[k].fileName);
            if (recorded && FileDigest(copy) != *recorded) {
                s.WriteLog("The copy of " + disc + "/" + volumes[k].fileName
                           + " differs from its MD5 in the disc's recovery data");
                if (!rebuildVolume(archive, k)) {
                    archiveFailed(archive, "it is damaged on the disc beyond what its recovery data rebuilds");
                    return false;
                }
            }
        }
    }
    return true;
}

void Run::extract(std::size_t archive, const std::optional<DiscReader::Extent>& inPlace)
{
    const ArchiveCopy& copy = m_index->archives()[archive];
    ZipArchive zip;
    zip.fileName = inPlace ? m_reader->location() + "/" + volumeName(archive)
                           : platform::joinPath(s.TempFolder, copy.volumes.back().fileName);
    // The engine asks after every buffer, so a Cancel click stops a large file inside it;
    // the engine then deletes the partly written file.
    zip.onFileProgress = [this, pacer = EventPacer()](ZipArchive&, const std::string&, double, ZipOperation,
                                                      ZipProgressPhase, bool& cancel) mutable {
        if (pacer.due())
            v.processEvents();
        cancel = s.CancelRequested;
    };
    const std::string base = platform::joinPath(m_target, std::string(1, copy.group()));
    if (!platform::folderExists(base) && !platform::createFolder(base))
        throw Error("Could not create " + base);
    std::vector<std::size_t> lines;
    for (const std::size_t l : m_work[archive].lines)
        if (!m_lines[l].restored && m_lines[l].copy && m_index->copiesOf(l)[*m_lines[l].copy].archive == archive)
            lines.push_back(l);
    std::sort(lines.rbegin(), lines.rend());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    try {
        if (inPlace)
            zip.openPart(inPlace->file, inPlace->offset, inPlace->length);
        else
            zip.open();
    } catch (const ZipError& error) {
        s.WriteLog("Could not read " + zip.fileName + ": " + error.what());
        zip.close();
        if (rebuildOnDisc(archive)) {
            extract(archive);
            return;
        }
        archiveFailed(archive, "the archive cannot be read (" + std::string(error.what()) + ")");
        return;
    }
    if (copy.split())
        s.WriteLog("Restoring large file from " + zip.fileName);
    // Lines the archive gave wrong wait for its rebuild from the recovery data, while the disc
    // is still in the drive; only then do they go on to their next copy.
    std::vector<std::pair<std::size_t, std::string>> damaged;
    for (const std::size_t l : lines) {
        if (cancelled())
            break;
        if (!copy.split())
            s.WriteLog("Restoring: " + m_lines[l].path + " From " + zip.fileName);
        std::string reason;
        const LineEnd end = restoreLine(l, zip, base, reason);
        if (end == LineEnd::DiscFault)
            damaged.emplace_back(l, reason);
        else if (end == LineEnd::TargetFault)
            lineFailed(l, reason);
    }
    zip.close();
    if (!damaged.empty()) {
        if (!cancelled() && rebuildOnDisc(archive)) {
            extract(archive);
            return;
        }
        for (const auto& [l, reason] : damaged)
            lineFailed(l, reason);
    }
    forget(archive);
}

// Rebuilds a volume of the archive, on the disc in the drive, from that disc's recovery data
// into TempFolder where its copy goes. False when the disc carries none or too much is lost.
bool Run::rebuildVolume(std::size_t archive, std::size_t volume)
{
    const ArchiveVolume& onDisc = m_index->archives()[archive].volumes[volume];
    Work& work = m_work[archive];
    if (!m_reader || work.rebuilt[volume])
        return false;
    work.rebuilt[volume] = true;
    const std::string name = onDisc.disc + "/" + onDisc.fileName;
    FileRebuild rebuild = FileRebuild::NoRecoveryData;
    try {
        rebuild = rebuildDiscFile(*m_reader, onDisc.disc, onDisc.fileName, s.TempFolder);
    } catch (const Error& error) {
        s.WriteLog("Could not rebuild " + name + ": " + error.what());
        static_cast<void>(platform::deleteFile(platform::joinPath(s.TempFolder, onDisc.fileName)));
        requireSpace(s.TempFolder, 1);
        return false;
    }
    switch (rebuild) {
    case FileRebuild::Rebuilt:
        s.WriteLog("Rebuilt " + name + " from the disc's recovery data");
        work.fetched[volume] = true;
        return true;
    case FileRebuild::BeyondRepair:
        s.WriteLog("Could not rebuild " + name + ": too much of it is lost for the disc's recovery data");
        return false;
    case FileRebuild::NoRecoveryData:
        break;
    }
    return false;
}

// After the archive failed: its volumes on the disc in the drive rebuilt (the others are in
// TempFolder already), so it can be read once more. False when none could be.
bool Run::rebuildOnDisc(std::size_t archive)
{
    if (m_discsDone >= m_passDiscs.size())
        return false;
    const std::vector<ArchiveVolume>& volumes = m_index->archives()[archive].volumes;
    bool rebuilt = false;
    for (std::size_t k = 0; k < volumes.size(); ++k) {
        if (volumes[k].disc != m_passDiscs[m_discsDone])
            continue;
        if (!rebuildVolume(archive, k))
            return false;
        rebuilt = true;
    }
    const std::vector<bool>& fetched = m_work[archive].fetched;
    return rebuilt && std::find(fetched.begin(), fetched.end(), false) == fetched.end();
}

// The archive's files leave TempFolder; should a later line want it again, it is fetched again.
void Run::forget(std::size_t archive)
{
    Work& work = m_work[archive];
    const std::vector<ArchiveVolume>& volumes = m_index->archives()[archive].volumes;
    for (std::size_t k = 0; k < volumes.size(); ++k)
        if (work.fetched[k]) {
            // What stays is deleted with TempFolder at the end of the pass.
            static_cast<void>(platform::deleteFile(platform::joinPath(s.TempFolder, volumes[k].fileName)));
            work.fetched[k] = false;
        }
}

Run::LineEnd Run::restoreLine(std::size_t line, ZipArchive& zip, const std::string& base, std::string& reason)
{
    Wanted& w = m_lines[line];
    v.setStatusText(1, w.path);
    showRestoreProgress(v, {.progress = "File: " + w.path});
    const std::vector<const ZipEntry*> entries = zip.findEntries(*w.entryName);
    if (entries.empty()) {
        reason = "it is not in the archive";
        return LineEnd::DiscFault;
    }
    const std::string target = platform::joinPath(base, w.path.substr(platform::drivePrefixLength()));
    const std::string folder = std::filesystem::path(target).parent_path().string();
    if (!platform::folderExists(folder) && !platform::createFolders(folder)) {
        requireSpace(m_target, 1);
        reason = "the restore folder cannot hold it (could not create " + folder + ")";
        return LineEnd::TargetFault;
    }
    const std::string& digest = m_index->copiesOf(line)[*w.copy].digest;
    reason = "the archive holds it with another size";
    LineEnd end = LineEnd::DiscFault;
    // Several entries of that name may be there; the first one that proves right counts.
    for (const ZipEntry* entry : entries) {
        if (w.size < 0 || entry->uncompressedSize != static_cast<uint64_t>(w.size))
            continue;
        Md5 md5;
        m_fileBytes = 0;
        const ZipFileDataEvent onData = [&](const unsigned char* data, std::size_t size) {
            if (!digest.empty())
                md5.update(data, size);
            m_fileBytes += static_cast<int64_t>(size);
            if (m_meterPacer.due())
                showWork();
        };
        try {
            if (!zip.extractEntryTo(*entry, target, onData)) {
                if (cancelled())
                    return LineEnd::Cancelled; // the engine deleted the part it wrote; the line stays to restore
                reason = "it could not be extracted";
                end = LineEnd::DiscFault;
                continue;
            }
        } catch (const ZipError& error) {
            if (error.kind() != ZipErrorKind::BadSizeOrCheckSum)
                requireSpace(m_target, w.size);
            reason = reasonOf(error);
            end = targetFault(error) ? LineEnd::TargetFault : LineEnd::DiscFault;
            continue;
        }
        if (!digest.empty() && DigestHex(md5.final()) != digest) {
            if (!platform::deleteFile(target))
                throw Error("Could not delete " + target);
            reason = "its content differs from its catalog line";
            end = LineEnd::DiscFault;
            continue;
        }
        w.restored = true;
        addRestored(w.size);
        return LineEnd::Restored;
    }
    return end;
}

void Run::lineFailed(std::size_t line, const std::string& reason)
{
    Wanted& w = m_lines[line];
    const std::size_t archive = m_index->copiesOf(line)[*w.copy].archive;
    s.WriteLog("Not restored from " + volumeName(archive) + ": " + w.path + ": " + reason);
    w.tried.push_back(*w.copy);
    w.reasons.push_back(volumeName(archive) + ": " + reason);
    reassign(line);
}

void Run::archiveFailed(std::size_t archive, const std::string& reason)
{
    const std::vector<std::size_t> lines = m_work[archive].lines;
    for (const std::size_t l : lines)
        if (!m_lines[l].restored && m_lines[l].copy && m_index->copiesOf(l)[*m_lines[l].copy].archive == archive)
            lineFailed(l, reason);
    forget(archive);
}

// A write that failed for want of room would fail for every file to come: the run ends.
void Run::requireSpace(const std::string& folder, int64_t bytes)
{
    const int64_t free = platform::freeSpace(folder);
    if (free >= 0 && free < std::max<int64_t>(bytes, 1))
        throw Error("No space left in " + folder);
}

void Run::addRestored(int64_t bytes)
{
    m_restoredBytes += std::max<int64_t>(bytes, 0);
    ++m_restoredFiles;
    m_fileBytes = 0;
    showWork();
}

// The bar follows the bytes restored, within a file too: a large file moves it while it is
// extracted.
void Run::showWork()
{
    m_meter.bytesTotal = m_totalBytes;
    m_meter.bytesDone = std::min(m_restoredBytes + m_fileBytes, m_totalBytes);
    m_meter.filesDone = m_restoredFiles;
    showRestoreProgress(v, {.bar = m_totalBytes > 0 ? std::optional(m_meter.bar()) : std::nullopt,
                            .figures = m_meter.figuresText("Restored"),
                            .time = m_meter.timeText()});
}

void Run::finish(RestoreResult& result)
{
    SortedList after;
    for (const Wanted& w : m_lines)
        if (!w.restored)
            after.add(w.line);
    if (m_lines.empty())
        after = m_restoreList;
    after.saveToFile(s.appFile("restoreafter.txt"));
    result.cancelled = cancelled();
    result.target = m_target;
    result.restoredFiles = m_restoredFiles;
    result.restoredBytes = m_restoredBytes;
    const std::string summary = m_target.empty() ? "" : "\n" + restoreSummaryLine(result);
    if (cancelled()) {
        v.showInformation("The Restore was cancelled." + summary);
        return;
    }
    std::vector<std::string> listed; // Not restored.txt
    std::vector<std::string> details;
    for (const Wanted& w : m_lines)
        if (!w.restored) {
            std::string reason;
            for (const std::string& r : w.reasons)
                reason += (reason.empty() ? "" : "; ") + r;
            result.notRestored.push_back({w.path, reason});
            listed.push_back(w.path + ": " + reason);
            details.push_back("Not restored: " + listed.back());
        }
    if (m_totalBytes == 0)
        showRestoreProgress(v, {.bar = 1000});
    if (details.empty()) {
        v.showInformation("The restored files are in " + m_target + summary);
    } else {
        writeLines(platform::joinPath(m_target, notRestoredFile), listed);
        const std::size_t n = details.size();
        v.showInformation("The restore is finished, but " + std::to_string(n) + (n == 1 ? " file" : " files")
                              + " could not be restored." + summary,
                          details);
    }
    v.openFolder(m_target);
}

// The drive is opened afresh whenever an archive is not found on it: a new disc in an
// optical drive is mounted at a folder of its own.
DiscReader* Run::reopenDrive()
{
    if (m_drive.empty())
        return nullptr;
    m_reader = m_options.openDrive ? m_options.openDrive(m_drive) : OpenRestoreDrive(m_drive);
    return m_reader.get();
}

void Run::fetchFile(const std::string& disc, const std::string& fileName, FetchOutcome& outcome)
{
    if (!m_reader)
        reopenDrive();
    outcome = fetchArchive(s, v, m_reader.get(), m_drive, disc, fileName, [this] { return reopenDrive(); });
}

} // namespace

std::string restoreSummaryLine(const RestoreResult& result)
{
    return "Restored " + filesText(result.restoredFiles) + ", " + bytesText(result.restoredBytes) + " ("
        + std::to_string(result.restoredBytes) + " bytes), into " + result.target + ".";
}

std::string nextRestoreTarget(const std::string& restoreFolder, const std::string& day)
{
    for (long n = 1;; ++n) {
        char number[24];
        std::snprintf(number, sizeof number, "%03ld", n);
        const std::string candidate = platform::joinPath(restoreFolder, day + number);
        // A file of that name would make the folder impossible; it is passed over too.
        if (!platform::folderExists(candidate) && !platform::fileExists(candidate))
            return candidate;
    }
}

DiscReader* awaitDiscFile(RunState& state, View& view, DiscReader* reader, const std::string& drive,
                          const std::string& discId, const std::string& fileName,
                          const std::function<DiscReader*()>& reopen)
{
    const std::string onDisc = discId + "/" + fileName;
    const auto present = [&] {
        if (reader && reader->exists(onDisc))
            return true;
        if (reopen)
            reader = reopen();
        return reader && reader->exists(onDisc);
    };
    while (!state.CancelRequested && !present())
        if (!view.askOkCancel("Please insert the disk labeled " + discId + " into Drive " + drive))
            state.CancelRequested = true;
    return state.CancelRequested ? nullptr : reader;
}

FetchOutcome fetchArchive(RunState& state, View& view, DiscReader* reader, const std::string& drive,
                          const std::string& discId, const std::string& fileName,
                          const std::function<DiscReader*()>& reopen)
{
    reader = awaitDiscFile(state, view, reader, drive, discId, fileName, reopen);
    if (!reader)
        return FetchOutcome::Cancelled;
    view.processEvents();
    const std::string onDisc = discId + "/" + fileName;
    const std::string target = platform::joinPath(state.TempFolder, fileName);
    const bool copied = reader->copy(onDisc, target);
    view.processEvents();
    return copied ? FetchOutcome::Fetched : FetchOutcome::CopyFailed;
}

RestoreResult runRestore(RunState& state, View& view, const CheckTree& tree, const RestoreRunOptions& options)
{
    state.CancelRequested = false;
    view.hideWindow(Window::Main);
    view.showWindow(Window::RestoreProgress);
    RestoreResult result;
    try {
        Run run(state, view, tree, options);
        result = run.run();
    } catch (...) {
        // The user gets the main window back; the failure itself is shown by the caller.
        view.hideWindow(Window::RestoreProgress);
        view.showWindow(Window::Main);
        throw;
    }
    view.hideWindow(Window::RestoreProgress);
    view.showWindow(Window::Main);
    return result;
}

} // namespace torvinel

namespace torvinel {

RestorePlanReport planRestoreRun(RunState& state, View& view, const CheckTree& tree)
{
    const RestoreRunOptions options;
    Run run(state, view, tree, options);
    return run.plan();
}

} // namespace torvinel
