#pragma once
#include <string>

// Paths travel through the program as UTF-8; Win32 wants UTF-16. Converting at the call
// keeps every name intact whatever the active code page is.
namespace torvinel::platform {

std::wstring wide(const std::string& text);
std::string narrow(const std::wstring& text);

} // namespace torvinel::platform
