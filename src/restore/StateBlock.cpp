#include "restore/StateBlock.h"

#include <algorithm>

#include "catalog/CatalogLine.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

bool beginsWith(std::string_view line, std::string_view prefix)
{
    return line.size() >= prefix.size() && platform::samePath(line.substr(0, prefix.size()), prefix);
}

void sortUnique(std::vector<std::string>& names)
{
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return platform::comparePaths(a, b) < 0; });
    names.erase(std::unique(names.begin(), names.end(),
                            [](const std::string& a, const std::string& b) { return platform::samePath(a, b); }),
                names.end());
}

} // namespace

StateBlock FindStateBlock(const SortedList& state, std::string_view prefix)
{
    StateBlock block;
    if (state.empty())
        return block;
    if (prefix.empty())
        return {true, 0, state.size() - 1};
    std::size_t position = 0;
    state.find(prefix, position);
    if (position >= state.size() || !beginsWith(state[position], prefix))
        return block;
    // The last line that still begins with prefix: the lines that do form one run.
    std::size_t low = position, high = state.size() - 1;
    while (low < high) {
        const std::size_t middle = low + (high - low + 1) / 2;
        if (beginsWith(state[middle], prefix))
            low = middle;
        else
            high = middle - 1;
    }
    return {true, position, low};
}

std::vector<std::string> ListTreeChildren(const SortedList& state, const std::string& prefix)
{
    const char separator = platform::pathSeparator();
    const std::string q = "\"" + prefix;
    std::vector<std::string> folders, files;
    const StateBlock block = FindStateBlock(state, q);
    if (!block.found)
        return {};
    std::size_t i = block.first;
    while (i <= block.last) {
        const std::string_view path = catalogPathView(state[i]);
        // A damaged line (no path, or one that does not reach below prefix) names nothing.
        if (path.size() <= prefix.size()) {
            ++i;
            continue;
        }
        const std::string_view rest = path.substr(prefix.size());
        const std::size_t cut = rest.find(separator);
        if (cut == std::string_view::npos) {
            files.emplace_back(rest);
            ++i;
            continue;
        }
        const std::string_view sub = rest.substr(0, cut + 1);
        folders.emplace_back(rest.substr(0, cut));
        const StateBlock inner = FindStateBlock(state, q + std::string(sub));
        // The whole sub-folder is passed over; a block that somehow ends before i must not
        // hold the walk back.
        i = inner.found ? std::max(inner.last, i) + 1 : i + 1;
    }
    sortUnique(folders);
    sortUnique(files);
    std::vector<std::string> children;
    children.reserve(folders.size() + files.size());
    for (std::string& folder : folders)
        children.push_back(std::move(folder) + separator);
    for (std::string& file : files)
        children.push_back(std::move(file));
    return children;
}

} // namespace torvinel
