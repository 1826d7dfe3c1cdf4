// Private stand-ins for helpers that other modules are still writing; removed once they land.
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <ctime>

#include "app/FileHelpers.h"
#include "app/Progress.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace torvinel {
bool WaitUntilFileFree(View& view, const std::string& path)
{
    if (!fs::exists(path))
        return false;
    std::ifstream in(path);
    while (!in) {
        if (!view.askRetryIgnore("Please close the program using \n" + path + "\nand click Retry, or click Ignore"))
            return false;
        in.open(path);
    }
    return true;
}
bool EmptyFolder(const std::string& folder) { return platform::deleteFolderContents(folder); }
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

namespace torvinel::platform {
std::vector<DirEntry> listFolder(const std::string& folder, const std::string& mask)
{
    std::vector<DirEntry> out;
    std::error_code e;
    for (auto it = fs::directory_iterator(folder, e); !e && it != fs::directory_iterator(); it.increment(e)) {
        const std::string name = it->path().filename().string();
        if (matchesMask(name, mask))
            out.push_back({name, it->is_directory(e) && !it->is_symlink(e)});
    }
    return out;
}
bool matchesMask(std::string_view name, std::string_view mask)
{
    if (mask.empty()) return name.empty();
    if (mask[0] == '*') {
        for (std::size_t i = 0; i <= name.size(); ++i)
            if (matchesMask(name.substr(i), mask.substr(1))) return true;
        return false;
    }
    if (name.empty()) return false;
    if (mask[0] != '?' && std::tolower((unsigned char)mask[0]) != std::tolower((unsigned char)name[0])) return false;
    return matchesMask(name.substr(1), mask.substr(1));
}
bool fileExists(const std::string& p) { std::error_code e; return fs::is_regular_file(fs::symlink_status(p, e)); }
bool folderExists(const std::string& p) { std::error_code e; return fs::is_directory(fs::symlink_status(p, e)); }
bool isRegularFile(const std::string& p) { return fileExists(p); }
std::optional<Stamp> lastWriteStamp(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return std::nullopt;
    std::tm t{};
    localtime_r(&st.st_mtime, &t);
    Stamp s{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec / 2 * 2};
    if (s.year < 1980) s = Stamp{};
    if (s.year > 2107) s = Stamp{2107, 12, 31, 23, 59, 58};
    return s;
}
std::optional<int64_t> fileLength(const std::string& p)
{
    std::error_code e;
    auto n = fs::file_size(p, e);
    if (e) return std::nullopt;
    return static_cast<int64_t>(n);
}
bool createFolder(const std::string& p) { std::error_code e; fs::create_directory(p, e); return folderExists(p); }
bool deleteFolderContents(const std::string& f)
{
    std::error_code e;
    for (auto& entry : fs::directory_iterator(f, e)) fs::remove_all(entry.path(), e);
    return !e;
}
bool deleteFolder(const std::string& f) { std::error_code e; return folderExists(f) && fs::remove_all(f, e) > 0 && !e; }
bool deleteFile(const std::string& p) { std::error_code e; return fs::remove(p, e); }
bool copyFile(const std::string& s, const std::string& t)
{
    std::error_code e;
    return fs::copy_file(s, t, fs::copy_options::overwrite_existing, e);
}
std::string applicationDataFolder()
{
    const char* x = std::getenv("XDG_DATA_HOME");
    return x && *x ? x : std::string(std::getenv("HOME")) + "/.local/share";
}
std::string documentsFolder() { return std::string(std::getenv("HOME")) + "/Documents"; }
} // namespace torvinel::platform
