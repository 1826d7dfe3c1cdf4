#pragma once
#include <string>

namespace torvinel::cli {

// path made absolute against the working folder and without "." and ".." parts; a trailing
// "/" (a folder, for restore) is kept. A path that cannot be made absolute comes back as given.
std::string absolutePath(const std::string& path);

} // namespace torvinel::cli
