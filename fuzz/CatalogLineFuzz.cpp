// Catalog lines as a catalog file from a disc may hold them, one per input line: every line
// is parsed, and every line that is a path a catalog can carry goes through a round trip.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/Error.h"
#include "catalog/CatalogLine.h"
#include "support/FuzzFiles.h"

namespace {

// Facts of a file, drawn from the line so that they vary with the input; the stamp stays
// in the range the platform clamps every stamp to.
torvinel::platform::Stamp stampOf(std::size_t seed)
{
    return {int(1980 + seed % 128), int(1 + seed % 12), int(1 + seed % 28),
            int(seed % 24),         int(seed % 60),     int(seed % 30 * 2)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace torvinel;
    std::vector<std::string_view> lines;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        lines.push_back(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }

    SortedList raw;
    SortedList formatted;
    std::vector<std::string_view> carried;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::string_view path = catalogPathView(line);
        TORVINEL_FUZZ_CHECK(CatalogPath(line) == path);
        TORVINEL_FUZZ_CHECK(path.empty() || (path.data() == line.data() + 1 && path.size() < line.size()));
        try {
            (void)CatalogSize(line);
        } catch (const Error&) {
        }
        raw.add(std::string(line));

        // The line taken as a path of the file system.
        if (!catalogCanCarry(line))
            continue;
        const std::int64_t fileSize = static_cast<std::int64_t>(i * 0x9E3779B97F4A7C15u >> 1) - (i % 3);
        const platform::Stamp stamp = stampOf(line.size() * 31 + i);
        const std::string bare = formatCatalogLine(line, stamp, fileSize, "");
        const std::string digested = formatCatalogLine(line, stamp, fileSize, "0123456789abcdef0123456789abcdef");
        TORVINEL_FUZZ_CHECK(CatalogPath(bare) == line);
        TORVINEL_FUZZ_CHECK(CatalogPath(digested) == line);
        TORVINEL_FUZZ_CHECK(CatalogSize(bare) == fileSize);
        TORVINEL_FUZZ_CHECK(CatalogSize(digested) == fileSize);
        TORVINEL_FUZZ_CHECK(digested.starts_with(bare));
        formatted.add(bare);
        carried.push_back(line);
    }

    for (const std::string_view path : carried)
        TORVINEL_FUZZ_CHECK(StateHasPath(formatted, path).found);
    // Every line that opens with a quote and closes its path is found by that path.
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const std::string& line = raw[i];
        const std::string_view path = catalogPathView(line);
        const StateLookup lookup = StateHasPath(raw, path);
        TORVINEL_FUZZ_CHECK(lookup.position <= raw.size());
        if (line.starts_with('"') && line.find("\",", 1) != std::string::npos)
            TORVINEL_FUZZ_CHECK(lookup.found);
    }
    return 0;
}
