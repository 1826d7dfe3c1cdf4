#include <filesystem>

#include "platform/Platform.h"
#include "platform/windows/WideText.h"

namespace torvinel::platform {

bool createFolders(const std::string& path)
{
    const std::filesystem::path folder(wide(path)); // UTF-8 names, whatever the code page
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

} // namespace torvinel::platform
