#pragma once
#include <cstdint>
#include <string>

#include "app/View.h"

namespace torvinel {

// The file's length in bytes (64-bit). A file held open elsewhere is waited for through
// WaitUntilFileFree; when it stays busy (Ignore) or is missing, the backup progress window's
// MessageText shows "Warning: Could not find file " + path, when it may not be read (no
// permission) "Warning: Could not read file " + path, and the length is 0.
std::int64_t GetFileLength(View& view, const std::string& path);

} // namespace torvinel
