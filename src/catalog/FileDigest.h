#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "catalog/Md5.h"

namespace torvinel {

// MD5 of a file's whole content, read front to back in large blocks. A file that cannot be
// opened, or whose reading fails part way, gives the digest of no bytes (which for an empty
// file is its correct digest).
Md5Digest FileDigest(const std::string& path);

// The 16 bytes in order as 32 lowercase hexadecimal digits, high half of each byte first.
std::string DigestHex(const Md5Digest& digest);

// The digest written as 32 hexadecimal digits (either letter case); nullopt for anything else.
std::optional<Md5Digest> DigestFromHex(std::string_view hex);

} // namespace torvinel
