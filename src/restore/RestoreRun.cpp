#include "restore/RestoreRun.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/Error.h"
#include "app/Progress.h"
#include "app/TextFile.h"
#include "archive/ZipArchive.h"
#include "archive/ZipNames.h"
#include "catalog/CatalogLine.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscNames.h"
#include "platform/Platform.h"
#include "restore/RestoreChooser.h"
#include "discwright/DiscReader.h"
#include "restore/RestoreTree.h"
#include "restore/StateBlock.h"

namespace torvinel {

namespace {

constexpr std::size_t catalogNameLength = archiveNameLength + 4; // ArchiveName.csv
constexpr std::size_t groupLetterIndex = 13;

std::string zipNameOf(const std::string& catalog) { return catalog.substr(0, catalog.size() - 4) + ".zip"; }

// A line whose size field is damaged still names a file worth restoring; it only adds
// nothing to the bar.
int64_t sizeOf(const std::string& line)
{
    try {
        return CatalogSize(line);
    } catch (const Error&) {
        return 0;
    }
}

// The stamp field of a catalog line, when it is one.
std::optional<platform::Stamp> stampOf(const std::string& line)
{
    const std::size_t at = catalogPathView(line).size() + 3; // past the quotes and the comma
    if (line.size() < at + catalogStampLength)
        return std::nullopt;
    int value[6] = {};
    const int widths[6] = {4, 2, 2, 2, 2, 2};
    std::size_t p = at;
    for (int k = 0; k < 6; ++k)
        for (int n = 0; n < widths[k]; ++n, ++p) {
            if (line[p] < '0' || line[p] > '9')
                return std::nullopt;
            value[k] = value[k] * 10 + (line[p] - '0');
        }
    return platform::Stamp{value[0], value[1], value[2], value[3], value[4], value[5]};
}

// The engine picks entries by wildcard masks without regard to case, and a mask without a
// folder also matches that name in every folder. A path holding '*' or '?', or one that
// differs from another entry's only in case, would bring other files along: perhaps an
// older version over one already restored from a newer disc. True when that would happen.
bool maskSelectsOthers(const ZipArchive& zip, const std::string& mask)
{
    for (const ZipEntry& entry : zip.entries()) {
        std::string name = zip.displayName(entry);
        while (name.size() > 1 && name.back() == '/')
            name.pop_back();
        if (entry.isFolder() || name == mask)
            continue;
        if (zipnames::wildcardMatch(name, mask)
            || (zip.options.recurse && zipnames::wildcardMatch(zipnames::fileNamePart(name), mask)))
            return true;
    }
    return false;
}

std::string selectedItem(const View& view, Control control)
{
    const std::vector<std::string> items = view.items(control);
    const int index = view.selectedIndex(control);
    if (index >= 0 && index < static_cast<int>(items.size()))
        return items[static_cast<std::size_t>(index)];
    return {};
}

class Run {
public:
    Run(RunState& state, View& view, const CheckTree& tree, const RestoreRunOptions& options)
        : s(state), v(view), m_tree(tree), m_options(options)
    {
        ZF.onProcessFileFailure = [](ZipArchive&, const std::string&, ZipOperation, int, int errorCode,
                                     const std::string& errorMessage, ZipFailureAction&) {
            throw Error("Error: " + errorMessage + " errorcode :" + std::to_string(errorCode));
        };
        // The engine asks after every buffer, so a Cancel click stops a large file inside it;
        // the engine then deletes the partly written file.
        ZF.onFileProgress = [this](ZipArchive&, const std::string&, double, ZipOperation, ZipProgressPhase,
                                   bool& cancel) {
            v.processEvents();
            cancel = s.CancelRequested;
        };
    }

    RestoreResult run();

private:
    bool cancelled() const { return s.CancelRequested; }
    bool workLeft() const { return !m_restoreList.empty() || m_pending; }
    void selectLines(const std::vector<std::string>& selection);
    void makeTarget();
    void scanDisc(const std::string& disc);
    void scanCatalog(const std::string& disc, const std::string& catalog);
    void restoreLine(const std::string& disc, const std::string& catalog, const std::string& line);
    void completePending();
    void putBack(const std::string& line) { m_restoreList.add(line); }
    std::string extractionBase(char groupLetter);
    void addRestored(int64_t bytes);
    void restoreWholeArchive(const std::string& disc, const std::string& catalog, const SortedList& lines);
    bool extractOne(const std::string& relative, const std::string& base, const std::string& line);
    void fetch(const std::string& disc, const std::string& fileName);
    // The archive ZF names is in TempFolder: fetched from the disc unless an earlier line of
    // its catalog brought it. False when the run was cancelled meanwhile.
    bool fetchOnce(const std::string& disc, const std::string& zipName);

