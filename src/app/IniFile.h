#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace torvinel {

// Settings helpers over plain INI files (sections in brackets, key=value, CR LF lines).
// Every call opens the file, acts and closes it; nothing is cached. Section and key names
// are matched without regard to case. Booleans are stored as "1"/"0" (any non-zero integer
// reads as true); an integer that does not parse reads as the default.
// The read-or-create calls write the default under a missing key and return it.
// Writes go through a temporary file and a rename; a file that cannot be written raises
// Error("Could not write " + file).
bool IniReadOrCreateBool(const std::string& file, const std::string& section, const std::string& key,
                         bool defaultValue);
int64_t IniReadOrCreateInteger(const std::string& file, const std::string& section, const std::string& key,
                               int64_t defaultValue);
std::string IniReadOrCreateString(const std::string& file, const std::string& section, const std::string& key,
                                  const std::string& defaultValue);

// The key=value lines of a section, in file order, keys as spelt there; nothing when the file
// or the section is missing. Reads only.
std::vector<std::pair<std::string, std::string>> IniReadSection(const std::string& file, const std::string& section);

void IniWriteBool(const std::string& file, const std::string& section, const std::string& key, bool value);
void IniWriteInteger(const std::string& file, const std::string& section, const std::string& key, int64_t value);
void IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
// The key=value pairs written in their order, as that many IniWriteString calls would leave
// the file, with one write of it.
void IniWriteStrings(const std::string& file, const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& values);

} // namespace torvinel
