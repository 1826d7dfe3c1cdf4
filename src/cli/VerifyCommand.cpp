#include "cli/VerifyCommand.h"

#include <cstdio>

#include "application/Application.h"
#include "app/Error.h"
#include "catalog/DiscHealth.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscNames.h"
#include "cli/AbsolutePath.h"
#include "cli/Commands.h"
#include "cli/TerminalView.h"
#include "cli/WithApplication.h"
#include "discwright/DiscReader.h"
#include "discwright/ImageDriveSettings.h"
#include "platform/File.h"
#include "restore/DiscVerification.h"

namespace torvinel::cli {

const char* const verifyUsage =
    "  verify [--from DRIVE] [DISCID]\n"
    "                        read every file of disc DISCID in DRIVE (a disc's mount point, a\n"
    "                        folder, a disc image, a folder of disc images, or by default the\n"
    "                        image drive's folder; DISCID may be left out when DRIVE holds one\n"
    "                        disc), compare each with its MD5 in STATUS.INI (or, when that\n"
    "                        cannot be read, in the disc's recovery data), test every archive\n"
    "                        entry and catalog line and the recovery data itself; print the\n"
    "                        damaged archives with their files and record the result in\n"
    "                        DiscHealth.csv. Exit code 0 sound, 3 damaged, 2 when the disc\n"
    "                        cannot be read at all\n"
    "  verify --next         print the DiscId of the disc to check next: never checked first\n"
    "                        (oldest first), then the one checked longest ago\n";

namespace {

struct VerifyRequest {
    std::string from; // "" for the image drive's folder
    std::string disc; // "" for the one disc on the drive
    bool next = false;
};

int next(RunState& state)
{
    const std::string disc = nextDiscToCheck(discFolders(state), readDiscChecks(state.AppFolder));
    if (disc.empty()) {
        std::fprintf(stderr, "There is no disc in the database.\n");
        return Failed;
    }
    std::printf("%s\n", disc.c_str());
    return Done;
}

int verify(RunState& state, TerminalView& view, const VerifyRequest& request)
{
    std::string drive = request.from;
    if (drive.empty())
        drive = ReadImageDriveSettings(state.settingsFile()).folder;
    else if (platform::fileStatus(drive, platform::Links::Follow).kind == platform::FileKind::Missing)
        throw Error("Cannot verify from " + drive + ": it does not exist.");
    const std::unique_ptr<DiscReader> reader = OpenRestoreDrive(drive);
    std::string disc = request.disc;
    if (disc.empty()) {
        const std::vector<std::string> discs = discsOnDrive(*reader);
        if (discs.empty()) {
            std::fprintf(stderr, "There is no disc of Torvinel in %s.\n", drive.c_str());
            return Failed;
        }
        if (discs.size() > 1) {
            std::fprintf(stderr, "%s holds %zu discs: name the one to verify.\n", drive.c_str(), discs.size());
            return Failed;
        }
        disc = discs.front();
    }
    const DiscVerification result = verifyAndRecord(state, *reader, disc, [&] {
        view.processEvents();
        return state.CancelRequested;
    });
    switch (result.outcome) {
    case DiscVerification::Outcome::NoSuchDisc:
    case DiscVerification::Outcome::Unreadable:
        std::fprintf(stderr, "%s\n", result.problem.c_str());
        return Failed;
    case DiscVerification::Outcome::Cancelled:
        std::fprintf(stderr, "The verification was cancelled.\n");
        return Cancelled;
    case DiscVerification::Outcome::Checked:
        break;
    }
    for (const std::string& line : verificationReport(result))
        std::printf("%s\n", line.c_str());
    return result.sound() ? Done : FilesLeftOut;
}

} // namespace

std::optional<int> runVerifyCommand(const std::vector<std::string>& args)
{
    if (args[0] != "verify")
        return std::nullopt;
    VerifyRequest request;
    const char* const usage = "usage: verify [--from DRIVE] [DISCID] | verify --next";
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--from" && i + 1 < args.size())
            request.from = absolutePath(args[++i]);
        else if (args[i] == "--next")
            request.next = true;
        else if (!args[i].starts_with("--") && request.disc.empty())
            request.disc = args[i];
        else
            return usageError(usage);
    }
    if (request.next && (!request.from.empty() || !request.disc.empty()))
        return usageError(usage);
    if (!request.disc.empty() && !isDiscId(request.disc))
        return usageError(request.disc + " is not a DiscId (11 digits, such as 20261210004)");
    if (request.next)
        return withApplication([](Application& a, TerminalView&) { return next(a.state()); });
    return withApplication([&](Application& a, TerminalView& v) { return verify(a.state(), v, request); });
}

} // namespace torvinel::cli
