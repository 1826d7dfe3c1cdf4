#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace torvinel {

// Plain text files of the program: one entry per line, every line ended by CR LF.
// Reading accepts CR LF and LF; a missing final line end is fine.
std::vector<std::string> readLines(const std::string& path); // raises Error("Could not read " + path)
// Appends the file's bytes to text, read in large blocks; raises Error as readLines does.
void appendFileBytes(const std::string& path, std::string& text);
// Calls onLine(offset, length) for each line of text as readLines cuts them, the line end
// left out.
template <class OnLine> void forEachLine(std::string_view text, OnLine onLine)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::size_t stop = end > start && text[end - 1] == '\r' ? end - 1 : end;
        onLine(start, stop - start);
        start = end + 1;
    }
}
// Written through a temporary file in the same folder and a rename, so a power cut leaves
// the old or the new file. Raises Error("Could not write " + path).
void writeLines(const std::string& path, const std::vector<std::string>& lines);
// The same for lines held elsewhere: eachLine(write) calls write(line) for every line in order.
using LineWrite = std::function<void(std::string_view line)>;
void writeLinesFrom(const std::string& path, const std::function<void(const LineWrite&)>& eachLine);

} // namespace torvinel
