#include "cli/DrivesCommand.h"

#include <cstdio>

#include "application/Application.h"
#include "app/Error.h"
#include "cli/Commands.h"
#include "cli/TerminalView.h"
#include "cli/WithApplication.h"
#include "discwriter/DeviceLists.h"
#include "discwriter/DriveFinder.h"
#include "discwriter/LibraryTrace.h"
#include "discwright/Discwright.h"
#include "discwright/ImageDriveSettings.h"

namespace torvinel::cli {

const char* const drivesUsage = "  drives                the disc writers, then the drives discs are read from\n";

namespace {

int drives(TerminalView& view, RunState& state)
{
    ImageDriveSettings settings;
    if (!Discwright_GetImageDriveSettings(settings))
        Discwright_ConfigureImageDrive(ReadImageDriveSettings(state.settingsFile()));

    LibraryTrace logger;
    DriveFinder finder(logger);
    fillWriterChooser(view, finder);
    const bool anyToReadFrom = fillRestoreDrives(state, view);
    for (const std::string& item : view.items(Control::WriterChooser))
        std::printf("%s\n", item.c_str());
    for (const std::string& item : view.items(Control::RestoreDrive))
        std::printf("%s\n", item.c_str());
    return anyToReadFrom ? Done : Failed;
}

} // namespace

std::optional<int> runDrivesCommand(const std::vector<std::string>& args)
{
    if (args.empty() || args[0] != "drives")
        return std::nullopt;
    if (args.size() != 1) {
        std::fprintf(stderr, "torvinel-cli: drives takes no arguments\n");
        return Failed;
    }
    return withApplication([](Application& a, TerminalView& v) { return drives(v, a.state()); });
}

} // namespace torvinel::cli
