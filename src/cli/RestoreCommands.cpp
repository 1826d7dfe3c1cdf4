#include "cli/RestoreCommands.h"

#include <cstdio>
#include <filesystem>
#include <functional>

#include "application/Application.h"
#include "app/Error.h"
#include "cli/Commands.h"
#include "cli/TerminalView.h"
#include "cli/WithApplication.h"
#include "discwriter/DeviceLists.h"
#include "platform/File.h"
#include "platform/Platform.h"
#include "restore/RestoreChooser.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreTree.h"

namespace torvinel::cli {

const char* const restoreUsage =
    "  sets                  list the backup sets, newest first\n"
    "  restore [--set DISCID] [--from DRIVE] [--to DIR] PATH...\n"
    "                        restore files and folders (a folder ends with /) of the newest\n"
    "                        backup set, or of the set of disc DISCID, from DRIVE (a disc's\n"
    "                        mount point, a folder, or the image drive's folder; default:\n"
    "                        the first drive of \"torvinel-cli drives\") into a new folder\n"
    "                        made in DIR (created when missing; default: the restores folder),\n"
    "                        which is printed\n";

namespace {

int usageError(const std::string& text)
{
    std::fprintf(stderr, "torvinel-cli: %s\n", text.c_str());
    return Failed;
}

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
};

// The folder --to names, made absolute and created with its parents when missing.
std::string restoreFolderOf(const std::string& to)
{
    std::error_code error;
    const std::string folder = std::filesystem::absolute(to, error).lexically_normal().string();
    if (error)
        throw Error("Cannot restore to " + to + ": it is not a folder.");
    const platform::FileKind kind = platform::fileStatus(folder, platform::Links::Follow).kind;
    if (kind == platform::FileKind::Folder)
        return folder;
    if (kind != platform::FileKind::Missing)
        throw Error("Cannot restore to " + to + ": it is not a folder.");
    if (!platform::createFolders(folder))
        throw Error("Could not create " + folder);
    return folder;
}

int restore(RunState& state, View& view, const RestoreRequest& request)
{
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

    if (!request.from.empty())
        view.setItems(Control::RestoreDrive, {request.from}, 0);
    else if (view.items(Control::RestoreDrive).empty() && !fillRestoreDrives(state, view))
        return Failed; // no drive to read from: the View has said so
    else if (view.options().restoreDriveIndex < 0)
        view.setSelectedIndex(Control::RestoreDrive, 0);

    RestoreRunOptions options;
    if (!request.to.empty())
        options.restoreFolder = restoreFolderOf(request.to);
    const RestoreResult result = runRestore(state, view, tree, options);
    return result.cancelled ? Cancelled : Done;
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
                (args[i] == "--set" ? request.set : args[i] == "--from" ? request.from : request.to) = args[i + 1];
                ++i;
            } else if (args[i].starts_with("--")) {
                return usageError("usage: restore [--set DISCID] [--from DRIVE] [--to DIR] PATH...");
            } else {
                request.paths.push_back(args[i]);
            }
        }
        if (request.paths.empty())
            return usageError("usage: restore [--set DISCID] [--from DRIVE] [--to DIR] PATH...");
        return withApplication([&](Application& a, TerminalView& v) { return restore(a.state(), v, request); });
    }
    return std::nullopt;
}

} // namespace torvinel::cli
