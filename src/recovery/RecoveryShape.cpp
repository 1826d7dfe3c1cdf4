#include "recovery/RecoveryShape.h"

#include <algorithm>

namespace torvinel {

RecoveryShape recoveryShape(uint64_t dataBlocks, int percent)
{
    percent = std::clamp(percent, 1, 50);
    RecoveryShape shape;
    // Parity m of k + m blocks is percent: m = k * percent / (100 - percent), rounded up so the
    // share is never less than asked.
    const auto parityFor = [percent](int k) { return std::max(1, (k * percent + (100 - percent) - 1) / (100 - percent)); };
    int k = 255 * (100 - percent) / 100;
    while (k + parityFor(k) > 255)
        --k;
    if (dataBlocks < static_cast<uint64_t>(k))
        k = std::max(1, static_cast<int>(dataBlocks));
    shape.dataShards = k;
    shape.parityShards = parityFor(k);
    // As few stripes as the widest allows, all of one width: a last stripe of the full width
    // would give a little data the parity of much.
    const uint64_t codewords = (std::max<uint64_t>(dataBlocks, 1) + k - 1) / k;
    const uint64_t stripes = (codewords + RecoveryMaxWidth - 1) / RecoveryMaxWidth;
    shape.width = static_cast<uint32_t>((codewords + stripes - 1) / stripes);
    return shape;
}

} // namespace torvinel
