#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "catalog/Md5.h"

namespace torvinel {

// The two blocks libisofs writes after a session's files when it records the session's MD5:
// the checksum array (the MD5 of the session up to the array, the MD5 of those 16 bytes, zeros
// to the block's end) and the session tag, one line of text and zeros:
//   libisofs_checksum_tag_v1 pos=P range_start=S range_size=P-S md5=<MD5 of [S, P)> self=<MD5 of the line up to " self=">
// sessionSoFar is the MD5 state after the session's blocks [sessionStart, arrayBlock).
std::vector<uint8_t> isoSessionChecksums(Md5 sessionSoFar, uint64_t sessionStart, uint64_t arrayBlock);

// The number of blocks isoSessionChecksums makes.
inline constexpr uint64_t IsoSessionChecksumBlocks = 2;

} // namespace torvinel
