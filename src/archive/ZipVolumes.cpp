#include "archive/internal/ZipVolumes.h"

#include <cstdio>

namespace torvinel::zipvolumes {

namespace {

struct Parts {
    std::string stem;      // dir/base
    std::string extension; // ".ext" or empty
};

Parts split(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {path, {}};
    return {path.substr(0, dot), path.substr(dot)};
}

} // namespace

std::string advancedName(const std::string& archivePath, uint32_t number)
{
    const Parts parts = split(archivePath);
    char digits[16];
    std::snprintf(digits, sizeof digits, "_%.3u", number);
    return parts.stem + digits + parts.extension;
}

std::string classicName(const std::string& archivePath, uint32_t number, bool upperCase)
{
    const Parts parts = split(archivePath);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, upperCase ? ".Z%.2u" : ".z%.2u", number);
    return parts.stem + suffix;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

} // namespace torvinel::zipvolumes
