#pragma once
#include <string_view>

namespace torvinel {

// Whether a relative name, '/' between its parts, names something inside the folder it is
// joined to: it is not empty, and no part of it is empty, "." or "..", or holds a NUL (which
// would cut the name short where the system reads it). Other characters are the caller's to
// judge.
bool staysInsideFolder(std::string_view name);

// Whether a path inside a disc ("<DiscId>/<file>", or a name in a disc's folder) stays inside
// it: staysInsideFolder, and without a backslash, which Windows takes for a separator.
bool safeDiscPath(std::string_view path);

} // namespace torvinel