    RunState& s;
    View& v;
    const CheckTree& m_tree;
    const RestoreRunOptions& m_options;
    ZipArchive ZF;
    std::string m_drive;
    std::unique_ptr<DiscReader> m_reader;
    SortedList m_restoreList;
    int64_t m_totalBytes = 0;
    int64_t m_restoredBytes = 0;
    std::string m_target;
    bool m_pending = false;
    std::string m_pendingName;
    std::string m_pendingLine;
};

RestoreResult Run::run()
{
    showRestoreProgress(v, {.caption = "Phase 1 of 2: Get Restore selection", .progress = "", .message = "", .bar = 0});
    m_drive = selectedItem(v, Control::RestoreDrive);

    std::vector<std::string> selection;
    RestoreRunNodes(selection, m_tree, m_tree.firstTopLevel());
    writeLines(s.appFile("FQrestorelist.txt"), selection);

    if (!cancelled()) {
        selectLines(selection);
        m_restoreList.saveToFile(s.appFile("restorelist.txt"));
    }
    if (!cancelled())
        makeTarget();
    if (!cancelled()) {
        showRestoreProgress(v, {.caption = "Phase 2 of 2: Restoring files", .progress = "", .message = "", .bar = 0});
        // Discs newer than the chosen set hold no version of it.
        const std::string chosen = chooserDiscId(selectedItem(v, Control::BackupSetChooser));
        while (!s.DiscList.empty() && s.DiscList.back() != chosen)
            s.DiscList.erase(s.DiscList.size() - 1);
        while (!s.DiscList.empty() && workLeft() && !cancelled()) {
            v.processEvents();
            scanDisc(s.DiscList.back());
            s.DiscList.erase(s.DiscList.size() - 1);
        }
    }
    // An archive still waiting when the discs ran out has all the volumes the database
    // knows of in TempFolder; its line has left the list, so it is extracted now or, after a
    // cancel, goes back to the list of what was not restored.
    if (m_pending) {
        if (cancelled()) {
            putBack(m_pendingLine);
            m_pending = false;
        } else {
            completePending();
        }
    }

    m_restoreList.saveToFile(s.appFile("restoreafter.txt"));
    RestoreResult result{cancelled(), m_target};
    if (cancelled()) {
        v.showInformation("The Restore was cancelled.");
    } else {
        if (m_totalBytes == 0)
            showRestoreProgress(v, {.bar = 1000});
        v.showInformation("The restored files are in " + m_target);
        v.openFolder(m_target);
    }
    return result;
}

void Run::selectLines(const std::vector<std::string>& selection)
{
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
            m_totalBytes += sizeOf(line);
            m_restoreList.add(line);
            showRestoreProgress(v, {.progress = "File: " + CatalogPath(line)});
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

void Run::scanDisc(const std::string& disc)
{
    SortedList catalogs;
    ListFiles(platform::joinPath(platform::joinPath(s.DatabaseFolder, disc), "2*.csv"), catalogs);
    while (!catalogs.empty() && workLeft() && !cancelled()) {
        v.processEvents();
        const std::string catalog = catalogs.back();
        // Only an archive's catalog has the name's fixed form; anything else holds nothing
        // to fetch.
        if (catalog.size() >= catalogNameLength)
            scanCatalog(disc, catalog);
        catalogs.erase(catalogs.size() - 1);
    }
}

void Run::scanCatalog(const std::string& disc, const std::string& catalog)
{
    if (m_pending && catalog.compare(0, archiveNameLength, m_pendingName, 0, archiveNameLength) != 0)
        completePending(); // the scan has left the pending archive: all its volumes are in
    else if (m_pending)
        fetch(disc, zipNameOf(catalog)); // another volume of it
    if (m_pending)
        return;
    // A deleted-files catalog has no archive; its lines name versions other catalogs hold.
    if (catalog[archiveNameLength - 1] == 'd' || catalog[archiveNameLength - 1] == 'D')
        return;

    SortedList lines;
    lines.loadFromFile(platform::joinPath(platform::joinPath(s.DatabaseFolder, disc), catalog));
    if (lines.size() == 1) {
        // A single-file archive, perhaps split: fetched volume by volume, extracted whole
        // once the scan meets another archive.
        const std::string line = lines[0];
        std::size_t position = 0;
        if (!m_restoreList.find(line, position))
            return;
        showRestoreProgress(v, {.progress = "File: " + CatalogPath(line)});
        fetch(disc, zipNameOf(catalog));
        m_pending = true;
        m_pendingName = catalog;
        m_pendingLine = line;
        m_restoreList.erase(position);
        return;
    }
    std::size_t wanted = 0;
    for (std::size_t i = 0; i < lines.size(); ++i)
        wanted += m_restoreList.contains(lines[i]) ? 1 : 0;
    if (wanted > 1 && wanted == lines.size()) {
        restoreWholeArchive(disc, catalog, lines);
        return;
    }
    for (std::size_t i = lines.size(); i-- > 0 && !cancelled();)
        if (m_restoreList.contains(lines[i]))
            restoreLine(disc, catalog, lines[i]);
}

// Every line of the catalog is wanted: one extraction of the whole archive gives the same
// files as one per line, at a fraction of the cost.
void Run::restoreWholeArchive(const std::string& disc, const std::string& catalog, const SortedList& lines)
{
    const std::string zipName = zipNameOf(catalog);
    ZF.fileName = platform::joinPath(s.TempFolder, zipName);
    for (std::size_t i = lines.size(); i-- > 0;)
        s.WriteLog("Restoring: " + CatalogPath(lines[i]) + " From " + ZF.fileName);
    v.setStatusText(1, CatalogPath(lines[0]));
    v.processEvents();
    if (!fetchOnce(disc, zipName))
        return;
    const std::string base = extractionBase(catalog[groupLetterIndex]);
    ZF.baseDir = base;
    ZF.open();
    ZF.extractFiles("*.*", ZipAllAttributes, {});
    ZF.close();
    const std::size_t prefix = platform::drivePrefixLength();
    for (std::size_t i = lines.size(); i-- > 0;) {
        const std::string path = CatalogPath(lines[i]);
        if (path.size() <= prefix || !platform::fileExists(platform::joinPath(base, path.substr(prefix)))) {
            s.WriteLog("Not in the archive: " + path + " in " + ZF.fileName);
            continue;
        }
        addRestored(sizeOf(lines[i]));
        std::size_t position = 0;
        if (m_restoreList.find(lines[i], position))
            m_restoreList.erase(position);
    }
}

void Run::restoreLine(const std::string& disc, const std::string& catalog, const std::string& line)
{
    const std::string path = CatalogPath(line);
    v.setStatusText(1, path);
    v.processEvents();
    const std::string zipName = zipNameOf(catalog);
    ZF.fileName = platform::joinPath(s.TempFolder, zipName);
    s.WriteLog("Restoring: " + path + " From " + ZF.fileName);
    // One copy of an archive serves every line of its catalog.
    if (!fetchOnce(disc, zipName))
        return;
    const std::string base = extractionBase(catalog[groupLetterIndex]);
    const std::size_t prefix = platform::drivePrefixLength();
    if (!extractOne(path.size() > prefix ? path.substr(prefix) : path, base, line)) {
        // The catalog promised a file its archive does not hold: the line stays in the list,
        // for an older disc or for restoreafter.txt.
        s.WriteLog("Not in the archive: " + path + " in " + ZF.fileName);
        return;
    }
    addRestored(sizeOf(line));
    std::size_t position = 0;
    if (m_restoreList.find(line, position))
        m_restoreList.erase(position);
}

// Extracts the entry of relative (the path below the drive) into base; true when the file is
// there afterwards.
bool Run::extractOne(const std::string& relative, const std::string& base, const std::string& line)
{
    std::string mask = relative;
    if (platform::pathSeparator() != '/')
        std::replace(mask.begin(), mask.end(), platform::pathSeparator(), '/');
    const std::string target = platform::joinPath(base, relative);
    ZF.baseDir = base;
    ZF.open();
    if (!maskSelectsOthers(ZF, mask)) {
        ZF.extractFiles(relative, ZipAllAttributes, {});
        ZF.close();
        return platform::fileExists(target);
    }
    // The mask would take others along: extract them aside and keep only the one asked for.
    const std::string aside = platform::joinPath(s.TempFolder, "extract");
    // A file left over from an earlier extraction would be taken for the one asked for.
    if (!platform::deleteFolder(aside) && platform::folderExists(aside))
        throw Error("Could not delete " + aside);
    if (!platform::createFolder(aside))
        throw Error("Could not create " + aside);
    ZF.baseDir = aside;
    ZF.extractFiles(relative, ZipAllAttributes, {});
    ZF.close();
    const std::string extracted = platform::joinPath(aside, relative);
    bool found = platform::fileExists(extracted);
    if (found) {
        const std::string folder = std::filesystem::path(target).parent_path().string();
        if (!platform::folderExists(folder) && !platform::createFolders(folder))
            throw Error("Could not create " + folder);
        std::error_code ec;
        std::filesystem::rename(extracted, target, ec);
        if (ec) {
            // Another file system: a copy, which then needs the file's stamp set again.
            if (!platform::copyFile(extracted, target))
                throw Error("Could not copy " + extracted + " to " + target);
            if (const auto stamp = stampOf(line); stamp && !platform::setLastWriteStamp(target, *stamp))
                s.WriteLog("Warning: Could not set the date of " + target);
        }
    }
    // What stays is deleted before the next use above, or with TempFolder.
    static_cast<void>(platform::deleteFolder(aside));
    return found;
}

void Run::completePending()
{
    m_pending = false;
    ZF.baseDir = extractionBase(m_pendingName[groupLetterIndex]);
    ZF.fileName = platform::joinPath(s.TempFolder, m_pendingName.substr(0, archiveNameLength) + ".zip");
    if (!platform::fileExists(ZF.fileName)) {
        // Its last volume was never met; an older catalog may still hold the line.
        putBack(m_pendingLine);
        return;
    }
    s.WriteLog("Restoring large file from " + ZF.fileName);
    ZF.open();
    ZF.extractFiles("*.*", ZipAllAttributes, {});
    ZF.close();
    addRestored(sizeOf(m_pendingLine));
    if (!EmptyFolder(s.TempFolder))
        throw Error("Could not delete Temp directory.");
}

std::string Run::extractionBase(char groupLetter)
{
    const std::string folder = platform::joinPath(m_target, std::string(1, groupLetter));
    if (!platform::folderExists(folder) && !platform::createFolder(folder))
        throw Error("Could not create " + folder);
    return folder;
}

void Run::addRestored(int64_t bytes)
{
    m_restoredBytes += bytes;
    if (m_totalBytes > 0)
        showRestoreProgress(v, {.bar = static_cast<int>(m_restoredBytes * 1000 / m_totalBytes)});
}

bool Run::fetchOnce(const std::string& disc, const std::string& zipName)
{
    if (!platform::fileExists(ZF.fileName)) {
        if (!EmptyFolder(s.TempFolder))
            throw Error("Could not delete Temp directory.");
        fetch(disc, zipName);
    }
    return !cancelled();
}

void Run::fetch(const std::string& disc, const std::string& fileName)
{
    // The drive is opened afresh whenever the archive is not found on it: a new disc in an
    // optical drive is mounted at a folder of its own.
    const auto reopen = [this]() -> DiscReader* {
        if (m_drive.empty())
            return nullptr;
        m_reader = m_options.openDrive ? m_options.openDrive(m_drive) : OpenRestoreDrive(m_drive);
        return m_reader.get();
    };
    if (!m_reader)
        reopen();
    fetchArchive(s, v, m_reader.get(), m_drive, disc, fileName, reopen);
}

} // namespace

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

void fetchArchive(RunState& state, View& view, DiscReader* reader, const std::string& drive, const std::string& discId,
                  const std::string& fileName, const std::function<DiscReader*()>& reopen)
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
    if (state.CancelRequested)
        return;
    view.processEvents();
    const std::string target = platform::joinPath(state.TempFolder, fileName);
    if (!reader->copy(onDisc, target))
        throw Error("Could not copy " + platform::joinPath(drive, onDisc) + " to " + target);
    view.processEvents();
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
