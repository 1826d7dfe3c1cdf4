#pragma once
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "recovery/RecoveryFile.h"

namespace torvinel::test {

// A copy of a recovery file's header made by hand, as no writer would: its fields as given,
// crcs block CRCs (zeros) whatever the counts say, its own CRC right, padded to whole blocks
// with its length at its end.
inline std::string recoveryHeaderBytes(const RecoveryShape& shape, const std::vector<ProtectedFile>& files,
                                       uint64_t dataBlocks, uint32_t parityBlocks, uint64_t crcs)
{
    std::string out = "TORVREC1";
    const auto put = [&out](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>(value >> (8 * i));
    };
    for (const uint64_t value : {uint64_t{1}, uint64_t{RecoveryBlockSize}, uint64_t(shape.dataShards),
                                 uint64_t(shape.parityShards), uint64_t{shape.width}, uint64_t{files.size()}})
        put(value, 4);
    put(dataBlocks, 8);
    put(parityBlocks, 4);
    for (const ProtectedFile& file : files) {
        put(file.name.size(), 4);
        out += file.name;
        put(file.size, 8);
        out.append(reinterpret_cast<const char*>(file.md5.data()), file.md5.size());
    }
    out.append(4 * crcs, '\0');
    put(crc32(0, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size())), 4);
    const std::size_t total = (out.size() + 8 + RecoveryBlockSize - 1) / RecoveryBlockSize * RecoveryBlockSize;
    out.resize(total - 8, '\0');
    put(total, 8);
    return out;
}

// A header of 2^62 data blocks: 512 files of 2^64 - 2048 bytes (2^53 - 1 blocks each) and one
// of 512 blocks. 16 + 64 rows 2048 wide give it 2^64 parity blocks, 0 in 64 bits, and its 4
// bytes of CRC per block come to 2^64 bytes, 0 again: a reader that multiplies before it
// bounds finds room for them all.
inline std::string wrappingRecoveryHeader()
{
    std::vector<ProtectedFile> files;
    for (int i = 0; i < 512; ++i)
        files.push_back({std::to_string(1000 + i) + ".zip", ~uint64_t{0} - 2047, {}});
    files.push_back({"last.zip", 512 * RecoveryBlockSize, {}});
    return recoveryHeaderBytes({16, 64, 2048}, files, uint64_t{1} << 62, 0, 0);
}

} // namespace torvinel::test
