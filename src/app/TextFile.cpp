#include "app/TextFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/Error.h"
#include "platform/Platform.h"

namespace torvinel {

void appendFileBytes(const std::string& path, std::string& text)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        throw Error("Could not read " + path); // a folder would read as an empty file
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error("Could not read " + path);
    // The size is a hint that lets one read take the whole file; a file that grows meanwhile
    // still reads to its end.
    constexpr std::size_t moreBlock = 64 * 1024;
    const auto expected = std::filesystem::file_size(path, error);
    std::size_t block = error ? moreBlock : static_cast<std::size_t>(expected) + 1;
    for (;;) {
        const std::size_t start = text.size();
        text.resize(start + block);
        in.read(text.data() + start, static_cast<std::streamsize>(block));
        text.resize(start + static_cast<std::size_t>(in.gcount()));
        if (!in)
            break;
        block = moreBlock;
    }
    if (in.bad())
        throw Error("Could not read " + path);
}

std::vector<std::string> readLines(const std::string& path)
{
    std::string content;
    appendFileBytes(path, content);
    std::vector<std::string> lines;
    forEachLine(content, [&](std::size_t start, std::size_t length) { lines.emplace_back(content, start, length); });
    return lines;
}

void writeLines(const std::string& path, const std::vector<std::string>& lines)
{
    writeLinesFrom(path, [&lines](const LineWrite& write) {
        for (const auto& line : lines)
            write(line);
    });
}

void writeLinesFrom(const std::string& path, const std::function<void(const LineWrite&)>& eachLine)
{
    const std::string temporary = path + ".tmp";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out)
        throw Error("Could not write " + path);
    // A large buffer: a state of a million lines goes out in few writes.
    std::setvbuf(out, nullptr, _IOFBF, 1 << 20);
    bool ok = true;
    eachLine([&](std::string_view line) {
        ok = ok && std::fwrite(line.data(), 1, line.size(), out) == line.size();
        ok = ok && std::fwrite("\r\n", 1, 2, out) == 2;
    });
    ok = std::fflush(out) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    if (!ok || !platform::replaceFile(temporary, path)) {
        std::remove(temporary.c_str());
        throw Error("Could not write " + path);
    }
}

} // namespace torvinel
