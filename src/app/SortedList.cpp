#include "app/SortedList.h"

#include <algorithm>

#include "app/Error.h"
#include "app/TextFile.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

constexpr std::size_t kBlockTarget = 512; // lines per block after a split or a load
constexpr std::size_t kBlockLimit = 2 * kBlockTarget;

bool less(std::string_view a, std::string_view b) { return platform::comparePaths(a, b) < 0; }

} // namespace

// Lines are kept in blocks of at most kBlockLimit lines, blocks in order. A Fenwick tree over
// the block sizes turns a position into (block, offset) and back in O(log blocks), so one
// insert or delete costs a binary search plus moving at most one block's lines.
struct SortedList::Blocks {
    std::vector<std::vector<std::string>> blocks;
    std::vector<std::size_t> fenwick; // 1-based over block sizes
    std::size_t total = 0;

    void rebuild()
    {
        fenwick.assign(blocks.size() + 1, 0);
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            for (std::size_t j = i + 1; j <= blocks.size(); j += j & (~j + 1))
                fenwick[j] += blocks[i].size();
        }
    }
    void adjust(std::size_t block, long delta)
    {
        for (std::size_t j = block + 1; j < fenwick.size(); j += j & (~j + 1))
            fenwick[j] += delta;
        total += delta;
    }
    // Number of lines in the blocks before this one.
    std::size_t startOf(std::size_t block) const
    {
        std::size_t sum = 0;
        for (std::size_t j = block; j > 0; j -= j & (~j + 1))
            sum += fenwick[j];
        return sum;
    }
    // The block holding position, and the position's offset in it.
    std::pair<std::size_t, std::size_t> locate(std::size_t position) const
    {
        std::size_t block = 0;
        std::size_t step = 1;
        while (step * 2 < fenwick.size())
            step *= 2;
        for (; step > 0; step /= 2) {
            if (block + step < fenwick.size() && fenwick[block + step] <= position) {
                block += step;
                position -= fenwick[block];
            }
        }
        return {block, position};
    }
    // First block whose last line is not less than text (blocks.size() when none).
    std::size_t blockFor(std::string_view text) const
    {
        auto it =
            std::lower_bound(blocks.begin(), blocks.end(), text,
                             [](const std::vector<std::string>& b, std::string_view t) { return less(b.back(), t); });
        return static_cast<std::size_t>(it - blocks.begin());
    }
    void assignSorted(std::vector<std::string> lines)
    {
        blocks.clear();
        total = lines.size();
        for (std::size_t i = 0; i < lines.size(); i += kBlockTarget) {
            const std::size_t end = std::min(lines.size(), i + kBlockTarget);
            blocks.emplace_back(std::make_move_iterator(lines.begin() + i),
                                std::make_move_iterator(lines.begin() + end));
        }
        rebuild();
    }
};

SortedList::SortedList() : m_blocks(std::make_unique<Blocks>()) { }
SortedList::~SortedList() = default;
SortedList::SortedList(SortedList&&) noexcept = default;
SortedList& SortedList::operator=(SortedList&&) noexcept = default;
SortedList::SortedList(const SortedList& other) : m_blocks(std::make_unique<Blocks>(*other.m_blocks)) { }
SortedList& SortedList::operator=(const SortedList& other)
{
    if (this != &other)
        m_blocks = std::make_unique<Blocks>(*other.m_blocks);
    return *this;
}

std::size_t SortedList::size() const { return m_blocks->total; }

const std::string& SortedList::operator[](std::size_t position) const
{
    const auto [block, offset] = m_blocks->locate(position);
    return m_blocks->blocks[block][offset];
}

bool SortedList::find(std::string_view text, std::size_t& position) const
{
    const Blocks& b = *m_blocks;
    const std::size_t block = b.blockFor(text);
    if (block == b.blocks.size()) {
        position = b.total;
        return false;
    }
    const auto& lines = b.blocks[block];
    auto it = std::lower_bound(lines.begin(), lines.end(), text,
                               [](const std::string& line, std::string_view t) { return less(line, t); });
    position = b.startOf(block) + static_cast<std::size_t>(it - lines.begin());
    return it != lines.end() && platform::comparePaths(*it, text) == 0;
}

bool SortedList::contains(std::string_view text) const
{
    std::size_t position = 0;
    return find(text, position);
}

std::size_t SortedList::add(std::string text)
{
    Blocks& b = *m_blocks;
    if (b.blocks.empty()) {
        b.blocks.push_back({std::move(text)});
        b.total = 1;
        b.rebuild();
        return 0;
    }
    std::size_t block = b.blockFor(text);
    if (block == b.blocks.size())
        block = b.blocks.size() - 1; // greater than every line: append to the last block
    auto& lines = b.blocks[block];
    auto it = std::lower_bound(lines.begin(), lines.end(), text,
                               [](const std::string& line, std::string_view t) { return less(line, t); });
    std::size_t position = b.startOf(block) + static_cast<std::size_t>(it - lines.begin());
    if (it != lines.end() && platform::comparePaths(*it, text) == 0)
        return position; // duplicates ignored
    lines.insert(it, std::move(text));
    if (lines.size() > kBlockLimit) {
        std::vector<std::string> upper(std::make_move_iterator(lines.begin() + kBlockTarget),
                                       std::make_move_iterator(lines.end()));
        lines.resize(kBlockTarget);
        b.blocks.insert(b.blocks.begin() + static_cast<long>(block) + 1, std::move(upper));
        ++b.total;
        b.rebuild();
    } else {
        b.adjust(block, 1);
    }
    return position;
}

void SortedList::erase(std::size_t position)
{
    Blocks& b = *m_blocks;
    if (position >= b.total)
        return;
    const auto [block, offset] = b.locate(position);
    auto& lines = b.blocks[block];
    lines.erase(lines.begin() + static_cast<long>(offset));
    if (lines.empty()) {
        b.blocks.erase(b.blocks.begin() + static_cast<long>(block));
        --b.total;
        b.rebuild();
    } else {
        b.adjust(block, -1);
    }
}

void SortedList::clear()
{
    m_blocks->blocks.clear();
    m_blocks->total = 0;
    m_blocks->rebuild();
}

std::vector<std::string> SortedList::lines() const
{
    std::vector<std::string> all;
    all.reserve(size());
    for (const auto& block : m_blocks->blocks)
        all.insert(all.end(), block.begin(), block.end());
    return all;
}

void SortedList::assign(std::vector<std::string> lines)
{
    const auto notBefore = [](const std::string& a, const std::string& b) { return !less(a, b); };
    if (std::adjacent_find(lines.begin(), lines.end(), notBefore) != lines.end()) {
        std::stable_sort(lines.begin(), lines.end(),
                         [](const std::string& a, const std::string& b) { return less(a, b); });
        // Keep the first of equal lines, as adding them one by one would.
        lines.erase(
            std::unique(lines.begin(), lines.end(),
                        [](const std::string& a, const std::string& b) { return platform::comparePaths(a, b) == 0; }),
            lines.end());
    }
    m_blocks->assignSorted(std::move(lines));
}

void SortedList::loadFromFile(const std::string& path) { assign(readLines(path)); }

void SortedList::saveToFile(const std::string& path) const
{
    writeLinesFrom(path, [this](const LineWrite& write) {
        for (const auto& block : m_blocks->blocks)
            for (const auto& line : block)
                write(line);
    });
}

} // namespace torvinel
