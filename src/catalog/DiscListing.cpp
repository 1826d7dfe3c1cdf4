#include "catalog/DiscListing.h"

#include "platform/Platform.h"

namespace torvinel {

void ListFiles(const std::string& mask, SortedList& list)
{
    list.clear();
    const std::size_t cut = mask.find_last_of(platform::pathSeparator());
    const std::string folder = cut == std::string::npos ? std::string(".") : mask.substr(0, cut);
    const std::string pattern = cut == std::string::npos ? mask : mask.substr(cut + 1);
    for (auto& entry :
         platform::listFolder(folder.empty() ? std::string(1, platform::pathSeparator()) : folder, pattern))
        list.add(std::move(entry.name));
}

SortedList discFolders(const RunState& state)
{
    SortedList discs;
    for (auto& entry : platform::listFolder(state.DatabaseFolder, "2*"))
        if (entry.isFolder)
            discs.add(std::move(entry.name));
    return discs;
}

void ListDiscs(RunState& state, View& view)
{
    state.DiscList = discFolders(state);
    if (state.DiscList.empty()) {
        view.setItems(Control::DiscList, {}, -1);
        return;
    }
    view.setItems(Control::DiscList, {state.DiscList.front() + " (Oldest)", state.DiscList.back() + " (Newest)"}, 0);
}

} // namespace torvinel
