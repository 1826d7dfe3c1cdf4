#include "app/TextFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/Error.h"
#include "platform/Platform.h"

namespace torvinel {

std::vector<std::string> readLines(const std::string& path)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        throw Error("Could not read " + path); // a folder would read as an empty file
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error("Could not read " + path);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw Error("Could not read " + path);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        const bool last = end == std::string::npos;
        if (last)
            end = content.size();
        std::size_t stop = end;
        if (stop > start && content[stop - 1] == '\r')
            --stop;
        lines.emplace_back(content, start, stop - start);
        start = end + 1;
    }
    return lines;
}

void writeLines(const std::string& path, const std::vector<std::string>& lines)
{
    const std::string temporary = path + ".tmp";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out)
        throw Error("Could not write " + path);
    bool ok = true;
    for (const auto& line : lines) {
        ok = ok && std::fwrite(line.data(), 1, line.size(), out) == line.size();
        ok = ok && std::fwrite("\r\n", 1, 2, out) == 2;
    }
    ok = std::fflush(out) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    if (!ok || !platform::replaceFile(temporary, path)) {
        std::remove(temporary.c_str());
        throw Error("Could not write " + path);
    }
}

} // namespace torvinel
