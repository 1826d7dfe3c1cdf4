#include "catalog/CatalogLine.h"

#include <charconv>
#include <cstdio>

#include "app/Error.h"

namespace torvinel {

std::string formatCatalogLine(std::string_view path, const platform::Stamp& stamp, std::int64_t size,
                              std::string_view digestHex)
{
    char facts[64];
    std::snprintf(facts, sizeof facts, "\",%04d%02d%02d%02d%02d%02d,%lld,", stamp.year, stamp.month, stamp.day,
                  stamp.hour, stamp.minute, stamp.second, static_cast<long long>(size));
    std::string line;
    line.reserve(path.size() + 64);
    line += '"';
    line += path;
    line += facts;
    line += digestHex;
    return line;
}

bool catalogCanCarry(std::string_view path)
{
    return path.find('\n') == std::string_view::npos && path.find('\r') == std::string_view::npos
        && path.find("\",") == std::string_view::npos;
}

std::string_view catalogPathView(std::string_view line)
{
    if (line.empty())
        return {};
    const std::size_t end = line.find("\",", 1);
    if (end == std::string_view::npos)
        return {};
    return line.substr(1, end - 1);
}

std::string CatalogPath(std::string_view line) { return std::string(catalogPathView(line)); }

std::int64_t CatalogSize(std::string_view line)
{
    std::string_view rest = line.size() > 1 ? line.substr(1) : std::string_view();
    std::string_view field;
    const std::size_t pathEnd = rest.find("\",");
    if (pathEnd != std::string_view::npos) {
        rest.remove_prefix(pathEnd + 2);
        const std::size_t stampEnd = rest.find(',');
        if (stampEnd != std::string_view::npos) {
            rest.remove_prefix(stampEnd + 1);
            const std::size_t sizeEnd = rest.find(',');
            if (sizeEnd != std::string_view::npos)
                field = rest.substr(0, sizeEnd);
        }
    }
    std::int64_t size = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), size);
    if (field.empty() || error != std::errc() || end != field.data() + field.size())
        throw Error("'" + std::string(field) + "' is not a valid integer value");
    return size;
}

StateLookup StateHasPath(const SortedList& list, std::string_view path)
{
    std::string key;
    key.reserve(path.size() + 3);
    key += '"';
    key += path;
    key += "\",";
    StateLookup result;
    list.find(key, result.position);
    result.found = result.position < list.size() && platform::samePath(catalogPathView(list[result.position]), path);
    return result;
}

} // namespace torvinel
