#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/SortedList.h"

namespace torvinel {

// The lines of a sorted BackupState that begin with one prefix stand together, so a folder's
// content (or one file's line) is a block found by two binary searches.
struct StateBlock {
    bool found = false;
    std::size_t first = 0;
    std::size_t last = 0;
};

// The block of lines that begin with prefix (compared with the platform's path identity). An
// empty prefix gives the whole list; an empty list never has a block.
StateBlock FindStateBlock(const SortedList& state, std::string_view prefix);

// The children of the folder path prefix ("" for the top level) as the restore tree shows
// them: the sub-folders, each followed by the path separator, then the files; each group
// sorted by the path collation, without duplicates. At the top level the children are the
// drive roots ("/" here, "C:\" on Windows).
std::vector<std::string> ListTreeChildren(const SortedList& state, const std::string& prefix);

} // namespace torvinel
