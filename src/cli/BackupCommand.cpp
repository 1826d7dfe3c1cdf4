#include "cli/BackupCommand.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "application/Application.h"
#include "application/BackupRunner.h"
#include "app/Progress.h"
#include "app/TextFile.h"
#include "backup/HiddenMounts.h"
#include "backup/Selection.h"
#include "cli/AbsolutePath.h"
#include "cli/Commands.h"
#include "cli/TerminalView.h"
#include "cli/WithApplication.h"
#include "discwriter/DiscLibrary.h"
#include "platform/Platform.h"

namespace torvinel::cli {

const char* const backupUsage =
    "  backup [--select PATH]... [--save-selection] [--md5|--no-md5] [--verify|--no-verify] [--writer INDEX]\n"
    "         [--recovery PERCENT]\n"
    "                        back up the selection (FQList.txt, or the paths given) to\n"
    "                        the writer INDEX of the device list (0: the first); the paths\n"
    "                        given replace the saved selection only with --save-selection;\n"
    "                        exit code 3: the backup finished but left files out, each\n"
    "                        named on standard error (\"Not backed up: PATH: REASON\")\n"
    "                        --recovery: the share of each disc for recovery data, 0 to 50\n"
    "                        (this run only; default: [Status] RecoveryPercent, 12)\n";

namespace {

struct BackupArguments {
    std::vector<std::string> select;
    bool saveSelection = false;
    std::optional<bool> md5;
    std::optional<bool> verify;
    int writer = 0;
    std::optional<int> recovery;
};

// Sets a yes/no option; false when the other spelling was given before.
bool setSwitch(std::optional<bool>& option, bool value)
{
    if (option && *option != value)
        return false;
    option = value;
    return true;
}

// nullopt with error set when the arguments are wrong (error empty: the usage says why).
std::optional<BackupArguments> parse(const std::vector<std::string>& args, std::string& error)
{
    BackupArguments parsed;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--select" && i + 1 < args.size()) {
            std::string path = absolutePath(args[++i]);
            while (path.size() > 1 && path.back() == '/')
                path.pop_back();
            parsed.select.push_back(path);
        } else if (a == "--save-selection") {
            parsed.saveSelection = true;
        } else if (a == "--md5" || a == "--no-md5") {
            if (!setSwitch(parsed.md5, a == "--md5")) {
                error = "--md5 and --no-md5 contradict each other";
                return std::nullopt;
            }
        } else if (a == "--verify" || a == "--no-verify") {
            if (!setSwitch(parsed.verify, a == "--verify")) {
                error = "--verify and --no-verify contradict each other";
                return std::nullopt;
            }
        } else if (a == "--recovery" && i + 1 < args.size()) {
            char* end = nullptr;
            const long percent = std::strtol(args[++i].c_str(), &end, 10);
            if (end == args[i].c_str() || *end != '\0' || percent < 0 || percent > 50) {
                error = "--recovery takes a share from 0 to 50";
                return std::nullopt;
            }
            parsed.recovery = static_cast<int>(percent);
        } else if (a == "--writer" && i + 1 < args.size()) {
            char* end = nullptr;
            const long index = std::strtol(args[++i].c_str(), &end, 10);
            if (end == args[i].c_str() || *end != '\0' || index < 0)
                return std::nullopt;
            parsed.writer = static_cast<int>(index);
        } else {
            return std::nullopt;
        }
    }
    return parsed;
}

// The --select paths without those below another one (covered by it).
std::vector<std::string> uncovered(const std::vector<std::string>& paths)
{
    std::vector<std::string> kept;
    for (const auto& path : paths) {
        const bool covered = std::any_of(paths.begin(), paths.end(), [&](const std::string& other) {
            return other != path && path.size() > other.size() && path.compare(0, other.size(), other) == 0
                && (other.back() == '/' || path[other.size()] == '/');
        });
        if (!covered && std::find(kept.begin(), kept.end(), path) == kept.end())
            kept.push_back(path);
    }
    return kept;
}

// --save-selection: these paths become the ticks, which phase 1 and shut-down save.
void replaceSelection(TerminalView& view, const std::vector<std::string>& paths)
{
    MemoryCheckTree& tree = view.backupMemoryTree();
    for (CheckTree::Node node = tree.firstTopLevel(); node; node = tree.nextSibling(node))
        tree.setCheckState(node, CheckState::Unchecked);
    for (const auto& path : paths)
        tree.setCheckState(tree.addNode(nullptr, path), CheckState::Checked);
}

