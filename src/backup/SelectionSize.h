#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace torvinel {

// How much a backup of a selection would read: its files and their bytes.
struct SelectionSize {
    int64_t files = 0;
    int64_t bytes = 0;
    bool operator==(const SelectionSize&) const = default;
};

// What to count: each ticked path with everything below it, minus the unticked paths and
// the excluded folders (ExcludedFolders: the program's own folders, the hidden mounts, the
// image drive's folder), the way a backup run walks them.
struct SizeRequest {
    std::vector<std::string> ticked = {};
    std::vector<std::string> unticked = {};
    std::vector<std::string> excluded = {};
};

// How the walk reports while it runs. Both are called on the walking thread.
struct SizeWalkHooks {
    // The totals so far, at most once per interval (and not at the end).
    std::function<void(const SelectionSize&)> progress = {};
    std::chrono::milliseconds interval{200};
    // Each path just before the walk looks at it; tests slow or stop the walk here.
    std::function<void(const std::string& path)> visiting = {};
};

// Counts the files a backup of the request would take, as getFQFullList would hand them to
// the run: a ticked symbolic link is followed, links met inside folders are not; FIFOs,
// sockets, devices, names a catalog line cannot carry and what lies in an excluded folder
// are left out; a file that cannot be opened for reading, or a folder that cannot be listed,
// counts as nothing. A path that does not exist counts as nothing.
// Checks stop before each entry: returns nullopt once a stop was requested, so a walk of a
// large tree ends within one entry of the request. Never throws for what it finds on disk.
[[nodiscard]] std::optional<SelectionSize> countSelection(const SizeRequest& request, std::stop_token stop,
                                                          const SizeWalkHooks& hooks = {});

} // namespace torvinel
