#include "discwriter/DeviceLists.h"

#include "discwriter/TextFormat.h"
#include "discwright/Discwright.h"

namespace torvinel {

namespace {

std::optional<std::string> imageDriveFolder()
{
    ImageDriveSettings settings;
    if (!Discwright_GetImageDriveSettings(settings))
        return std::nullopt;
    return settings.folder;
}

} // namespace

void DeviceChooserInit(View& view, DriveFinder& finder)
{
    view.setVisible(Window::Main, "gbDeviceChooser", false);
    finder.RefreshDevices(view, true);
    std::vector<std::string> items;
    for (const DriveInfo& item : finder.DeviceList().Items)
        items.push_back(Format("%s %s", item.DriveLetter.c_str(), item.Product.c_str()));
    view.setItems("DeviceChooser", items, items.empty() ? -1 : 0);
    if (items.empty())
        view.setEnabled(Window::Main, "BackupButton", false); // the box keeps "Finding Backup devices..."
    if (items.size() > 1)
        view.setVisible(Window::Main, "gbDeviceChooser", true);
}

bool RestoreFromInit(RunState& state, View& view, const std::vector<platform::SystemDrive>& drives,
                     const std::optional<std::string>& imageFolder)
{
    view.setItems("cbRestoreFrom", {}, -1);
    view.setItems("cbAddDisks", {}, -1);
    view.setVisible(Window::Main, "gbRestoreFrom", false);
    view.setVisible(Window::Main, "cbAddDisks", false);

    std::vector<std::string> items;
    for (const platform::SystemDrive& drive : drives) {
        state.WriteLog(Format("Drive : %d", drive.number));
        if (drive.optical)
            items.push_back(drive.root);
    }
    if (imageFolder && !imageFolder->empty())
        items.push_back(*imageFolder);

    view.setItems("cbRestoreFrom", items, items.empty() ? -1 : 0);
    view.setItems("cbAddDisks", items, items.empty() ? -1 : 0);
    if (items.empty()) {
        view.setEnabled(Window::Main, "RestoreButton", false);
        view.setEnabled(Window::Main, "AddDisk", false);
        view.showInformation("You do not have any CD or DVD drives on this computer. Torvinel will exit now.");
        return false;
    }
    view.setVisible(Window::Main, "cbAddDisks", true);
    if (items.size() > 1)
        view.setVisible(Window::Main, "gbRestoreFrom", true);
    return true;
}

bool RestoreFromInit(RunState& state, View& view)
{
    return RestoreFromInit(state, view, platform::systemDrives(), imageDriveFolder());
}

} // namespace torvinel
