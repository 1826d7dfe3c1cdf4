#include "recovery/MediumBlocks.h"

#include <algorithm>
#include <cstring>

#include "platform/File.h"
#include "recovery/RecoveryShape.h"

namespace torvinel {

namespace {

class FileMedium : public MediumBlocks {
public:
    FileMedium(platform::File file, uint64_t bytes) : m_file(std::move(file)), m_blocks(bytes / RecoveryBlockSize)
    {
        // A last partial block is still a block: what is missing of it reads as zeros.
        if (bytes % RecoveryBlockSize != 0)
            ++m_blocks;
        m_bytes = bytes;
    }
    uint64_t blocks() const override { return m_blocks; }
    void read(uint64_t first, std::size_t count, uint8_t* out, uint8_t* readable) override
    {
        std::memset(out, 0, count * RecoveryBlockSize);
        const std::size_t inside =
            first >= m_blocks ? 0 : static_cast<std::size_t>(std::min<uint64_t>(count, m_blocks - first));
        std::fill(readable + inside, readable + count, uint8_t{0});
        if (inside == 0)
            return;
        if (readRun(first, inside, out)) {
            std::fill(readable, readable + inside, uint8_t{1});
            return;
        }
        for (std::size_t i = 0; i < inside; ++i) {
            uint8_t* block = out + i * RecoveryBlockSize;
            readable[i] = 0;
            for (int attempt = 0; attempt < 3 && !readable[i]; ++attempt)
                readable[i] = readRun(first + i, 1, block) ? 1 : 0;
            if (!readable[i])
                std::memset(block, 0, RecoveryBlockSize);
        }
    }

private:
    bool readRun(uint64_t first, std::size_t count, uint8_t* out) const
    {
        const uint64_t offset = first * RecoveryBlockSize;
        const auto bytes = static_cast<std::size_t>(std::min<uint64_t>(count * RecoveryBlockSize, m_bytes - offset));
        return m_file.readAt(out, bytes, offset) == static_cast<int64_t>(bytes);
    }

    platform::File m_file;
    uint64_t m_blocks = 0;
    uint64_t m_bytes = 0;
};

class MediumSlice : public MediumBlocks {
public:
    MediumSlice(MediumBlocks& medium, uint64_t first, uint64_t count) : m_medium(medium), m_first(first), m_count(count)
    {
    }
    uint64_t blocks() const override { return m_count; }
    void read(uint64_t first, std::size_t count, uint8_t* out, uint8_t* readable) override
    {
        const std::size_t inside =
            first >= m_count ? 0 : static_cast<std::size_t>(std::min<uint64_t>(count, m_count - first));
        if (inside > 0)
            m_medium.read(m_first + first, inside, out, readable);
        std::memset(out + inside * RecoveryBlockSize, 0, (count - inside) * RecoveryBlockSize);
        std::fill(readable + inside, readable + count, uint8_t{0});
    }

private:
    MediumBlocks& m_medium;
    uint64_t m_first;
    uint64_t m_count;
};

} // namespace

std::unique_ptr<MediumBlocks> openMediumFile(const std::string& path)
{
    platform::File file = platform::File::open(path, platform::FileMode::Read);
    if (!file.isOpen())
        return nullptr;
    const int64_t size = file.size();
    if (size < 0)
        return nullptr;
    return std::make_unique<FileMedium>(std::move(file), static_cast<uint64_t>(size));
}

std::unique_ptr<MediumBlocks> openMediumPart(const std::string& path, uint64_t offset, uint64_t length)
{
    platform::File file = platform::File::openPart(path, offset, length);
    if (!file.isOpen())
        return nullptr;
    return std::make_unique<FileMedium>(std::move(file), length);
}

std::unique_ptr<MediumBlocks> mediumSlice(MediumBlocks& medium, uint64_t first, uint64_t count)
{
    return std::make_unique<MediumSlice>(medium, first, count);
}

} // namespace torvinel
