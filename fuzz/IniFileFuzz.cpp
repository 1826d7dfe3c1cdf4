// A settings or STATUS.INI file as a disc or a damaged application folder may hold it: read
// by section and key, then written and read back.
//
// Input: the file, then a section, a key and a value, separated by PartSeparator lines.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/IniFile.h"
#include "support/FuzzFiles.h"

namespace {

bool trimmed(const std::string& s)
{
    return s.empty() || (s.front() != ' ' && s.front() != '\t' && s.back() != ' ' && s.back() != '\t');
}

bool oneLine(const std::string& s) { return s.find_first_of("\r\n") == std::string::npos; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace torvinel;
    using namespace torvinel::fuzz;
    const std::vector<std::string> parts = splitParts(data, size, 4);
    const std::string& section = parts[1];
    const std::string& key = parts[2];
    const std::string& value = parts[3];
    const std::string file = freshFolder("ini") + "/STATUS.INI";
    writeFile(file, parts[0]);

    using Keys = std::vector<std::pair<std::string, std::string>>;
    const Keys before = IniReadSection(file, section);
    for (const auto& [name, text] : before)
        TORVINEL_FUZZ_CHECK(trimmed(name) && trimmed(text) && name.find('=') == std::string::npos);
    // Names and a value the program itself writes: one line each, no spaces at the ends, a
    // section without "]", a key that is no comment or section and holds no "=".
    const bool writable = !section.empty() && oneLine(section) && trimmed(section)
        && section.find(']') == std::string::npos && !key.empty() && oneLine(key) && trimmed(key)
        && key.find('=') == std::string::npos && key.front() != ';' && key.front() != '[' && oneLine(value)
        && trimmed(value);
    const std::string found = IniReadOrCreateString(file, section, key, "default");
    (void)IniReadOrCreateInteger(file, section, key, 7);
    (void)IniReadOrCreateBool(file, section, key, true);
    if (!writable)
        return 0;
    // What a read finds, or creates, the next read finds.
    TORVINEL_FUZZ_CHECK(IniReadOrCreateString(file, section, key, "other") == found);

    const Keys current = IniReadSection(file, section);
    IniWriteString(file, section, key, value);
    TORVINEL_FUZZ_CHECK(IniReadOrCreateString(file, section, key, "other") == value);
    // The section's other keys stay as they were, in their order.
    Keys expected = current;
    const auto same = [&](const auto& entry) {
        return std::ranges::equal(entry.first, key, [](unsigned char a, unsigned char b) {
            return (a >= 'A' && a <= 'Z' ? a + 32 : a) == (b >= 'A' && b <= 'Z' ? b + 32 : b);
        });
    };
    const auto it = std::ranges::find_if(expected, same);
    if (it != expected.end())
        it->second = value;
    else
        expected.emplace_back(key, value);
    TORVINEL_FUZZ_CHECK(IniReadSection(file, section) == expected);
    return 0;
}
