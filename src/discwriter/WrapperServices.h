#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/View.h"

// Small services around the disc library.
namespace torvinel {

// The library version the program was made for.
constexpr uint32_t ExpectedLibraryVersion = 0x20060630;

// Compares the library's version with the expected one. Equal: nothing to say (the log
// records the version, see libraryVersionText). Different: a complaint on the debugger
// output and in an error box. The program goes on either way; the result tells whether
// they matched.
bool CheckLibraryVersion(View& view, uint32_t version);
bool CheckLibraryVersion(View& view);

// "Discwright : <the library's file> version : 0x20060630", for the log.
std::string libraryVersionText();

// The characters of buffer up to, not including, its first NUL, but at most size.
std::string BufferText(const char* buffer, std::size_t size);

// Appends text and a line break to file, creating it when missing; flushed and closed.
// Raises Error("Could not write " + file) when that fails.
void AppendLine(const std::string& file, const std::string& text);

// The file name of path without its folder and without its extension (from its last dot).
std::string NameWithoutExtension(const std::string& path);

} // namespace torvinel
