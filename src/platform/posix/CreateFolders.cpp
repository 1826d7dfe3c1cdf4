#include <filesystem>

#include "platform/Platform.h"

namespace torvinel::platform {

bool createFolders(const std::string& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return std::filesystem::is_directory(path, error);
}

} // namespace torvinel::platform
