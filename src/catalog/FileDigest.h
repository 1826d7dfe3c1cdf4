#pragma once
#include <string>

#include "catalog/Md5.h"

namespace torvinel {

// MD5 of a file's whole content, read front to back in large blocks. A file that cannot be
// opened, or whose reading fails part way, gives the digest of no bytes (which for an empty
// file is its correct digest).
Md5Digest FileDigest(const std::string& path);

// The 16 bytes in order as 32 lowercase hexadecimal digits, high half of each byte first.
std::string DigestHex(const Md5Digest& digest);

} // namespace torvinel
