#include "cli/RestoreCommands.h"

#include <cstdio>
#include <functional>

#include "application/Application.h"
#include "application/RestoreRunner.h"
#include "app/Error.h"
#include "app/FileHelpers.h"
#include "cli/AbsolutePath.h"
#include "cli/Commands.h"
#include "cli/TerminalView.h"
#include "cli/WithApplication.h"
#include "discwriter/DeviceLists.h"
#include "platform/File.h"
#include "platform/Platform.h"
#include "discwright/DiscReader.h"
#include "recovery/RecoveryFile.h"
#include "restore/DiscRepairRun.h"
#include "restore/RestoreChooser.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreTree.h"

namespace torvinel::cli {

const char* const restoreUsage =
    "  sets                  list the backup sets, newest first\n"
    "  restore [--set DISCID] [--from DRIVE] [--to DIR] [--plan] PATH...\n"
    "                        restore files and folders (a folder ends with /) of the newest\n"
    "                        backup set, or of the set of disc DISCID, from DRIVE (a disc's\n"
    "                        mount point, a folder, or the image drive's folder; default:\n"
    "                        the first drive of \"torvinel-cli drives\") into a new folder\n"
    "                        made in DIR (created when missing; default: the restores folder),\n"
    "                        which is printed. Files that could not be restored are listed\n"
    "                        on standard error (\"Not restored: PATH: REASON\") and in the\n"
    "                        folder's \"Not restored.txt\"; the exit code is then 3.\n"
    "                        --plan: print the discs the restore needs, one a line with the\n"
    "                        files and bytes each gives, and restore nothing\n"
    "  repair [--from DRIVE] DISCID --to DIR | --image FILE.iso\n"
    "                        rebuild the files of disc DISCID from the recovery data it\n"
    "                        carries, into DIR, or as a disc image FILE.iso to burn again (the\n"
    "                        disc as it was written, written only when every file was rebuilt);\n"
    "                        says how many blocks were lost and rebuilt, and names the files\n"
    "                        that could not be rebuilt (exit code 3)\n";

namespace {

int sets(RunState& state, View& view)
{
    fillBackupSetChooser(state, view);
    for (const std::string& item : view.items(Control::BackupSetChooser))
        std::printf("%s\n", item.c_str());
    return Done;
}

struct RestoreRequest {
    std::string set;  // "" for the newest
    std::string from; // "" for the default drive
    std::string to;   // "" for RestoreFolder
    std::vector<std::string> paths;
    bool plan = false; // print the plan only
};

void printNotRestored(const std::vector<NotRestored>& files)
{
    for (const NotRestored& file : files)
        std::fprintf(stderr, "Not restored: %s: %s\n", file.path.c_str(), file.reason.c_str());
}

int printPlan(RunState& state, View& view, const CheckTree& tree)
{
    const RestorePlanReport report = planRestoreRun(state, view, tree);
    for (const PlannedDisc& disc : report.plan.discs)
        std::printf("%s  %d %s  %lld bytes\n", disc.disc.c_str(), disc.files, disc.files == 1 ? "file" : "files",
                    static_cast<long long>(disc.bytes));
    printNotRestored(report.unavailable);
    return report.unavailable.empty() ? Done : FilesLeftOut;
}

// The folder --to names (made absolute when the arguments were read), created with its
// parents when missing.
std::string restoreFolderOf(const std::string& folder)
{
    const platform::FileKind kind = platform::fileStatus(folder, platform::Links::Follow).kind;
    if (kind == platform::FileKind::Folder)
        return folder;
    if (kind != platform::FileKind::Missing)
        throw Error("Cannot restore to " + folder + ": it is not a folder.");
    if (!platform::createFolders(folder))
        throw Error("Could not create " + folder);
    return folder;
}

int restore(Application& application, View& view, const RestoreRequest& request)
{
    RunState& state = application.state();
    // A drive is named by a path that exists (a device, a mount point, a folder, an image);
    // anything else would only become a request for a disc that can never come.
    if (!request.from.empty()
        && platform::fileStatus(request.from, platform::Links::Follow).kind == platform::FileKind::Missing)
        throw Error("Cannot restore from " + request.from + ": it does not exist.");
    fillBackupSetChooser(state, view);
    const std::vector<std::string> items = view.items(Control::BackupSetChooser);
    if (items.empty())
        return usageError("there is no backup set in the database");
    int index = request.set.empty() ? 0 : -1;
    for (std::size_t i = 0; index < 0 && i < items.size(); ++i)
        if (chooserDiscId(items[i]) == request.set)
            index = static_cast<int>(i);
    if (index < 0)
        return usageError("no backup set ends with disc " + request.set + " (see: torvinel-cli sets)");
    view.setSelectedIndex(Control::BackupSetChooser, index);
    RestoreTree tree;
    chooseBackupSet(state, view, tree);

    for (const std::string& path : request.paths) {
        const CheckTree::Node node = tree.browseTo(path);
        if (!node)
            return usageError(path + " is not in the backup set "
                              + chooserDiscId(items[static_cast<std::size_t>(index)]));
        tree.setCheckState(node, CheckState::Checked);
    }

    if (request.plan)
        return printPlan(state, view, tree);
    if (!request.from.empty())
        view.setItems(Control::RestoreDrive, {request.from}, 0);
    else if (view.items(Control::RestoreDrive).empty() && !fillRestoreDrives(state, view))
        return Failed; // no drive to read from: the View has said so
    else if (view.options().restoreDriveIndex < 0)
        view.setSelectedIndex(Control::RestoreDrive, 0);

    RestoreRunOptions options;
    if (!request.to.empty())
        options.restoreFolder = restoreFolderOf(request.to);
    const RestoreResult result = RestoreRunner(application).run(tree, options);
    if (result.cancelled)
        return Cancelled;
    // The view has named each file left out on standard error.
    return result.notRestored.empty() ? Done : FilesLeftOut;
}

struct RepairRequest {
    std::string disc;
    std::string from;  // "" for the default drive
    std::string to;    // the folder, or
    std::string image; // the disc image file to write
};

int repair(RunState& state, View& view, const RepairRequest& request)
{
    std::string drive = request.from;
    if (drive.empty()) {
        if (view.items(Control::RestoreDrive).empty() && !fillRestoreDrives(state, view))
            return Failed; // no drive to read from: the View has said so
        drive = view.items(Control::RestoreDrive).front();
    } else if (platform::fileStatus(drive, platform::Links::Follow).kind == platform::FileKind::Missing) {
        throw Error("Cannot repair from " + drive + ": it does not exist.");
    }
    const auto reader = OpenRestoreDrive(drive);
    // A disc whose file tree is lost is still found by its blocks.
    if (!reader->exists(request.disc + "/" + RecoveryFileName) && reader->list(request.disc).empty()
        && !reader->medium(request.disc))
        throw Error("There is no disc " + request.disc + " in " + drive + ".");
    std::string folder;
    DiscRepairReport report;
    if (request.image.empty()) {
        folder = restoreFolderOf(request.to);
        report = repairDiscFiles(*reader, request.disc, folder);
    } else {
        // The disc's files are put together in TempFolder before they become the image.
        if (!EmptyFolder(state.TempFolder))
            throw Error("Could not delete Temp directory.");
        folder = platform::joinPath(state.TempFolder, request.disc);
        report = repairDiscImage(*reader, request.disc, state.TempFolder, request.image);
        if (!EmptyFolder(state.TempFolder))
            throw Error("Could not delete Temp directory.");
    }
    const RepairCount& count = report.repair.count;
    // The recovery data's own blocks lost: its parity and its records.
    const uint64_t lostRecovery = count.lostParity + report.repair.lostMetadata;
    std::printf("Disc %s: %llu blocks lost, %llu of them rebuilt; %llu blocks of the recovery data lost; %llu "
                "codewords at their limit.\n",
                request.disc.c_str(), static_cast<unsigned long long>(count.lostData),
                static_cast<unsigned long long>(count.rebuilt), static_cast<unsigned long long>(lostRecovery),
                static_cast<unsigned long long>(count.codewordsAtLimit));
    if (request.image.empty())
        std::printf("%zu of %zu files rebuilt in %s\n", report.files - report.notRebuilt.size(), report.files,
                    folder.c_str());
    else if (report.notRebuilt.empty())
        std::printf("%zu of %zu files rebuilt; the disc's image is %s\n", report.files, report.files,
                    request.image.c_str());
    else
        std::printf("%zu of %zu files rebuilt; no image was written\n", report.files - report.notRebuilt.size(),
                    report.files);
    for (const std::string& name : report.notRebuilt)
        std::fprintf(stderr, "Not rebuilt: %s\n", name.c_str());
    return report.notRebuilt.empty() ? Done : FilesLeftOut;
}

} // namespace

std::optional<int> runRestoreCommand(const std::vector<std::string>& args)
{
    const std::string& command = args[0];
    if (command == "sets") {
        if (args.size() != 1)
            return usageError("sets takes no arguments");
        return withApplication([](Application& a, TerminalView& v) { return sets(a.state(), v); });
    }
    if (command == "restore") {
        RestoreRequest request;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if ((args[i] == "--set" || args[i] == "--from" || args[i] == "--to") && i + 1 < args.size()) {
                const std::string& value = args[i + 1];
                if (args[i] == "--set")
                    request.set = value;
                else
                    (args[i] == "--from" ? request.from : request.to) = absolutePath(value);
                ++i;
            } else if (args[i] == "--plan") {
                request.plan = true;
            } else if (args[i].starts_with("--")) {
                return usageError("usage: restore [--set DISCID] [--from DRIVE] [--to DIR] [--plan] PATH...");
            } else {
                // The backed-up files' paths are absolute; a relative one is read from here.
                request.paths.push_back(absolutePath(args[i]));
            }
        }
        if (request.paths.empty())
            return usageError("usage: restore [--set DISCID] [--from DRIVE] [--to DIR] [--plan] PATH...");
        return withApplication([&](Application& a, TerminalView& v) { return restore(a, v, request); });
    }
    if (command == "repair") {
        RepairRequest request;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if ((args[i] == "--from" || args[i] == "--to" || args[i] == "--image") && i + 1 < args.size()) {
                (args[i] == "--from" ? request.from : args[i] == "--to" ? request.to : request.image) =
                    absolutePath(args[i + 1]);
                ++i;
            } else if (!args[i].starts_with("--") && request.disc.empty()) {
                request.disc = args[i];
            } else {
                request.disc.clear();
                break;
            }
        }
        if (request.disc.empty() || request.to.empty() == request.image.empty())
            return usageError("usage: repair [--from DRIVE] DISCID --to DIR | --image FILE.iso");
        return withApplication([&](Application& a, TerminalView& v) { return repair(a.state(), v, request); });
    }
    return std::nullopt;
}

} // namespace torvinel::cli
