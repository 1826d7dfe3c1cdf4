#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace torvinel {

// A sorted list of text lines with the platform's path collation (platform/PathCollation.h),
// duplicates ignored. Lookups are binary searches that also give the insertion position;
// adding or deleting one line at a time stays cheap for a million lines (the lines are held
// in blocks, so an insert moves at most one block).
class SortedList {
public:
    SortedList();
    ~SortedList();
    SortedList(SortedList&&) noexcept;
    SortedList& operator=(SortedList&&) noexcept;
    SortedList(const SortedList&);
    SortedList& operator=(const SortedList&);

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    const std::string& operator[](std::size_t position) const;
    const std::string& front() const { return (*this)[0]; }
    const std::string& back() const { return (*this)[size() - 1]; }

    // Binary search. position is where text stands, or where it would be inserted.
    bool find(std::string_view text, std::size_t& position) const;
    bool contains(std::string_view text) const;
    // Adds text in order; a line already present is ignored. Returns its position.
    std::size_t add(std::string text);
    void erase(std::size_t position);
    void clear();

    std::vector<std::string> lines() const;
    // Replaces the content with lines, kept in order and without duplicates as adding them
    // one by one would (the first of equal lines stays). Lines already in strict order are
    // taken as they are, with no sort.
    void assign(std::vector<std::string> lines);
    // Replaces the content with the file's lines (CR LF or LF ends a line). A file that
    // does not exist raises Error("Could not read " + path).
    void loadFromFile(const std::string& path);
    // Writes every line followed by CR LF, through a temporary file and a rename.
    void saveToFile(const std::string& path) const;

private:
    struct Blocks;
    std::unique_ptr<Blocks> m_blocks;
};

} // namespace torvinel
