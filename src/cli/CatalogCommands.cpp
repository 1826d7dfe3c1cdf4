#include "cli/CatalogCommands.h"

#include <cstdio>
#include <functional>
#include <set>

#include "application/Application.h"
#include "app/Error.h"
#include "catalog/AssembleBackupState.h"
#include "catalog/DiscHealth.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscMaintenance.h"
#include "catalog/DiscNames.h"
#include "cli/AbsolutePath.h"
#include "cli/Commands.h"
#include "platform/File.h"
#include "restore/DiscLossReport.h"
#include "restore/DiscRemoval.h"
#include "restore/IndexedDiscSource.h"
#include "cli/TerminalView.h"
#include "cli/WithApplication.h"

namespace torvinel::cli {

const char* const catalogUsage =
    "  discs                 list the discs of the database, oldest first, each with its last\n"
    "                        check and its result when it was verified\n"
    "  state [--set DISCID]  print the backup state (as of disc DISCID with --set)\n"
    "  remove-disc [--yes] DISCID\n"
    "                        remove the oldest or the newest disc from the database, after\n"
    "                        saying how many files would be lost and asking (without a\n"
    "                        terminal the answer is No: --yes removes it without asking)\n"
    "  add-disc SOURCE       add the disc in SOURCE to the database: a drive's mount point,\n"
    "                        a folder holding a disc's files, a disc image (.iso), or the\n"
    "                        image drive's folder (every disc on it the database lacks)\n"
    "  add-disc --all SOURCE add the newest disc in SOURCE and every disc its index records:\n"
    "                        rebuilds a lost database from that one disc\n"
    "  report                what losing each disc would cost the newest backup: the files\n"
    "                        only that disc holds, then the files with a single copy\n";

namespace {

int discs(RunState& state, View& view)
{
    ListDiscs(state, view);
    const std::vector<DiscCheck> checks = lastChecks(readDiscChecks(state.AppFolder));
    for (std::size_t i = 0; i < state.DiscList.size(); ++i) {
        // A disc never checked keeps its bare line.
        std::string health;
        for (const DiscCheck& check : checks)
            if (check.discId == state.DiscList[i])
                health = "  checked " + check.when + " " + conditionName(check.condition);
        std::printf("%s%s\n", state.DiscList[i].c_str(), health.c_str());
    }
    return Done;
}

int printState(RunState& state, View& view, const std::optional<std::string>& disc)
{
    if (disc) {
        // As the restore chooser: variables of its own, so the stored values stay.
        if (!discFolders(state).contains(*disc))
            return usageError("there is no disc " + *disc + " in the database");
        std::string newest = *disc, oldest;
        AssembleBackupState(state, view, newest, oldest, true);
    } else {
        // As a backup run's assembly.
        state.NewestDisc.clear();
        AssembleBackupState(state, view, state.NewestDisc, state.OldestCSV, true);
    }
    for (std::size_t i = 0; i < state.BackupState.size(); ++i)
        std::printf("%s\n", state.BackupState[i].c_str());
    return Done;
}

int report(RunState& state, View& view)
{
    ListDiscs(state, view);
    state.NewestDisc.clear();
    AssembleBackupState(state, view, state.NewestDisc, state.OldestCSV, false);
    // A disc whose last check found it damaged counts only for files no sound disc holds.
    const std::vector<std::string> damaged = damagedDiscs(readDiscChecks(state.AppFolder)).lines();
    const LossReport report = discLossReport(state.DatabaseFolder, state.DiscList, state.BackupState,
                                             std::set<std::string>(damaged.begin(), damaged.end()));
    for (const DiscLoss& disc : report.discs)
        std::printf("%s: %zu %s (%lld bytes) only on this disc\n", disc.disc.c_str(), disc.files,
                    disc.files == 1 ? "file" : "files", static_cast<long long>(disc.bytes));
    if (report.singleCopies.empty()) {
        std::printf("Every file of the newest backup has copies on two discs or more.\n");
    } else {
        std::printf("%zu %s of the newest backup %s a single copy:\n", report.singleCopies.size(),
                    report.singleCopies.size() == 1 ? "file" : "files",
                    report.singleCopies.size() == 1 ? "has" : "have");
        for (const SingleCopy& file : report.singleCopies)
            std::printf("  %s (%s)\n", file.path.c_str(), file.disc.c_str());
    }
    for (const auto& path : report.noCopy)
        std::printf("No complete copy on any disc: %s\n", path.c_str());
    return Done;
}

int removeDiscCommand(RunState& state, View& view, const std::string& disc, bool confirmed)
{
    ListDiscs(state, view);
    const auto offered = view.items(Control::DiscList);
    for (std::size_t i = 0; i < offered.size(); ++i) {
        if (offered[i].compare(0, discIdLength, disc) == 0 && disc.size() == discIdLength) {
            view.setSelectedIndex(Control::DiscList, static_cast<int>(i));
            if (!confirmed && !confirmDiscRemoval(state, view)) {
                std::fprintf(stderr, "Disc %s was not removed (--yes removes it without asking).\n", disc.c_str());
                return Cancelled;
            }
            return removeDisc(state, view, {}) ? Done : Failed;
        }
    }
    return usageError("disc " + disc + " cannot be removed: only the oldest and the newest disc of the database can");
}

int addDiscCommand(RunState& state, View& view, const std::string& source, bool all)
{
    if (platform::fileStatus(source, platform::Links::Follow).kind == platform::FileKind::Missing) {
        std::fprintf(stderr, "Cannot add a disc from %s: it does not exist.\n", source.c_str());
        return Failed;
    }
    const AddDiskResult result =
        all ? addIndexedDiscs(state, view, source, {}) : addDisc(state, view, *openDiscSource(source), {});
    switch (result) {
    case AddDiskResult::Added:
    case AddDiskResult::AlreadyAdded:
        return Done;
    case AddDiskResult::NoDisc:
        std::fprintf(stderr, "There is no disc of Torvinel in %s.\n", source.c_str());
        return Failed;
    case AddDiskResult::CopyFailed:
        std::fprintf(stderr, "Copy failed.\n");
        return Failed;
    default:
        return Failed;
    }
}

} // namespace

std::optional<int> runCatalogCommand(const std::vector<std::string>& args)
{
    const std::string& command = args[0];
    if (command == "discs") {
        if (args.size() != 1)
            return usageError("discs takes no arguments");
        return withApplication([](Application& a, TerminalView& v) { return discs(a.state(), v); });
    }
    if (command == "state") {
        std::optional<std::string> disc;
        if (args.size() == 3 && args[1] == "--set")
            disc = args[2];
        else if (args.size() != 1)
            return usageError("usage: state [--set DISCID]");
        return withApplication([&](Application& a, TerminalView& v) { return printState(a.state(), v, disc); });
    }
    if (command == "report") {
        if (args.size() != 1)
            return usageError("report takes no arguments");
        return withApplication([](Application& a, TerminalView& v) { return report(a.state(), v); });
    }
    if (command == "remove-disc") {
        const bool confirmed = args.size() == 3 && (args[1] == "--yes" || args[2] == "--yes");
        if (args.size() != 2 + (confirmed ? 1 : 0) || (!confirmed && args[1].starts_with("--")))
            return usageError("usage: remove-disc [--yes] DISCID");
        const std::string disc = args[1] == "--yes" ? args[2] : args[1];
        return withApplication(
            [&](Application& a, TerminalView& v) { return removeDiscCommand(a.state(), v, disc, confirmed); });
    }
    if (command == "add-disc") {
        const bool all = args.size() == 3 && args[1] == "--all";
        if (args.size() != 2 + (all ? 1 : 0))
            return usageError("usage: add-disc [--all] SOURCE");
        const std::string source = absolutePath(args.back());
        return withApplication(
            [&](Application& a, TerminalView& v) { return addDiscCommand(a.state(), v, source, all); });
    }
    return std::nullopt;
}

} // namespace torvinel::cli
