#include "app/View.h"

namespace torvinel {

RunOptions View::options() const
{
    RunOptions o;
    o.md5 = isChecked(Control::Md5Check);
    o.verify = isChecked(Control::VerifyCheck);
    o.cdSpeedIndex = selectedIndex(Control::CdSpeed);
    o.dvdSpeedIndex = selectedIndex(Control::DvdSpeed);
    o.writerIndex = selectedIndex(Control::WriterChooser);
    o.restoreDriveIndex = selectedIndex(Control::RestoreDrive);
    o.backupSetIndex = selectedIndex(Control::BackupSetChooser);
    return o;
}

void View::showInformation(const std::string& text, const std::vector<std::string>& details)
{
    std::string all = text + "\n";
    for (const std::string& line : details)
        all += "\n" + line;
    showInformation(all);
}

} // namespace torvinel
