// A split archive as a disc set may hold it: the input is cut into two or three volumes,
// named as the engine looks for them, and the last is opened, listed and extracted.
//
// Input: one byte (bit 0: three volumes instead of two; bit 1: volumes named base.z01 instead
// of base_001.zip), the lengths of the volumes before the last (32-bit little-endian each),
// then the bytes of all volumes in order.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sys/stat.h>

#include "archive/internal/ZipVolumes.h"
#include "support/FuzzZip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace torvinel;
    using namespace torvinel::fuzz;
    if (size < 1)
        return 0;
    const unsigned volumes = (data[0] & 1) ? 3 : 2;
    const bool classic = (data[0] & 2) != 0;
    const std::size_t header = 1 + 4 * (volumes - 1);
    if (size < header)
        return 0;
    const std::string folder = freshFolder("split");
    const std::string last = folder + "/base.zip";
    std::string_view rest(reinterpret_cast<const char*>(data + header), size - header);
    for (unsigned v = 0; v + 1 < volumes; ++v) {
        const uint8_t* l = data + 1 + 4 * v;
        const std::size_t length =
            std::min<std::size_t>(rest.size(), l[0] | (l[1] << 8) | (l[2] << 16) | (uint32_t(l[3]) << 24));
        const std::string name =
            classic ? zipvolumes::classicName(last, v + 1, false) : zipvolumes::advancedName(last, v + 1);
        writeFile(name, rest.substr(0, length));
        ::chmod(name.c_str(), 0444);
        rest.remove_prefix(length);
    }
    writeFile(last, rest);
    ::chmod(last.c_str(), 0444);
    readWholeArchive(last, folder + "/out");
    return 0;
}
