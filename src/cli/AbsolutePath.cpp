#include "cli/AbsolutePath.h"

#include <filesystem>

namespace torvinel::cli {

std::string absolutePath(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error || path.empty())
        return path;
    std::string normal = absolute.lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    if (path.back() == '/' && normal != "/")
        normal += '/';
    return normal;
}

} // namespace torvinel::cli
