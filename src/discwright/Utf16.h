#pragma once
#include <string>

namespace torvinel {

// UTF-8 <-> UTF-16 for Joliet names and the collision record. A byte that does not start a
// valid UTF-8 sequence becomes "_".
std::u16string utf8ToUtf16(const std::string& text);
std::string utf16ToUtf8(const std::u16string& text);

} // namespace torvinel
