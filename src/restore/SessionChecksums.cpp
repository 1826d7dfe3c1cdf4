#include "restore/internal/SessionChecksums.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "catalog/FileDigest.h"

namespace torvinel {

std::vector<uint8_t> isoSessionChecksums(Md5 sessionSoFar, uint64_t sessionStart, uint64_t arrayBlock)
{
    constexpr std::size_t Block = 2048;
    std::vector<uint8_t> blocks(IsoSessionChecksumBlocks * Block, 0);
    Md5 untilArray = sessionSoFar;
    const Md5Digest session = untilArray.final();
    std::memcpy(blocks.data(), session.data(), 16);
    const Md5Digest ofSession = md5(session.data(), session.size());
    std::memcpy(blocks.data() + 16, ofSession.data(), 16);
    sessionSoFar.update(blocks.data(), Block);

    const uint64_t tagBlock = arrayBlock + 1;
    char head[160];
    std::snprintf(head, sizeof head, "libisofs_checksum_tag_v1 pos=%llu range_start=%llu range_size=%llu md5=",
                  static_cast<unsigned long long>(tagBlock), static_cast<unsigned long long>(sessionStart),
                  static_cast<unsigned long long>(tagBlock - sessionStart));
    const std::string line = head + DigestHex(sessionSoFar.final());
    const Md5Digest self = md5(line.data(), line.size());
    const std::string tag = line + " self=" + DigestHex(self) + "\n";
    std::memcpy(blocks.data() + Block, tag.data(), tag.size());
    return blocks;
}

} // namespace torvinel