// A selection that names a missing path, or ticks nothing, would record every earlier file
// as deleted and still report success; so would one the walk never enters (a system folder
// such as /dev or /run, removable media).
bool everyPathCanBeBackedUp(const std::vector<std::string>& paths)
{
    const std::vector<std::string> hidden = hiddenMountPoints();
    for (const auto& path : paths) {
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::path(path), error)) {
            std::fprintf(stderr, "Cannot back up %s: it does not exist.\n", path.c_str());
            return false;
        }
        for (const auto& mount : hidden) {
            const bool inside = path == mount
                || (path.size() > mount.size() && path.compare(0, mount.size(), mount) == 0
                    && (mount.back() == '/' || path[mount.size()] == '/'));
            if (inside) {
                std::fprintf(stderr,
                             "Cannot back up %s: it is in a system folder or on removable media (%s), which "
                             "is never backed up.\n",
                             path.c_str(), mount.c_str());
                return false;
            }
        }
    }
    return true;
}

bool hasSavedTicks(Application& application, TerminalView& view)
{
    if (!platform::fileExists(application.state().appFile("FQList.txt")))
        return false; // start-up ticked the first start's Documents, which nobody chose here
    std::vector<std::string> ticked;
    CheckTree& tree = view.backupTree();
    FQRunNodes(tree, ticked, tree.firstTopLevel(), true);
    return !ticked.empty();
}

int backup(TerminalView& view, Application& application, const BackupArguments& arguments)
{
    if (arguments.select.empty() && !hasSavedTicks(application, view)) {
        std::fprintf(stderr, "Nothing is selected for backup.\n");
        return Failed;
    }
    const DriveList& devices = application.discwright().devices();
    if (devices.empty()) {
        std::fprintf(stderr, "torvinel-cli: there is no disc writer\n");
        return Failed;
    }
    if (arguments.writer >= static_cast<int>(devices.size())) {
        std::fprintf(stderr, "torvinel-cli: there is no writer %d (the list has %zu)\n", arguments.writer,
                     devices.size());
        return Failed;
    }
    view.setSelectedIndex(Control::WriterChooser, arguments.writer);
    const std::vector<std::string> paths = uncovered(arguments.select);
    if (!paths.empty() && arguments.saveSelection)
        replaceSelection(view, paths);

    // The two options hold for this run only: the stored values go back before shut-down,
    // also when the run fails.
    struct StoredOptions {
        View& view;
        const bool md5 = view.options().md5;
        const bool verify = view.options().verify;
        ~StoredOptions()
        {
            view.setChecked(Control::Md5Check, md5);
            view.setChecked(Control::VerifyCheck, verify);
        }
    } stored{view};
    if (arguments.md5)
        view.setChecked(Control::Md5Check, *arguments.md5);
    if (arguments.verify)
        view.setChecked(Control::VerifyCheck, *arguments.verify);
    struct StoredRecovery {
        int& percent;
        const int stored = percent;
        ~StoredRecovery() { percent = stored; }
    } storedRecovery{application.state().RecoveryPercent};
    if (arguments.recovery)
        application.state().RecoveryPercent = *arguments.recovery;

    BackupRunner backups(application);
    // Without --save-selection the paths hold for this run only: the GUI's selection stays.
    const bool ownPaths = !paths.empty() && !arguments.saveSelection;
    if ((ownPaths ? backups.runOf(paths) : backups.run()) == BackupOutcome::Cancelled)
        return Cancelled;
    return backups.notBackedUp().empty() ? Done : FilesLeftOut;
}

} // namespace

std::optional<int> runBackupCommand(const std::vector<std::string>& args)
{
    if (args.empty() || args[0] != "backup")
        return std::nullopt;
    std::string error;
    const std::optional<BackupArguments> arguments = parse(args, error);
    if (!arguments && !error.empty()) {
        std::fprintf(stderr, "torvinel-cli: %s\n", error.c_str());
        return Failed;
    }
    if (!arguments) {
        std::fprintf(stderr, "torvinel-cli: usage:\n%s", backupUsage);
        return Failed;
    }
    if (!everyPathCanBeBackedUp(arguments->select))
        return Failed;

    return withApplication(
        [&](Application& application, TerminalView& view) { return backup(view, application, *arguments); }, {},
        Selection::Used);
}

} // namespace torvinel::cli
