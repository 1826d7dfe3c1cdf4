#pragma once
#include <optional>
#include <string>

namespace torvinel {

// The part of a catalog path below its drive, as the archive names its entry ("home/u/a.txt"):
// nullopt for a path that is not absolute or has an empty, "." or ".." part or a NUL, which
// could land outside the target folder.
std::optional<std::string> entryNameOf(const std::string& path);

} // namespace torvinel
