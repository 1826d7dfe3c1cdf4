#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/SortedList.h"
#include "platform/Platform.h"

namespace torvinel {

// A catalog line, one per archived file:
//
//   "<path>",<stamp>,<size>,<digest>
//
//   path    the full path as the file system gave it, between double quotes, no escaping;
//           the path ends at the first `",` of the line
//   stamp   14 digits yyyymmddhhnnss, local last-write time, even seconds, 1980..2107
//   size    the length in bytes, decimal
//   digest  32 lowercase hexadecimal digits of the content's MD5, or nothing
//
// The comma after the size is always written, so a line without digest is a prefix of the
// same file's line with digest, and a size of 12 never passes for a size of 123.
// Catalog files hold such lines sorted, each ended by CR LF.
inline constexpr std::size_t catalogStampLength = 14;
inline constexpr std::size_t digestHexLength = 32;

// The line of a file with the given facts; digestHex may be empty.
std::string formatCatalogLine(std::string_view path, const platform::Stamp& stamp, std::int64_t size,
                              std::string_view digestHex);

// False for paths a line cannot carry: a line break, a carriage return, or `",` (which
// would end the path early). Such files are skipped with a warning.
bool catalogCanCarry(std::string_view path);

// The characters from the second up to the first `",`; empty when the line has no `",`.
std::string CatalogPath(std::string_view line);
// The same without a copy; the view points into line.
std::string_view catalogPathView(std::string_view line);

// The size field. Raises Error when the line has no comma after the size or the field is
// not a decimal number.
std::int64_t CatalogSize(std::string_view line);

// Looks path up in a sorted list of catalog lines. position is where the path's line stands
// or would be inserted; found when that line exists and holds the same path (the platform's
// path identity).
struct StateLookup {
    bool found = false;
    std::size_t position = 0;
};
StateLookup StateHasPath(const SortedList& list, std::string_view path);

} // namespace torvinel
