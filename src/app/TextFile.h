#pragma once
#include <string>
#include <vector>

namespace torvinel {

// Plain text files of the program: one entry per line, every line ended by CR LF.
// Reading accepts CR LF and LF; a missing final line end is fine.
std::vector<std::string> readLines(const std::string& path); // raises Error("Could not read " + path)
// Written through a temporary file in the same folder and a rename, so a power cut leaves
// the old or the new file. Raises Error("Could not write " + path).
void writeLines(const std::string& path, const std::vector<std::string>& lines);

} // namespace torvinel
