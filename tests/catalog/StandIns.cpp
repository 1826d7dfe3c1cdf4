// Private stand-ins for helpers that other modules are still writing; removed once they land.
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <ctime>

#include "app/Progress.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace torvinel {
void ShowBackupProgress(View& view, const std::string& caption, const std::string& phaseText,
                        const std::string& extraText, const std::string& messageText, int phasePosition,
                        int extraPosition)
{
    if (!caption.empty()) view.setText(Window::BackupProgress, "gbProgressbars", caption);
    if (!phaseText.empty()) view.setText(Window::BackupProgress, "LPhase", phaseText);
    if (!extraText.empty()) view.setText(Window::BackupProgress, "LExtra", extraText);
    if (!messageText.empty()) view.setText(Window::BackupProgress, "lMessage", messageText);
    if (phasePosition >= 0) view.setPosition(Window::BackupProgress, "pbPhase", phasePosition);
    if (extraPosition >= 0) view.setPosition(Window::BackupProgress, "pbExtra", extraPosition);
    view.processEvents();
}
} // namespace torvinel

