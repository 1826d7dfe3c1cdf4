#pragma once
#include <string>

#include "app/RunState.h"
#include "app/View.h"

namespace torvinel {

// The catalog line of a file (catalog/CatalogLine.h), with the MD5 digest when withDigest.
// Empty when the file is not a regular file or does not exist. Empty as well, with a warning
// in the backup progress window and a log line, when the path holds a line break, a carriage
// return or `",`, which a line cannot carry.
std::string MakeCatalogLine(RunState& state, View& view, const std::string& path, bool withDigest);

// The text of that warning; the path's line breaks are shown as \n and \r.
std::string uncarriablePathWarning(const std::string& path);

} // namespace torvinel
