#pragma once
#include <array>
#include <string_view>

namespace torvinel {

// The items of the Advanced page's speed lists. The settings keep a position in these lists,
// not a speed.
inline constexpr std::array<std::string_view, 17> CDSpeedItems = {"Maximum", "1X",  "2X",  "2.2X", "3X",  "4X",
                                                                  "6X",      "8X",  "10X", "12X",  "16X", "20X",
                                                                  "24X",     "40X", "44X", "48X",  "52X"};
inline constexpr std::array<std::string_view, 11> DVDSpeedItems = {"Maximum", "1X", "2X", "2.4X", "3X", "4X",
                                                                   "5X",      "6X", "8X", "12X",  "16X"};

} // namespace torvinel
