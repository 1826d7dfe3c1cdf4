#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "app/SortedList.h"
#include "support/TempDir.h"
#include "platform/Platform.h"

namespace torvinel {
namespace {

struct PathLess {
    bool operator()(const std::string& a, const std::string& b) const { return platform::comparePaths(a, b) < 0; }
};

void expectSame(const SortedList& list, const std::set<std::string, PathLess>& model)
{
    ASSERT_EQ(list.size(), model.size());
    std::size_t i = 0;
    for (const auto& line : model)
        ASSERT_EQ(list[i++], line) << "at " << i - 1;
}

// Random adds, lookups and deletes against std::set, across many block splits and merges.
TEST(SortedList, MatchesAnOrderedSetUnderRandomEdits)
{
    std::mt19937 random(7);
    SortedList list;
    std::set<std::string, PathLess> model;
    for (int step = 0; step < 40000; ++step) {
        const std::string line = "\"/home/u/" + std::to_string(random() % 5000) + ".txt\",20240305140326,5,";
        const unsigned action = random() % 3;
        std::size_t position = 0;
        const bool found = list.find(line, position);
        ASSERT_EQ(found, model.count(line) == 1);
        ASSERT_EQ(position, static_cast<std::size_t>(std::distance(model.begin(), model.lower_bound(line))));
        if (action < 2) {
            EXPECT_EQ(list.add(line), position);
            model.insert(line);
        } else if (found) {
            list.erase(position);
            model.erase(line);
        }
    }
    expectSame(list, model);
    while (!list.empty()) {
        const std::size_t position = random() % list.size();
        model.erase(std::next(model.begin(), static_cast<long>(position)));
        list.erase(position);
    }
    expectSame(list, model);
}

TEST(SortedList, IgnoresDuplicatesAndKeepsByteOrder)
{
    SortedList list;
    for (const char* line : {"b", "a", "B", "a", "A", "a/b", "a b"})
        list.add(line);
    // Byte order: two names that differ in letter case are two entries.
    EXPECT_EQ(list.lines(), (std::vector<std::string>{"A", "B", "a", "a b", "a/b", "b"}));
    std::size_t position = 99;
    EXPECT_FALSE(list.find("Z", position));
    EXPECT_EQ(position, 2u);
    EXPECT_FALSE(list.find("zz", position));
    EXPECT_EQ(position, list.size());
}

TEST(SortedList, LoadsAndSavesCrLfLines)
{
    const test::TempDir dir;
    const std::string path = dir / "list.txt";
    {
        std::ofstream out(path, std::ios::binary);
        out << "c\r\na\nb\r\na\r\n\"x y\",1,"; // mixed line ends, a duplicate, no final line end
    }
    SortedList list;
    list.add("stale");
    list.loadFromFile(path);
    EXPECT_EQ(list.lines(), (std::vector<std::string>{"\"x y\",1,", "a", "b", "c"}));
    list.erase(0);
    list.saveToFile(path);
    std::ifstream in(path, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(saved, "a\r\nb\r\nc\r\n");
    SortedList copy = list;
    copy.add("d");
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(copy.size(), 4u);
}

} // namespace
} // namespace torvinel
