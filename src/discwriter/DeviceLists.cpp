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

void fillWriterChooser(View& view, DriveFinder& finder)
{
    view.setVisible(Window::Main, Control::WriterGroup, false);
    finder.RefreshDevices(view, true);
    std::vector<std::string> items;
    for (const DriveInfo& item : finder.DeviceList().Items)
        items.push_back(Format("%s %s", item.DriveLetter.c_str(), item.Product.c_str()));
    view.setItems(Control::WriterChooser, items, items.empty() ? -1 : 0);
    if (items.empty())
        view.setEnabled(Window::Main, Control::BackupButton, false); // the box keeps "Finding Backup devices..."
    if (items.size() > 1)
        view.setVisible(Window::Main, Control::WriterGroup, true);
}

bool fillRestoreDrives(RunState& state, View& view, const std::vector<platform::SystemDrive>& drives,
                       const std::optional<std::string>& imageFolder)
{
    view.setItems(Control::RestoreDrive, {}, -1);
    view.setItems(Control::AddDiscDrive, {}, -1);
    view.setVisible(Window::Main, Control::RestoreDriveGroup, false);
    view.setVisible(Window::Main, Control::AddDiscDrive, false);

    std::vector<std::string> items;
    for (const platform::SystemDrive& drive : drives) {
        state.WriteLog(Format("Drive : %d", drive.number));
        if (drive.optical)
            items.push_back(drive.root);
    }
    if (imageFolder && !imageFolder->empty())
        items.push_back(*imageFolder);

    view.setItems(Control::RestoreDrive, items, items.empty() ? -1 : 0);
    view.setItems(Control::AddDiscDrive, items, items.empty() ? -1 : 0);
    if (items.empty()) {
        view.setEnabled(Window::Main, Control::RestoreButton, false);
        view.setEnabled(Window::Main, Control::AddDiscButton, false);
        view.showInformation("You do not have any CD or DVD drives on this computer. Torvinel will exit now.");
        return false;
    }
    view.setVisible(Window::Main, Control::AddDiscDrive, true);
    if (items.size() > 1)
        view.setVisible(Window::Main, Control::RestoreDriveGroup, true);
    return true;
}

bool fillRestoreDrives(RunState& state, View& view)
{
    return fillRestoreDrives(state, view, platform::systemDrives(), imageDriveFolder());
}

} // namespace torvinel
