#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "backup/DiscMedia.h"
#include "backup/SelectionSize.h"

// The sizes of the backup tree and the selection's total as the Backup page shows them.
namespace torvinel {

// A count with thousands separated: "1,234,567".
std::string countText(int64_t count);

// A size in bytes for people, in steps of 1024: "512 bytes", "1.2 KB", "340 MB", "5.6 GB".
// One decimal below 100 of a unit, none from there on.
std::string sizeText(int64_t bytes);

// The selection's total once counted: "Selected: 1,234 files, 5.6 GB — about 2 DVDs", with
// one "about" figure per media ("about 9 CDs or 2 DVDs"); "Selected: nothing" without files.
std::string selectedText(const SelectionSize& size, const std::vector<DiscMedia>& media);

// The total while it is being counted: "Counting… 12,345 files, 3.4 GB so far".
std::string countingText(const SelectionSize& size);

} // namespace torvinel
