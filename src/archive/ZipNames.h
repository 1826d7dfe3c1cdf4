#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Entry names: wildcard masks, the attribute filter, name encodings and the check that
// keeps extraction inside its folder.
namespace torvinel::zipnames {

// Case-insensitive (ASCII letters) wildcard match of a whole text: "*" matches any run of
// characters, separators included, "?" one character; the mask "*.*" means "*".
bool wildcardMatch(std::string_view text, std::string_view mask);
bool hasWildcards(std::string_view mask);

// The attribute filter: an item passes unless it has one of the hidden, system,
// volume-label or folder bits that the filter lacks.
bool passesAttributeFilter(uint32_t dosAttributes, uint32_t filter);

bool isAscii(std::string_view text);
bool isValidUtf8(std::string_view text);
// Bytes of code page 437 as UTF-8 (ASCII is unchanged).
std::string cp437ToUtf8(std::string_view text);

// The part after the last "/".
std::string_view fileNamePart(std::string_view name);

// An entry name cleaned for use below a folder: empty and "." components dropped, "\" a
// separator too when backslashSeparates. nullopt when the name is absolute, starts with a
// drive letter or a network prefix, or has a ".." component: such a name would reach
// outside the folder.
std::optional<std::string> safeRelativeName(std::string_view name, bool backslashSeparates = true);

} // namespace torvinel::zipnames
