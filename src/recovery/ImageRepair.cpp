#include "recovery/ImageRepair.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace torvinel {

namespace {

constexpr std::size_t ReadRun = 64; // blocks read at a time; a group of codewords reads its rows as such runs

// The last run read of a medium, so that blocks asked for one after the other are read together.
class RunCache {
public:
    RunCache(MediumBlocks& medium, uint64_t limit) : m_medium(medium), m_limit(limit) { }
    // Block into out; false when it could not be read.
    bool get(uint64_t block, uint8_t* out)
    {
        if (block < m_first || block >= m_first + m_count) {
            m_first = block;
            m_count =
                static_cast<std::size_t>(std::min<uint64_t>(ReadRun, std::max<uint64_t>(m_limit, block + 1) - block));
            m_medium.read(m_first, m_count, m_data.data(), m_readable.data());
        }
        const std::size_t at = static_cast<std::size_t>(block - m_first);
        std::memcpy(out, m_data.data() + at * RecoveryBlockSize, RecoveryBlockSize);
        return m_readable[at] != 0;
    }

private:
    MediumBlocks& m_medium;
    uint64_t m_limit; // runs do not reach past it
    uint64_t m_first = 0;
    std::size_t m_count = 0;
    std::vector<uint8_t> m_data = std::vector<uint8_t>(ReadRun * RecoveryBlockSize);
    std::vector<uint8_t> m_readable = std::vector<uint8_t>(ReadRun);
};

class MediumCodeBlocks : public RecoveryBlocks {
public:
    MediumCodeBlocks(const ImageRecovery& recovery, MediumBlocks& medium, const RepairedBlock& put,
                     const std::function<bool(uint64_t)>& wanted)
        : m_recovery(recovery),
          m_layout(recovery.layout),
          m_data(medium, recovery.layout.recoveryStart()),
          m_parity(medium, recovery.layout.recoveryStart() + recovery.layout.recoveryBlocks),
          m_put(put),
          m_wanted(wanted)
    {
    }
    bool data(uint64_t index, uint8_t* out) override
    {
        const bool sound = m_data.get(m_layout.sessionStart + index, out) && matches(index, out);
        if (sound && m_put)
            m_put(index, out);
        return sound;
    }
    bool parity(uint64_t index, uint8_t* out) override
    {
        const uint64_t position = m_layout.parityPosition(index);
        return m_parity.get(m_layout.recoveryStart() + position, out) && matches(m_layout.dataEntries() + index, out);
    }
    void rebuilt(uint64_t index, const uint8_t* block) override
    {
        if (m_put)
            m_put(index, block);
    }
    bool wanted(uint64_t, uint32_t column) override { return !m_wanted || m_wanted(column); }

private:
    bool matches(uint64_t entry, const uint8_t* block) const
    {
        return m_recovery.crcKnown[entry] && m_recovery.crcs[entry] == recoveryBlockCrc(block);
    }

    const ImageRecovery& m_recovery;
    const ImageRecoveryLayout& m_layout;
    RunCache m_data;
    RunCache m_parity;
    const RepairedBlock& m_put;
    const std::function<bool(uint64_t)>& m_wanted;
};

} // namespace

RepairCount repairImage(const ImageRecovery& recovery, MediumBlocks& medium, const RepairedBlock& put,
                        const std::function<bool(uint64_t codeword)>& wanted)
{
    MediumCodeBlocks blocks(recovery, medium, put, wanted);
    return repairBlocks(recovery.layout.shape, recovery.layout.protectedBlocks, blocks);
}

std::function<bool(uint64_t codeword)> codewordsOf(const ImageRecoveryLayout& layout, uint64_t first, uint64_t count)
{
    const uint64_t width = layout.codewords();
    if (count >= width)
        return [](uint64_t) { return true; };
    const uint64_t from = first % width;
    const uint64_t to = (first + count) % width; // past the last; may have wrapped round
    return [from, to, count](uint64_t codeword) {
        if (count == 0)
            return false;
        return from < to ? codeword >= from && codeword < to : codeword >= from || codeword < to;
    };
}

std::optional<RecoveryDamage> assessImage(const ImageRecovery& recovery, MediumBlocks& medium,
                                          const std::function<bool()>& cancelled)
{
    const ImageRecoveryLayout& layout = recovery.layout;
    DamageTally tally(layout.shape, layout.protectedBlocks);
    constexpr std::size_t Run = 256;
    std::vector<uint8_t> data(Run * RecoveryBlockSize), readable(Run);
    std::vector<uint8_t> lostBlock(layout.protectedBlocks, 0);
    uint64_t lostParity = 0;
    const auto sound = [&](uint64_t entry, std::size_t i) {
        return readable[i] && recovery.crcKnown[entry]
            && recovery.crcs[entry] == recoveryBlockCrc(data.data() + i * RecoveryBlockSize);
    };
    for (uint64_t first = 0; first < layout.protectedBlocks; first += Run) {
        if (cancelled && cancelled())
            return std::nullopt;
        const auto count = static_cast<std::size_t>(std::min<uint64_t>(Run, layout.protectedBlocks - first));
        medium.read(layout.sessionStart + first, count, data.data(), readable.data());
        for (std::size_t i = 0; i < count; ++i)
            if (!sound(first + i, i)) {
                tally.lostData(first + i);
                lostBlock[first + i] = 1;
            }
    }
    for (uint64_t first = 0; first < layout.recoveryBlocks; first += Run) {
        if (cancelled && cancelled())
            return std::nullopt;
        const auto count = static_cast<std::size_t>(std::min<uint64_t>(Run, layout.recoveryBlocks - first));
        medium.read(layout.recoveryStart() + first, count, data.data(), readable.data());
        for (std::size_t i = 0; i < count; ++i) {
            const uint64_t position = first + i;
            if (layout.isMetadata(position))
                continue; // counted as the recovery data was read
            const uint64_t parity = layout.parityIndex(position);
            if (!sound(layout.dataEntries() + parity, i)) {
                tally.lostParity(parity);
                ++lostParity;
            }
        }
    }
    RecoveryDamage damage = tally.result();
    damage.lostParity = lostParity;
    damage.lostMetadata = recovery.metadataLost;
    damage.blocks += layout.metadataBlocks();
    damage.lost += recovery.metadataLost;
    // Which files lost blocks; a lost block no file holds is the file tree's.
    std::vector<uint8_t> inFile(layout.protectedBlocks, 0);
    if (recovery.fixed)
        for (const PlacedRecoveryFile& file : recovery.fixed->files) {
            const uint64_t from = recovery.firstIndex(file);
            bool damaged = false;
            for (uint64_t i = from; i < from + file.blocks(); ++i) {
                inFile[i] = 1;
                damaged = damaged || lostBlock[i];
            }
            if (damaged)
                damage.damagedFiles.push_back(file.name);
        }
    for (uint64_t i = 0; i < layout.protectedBlocks; ++i)
        damage.lostOutsideFiles += lostBlock[i] && !inFile[i] ? 1 : 0;
    return damage;
}

} // namespace torvinel
