// Name rules: wildcard masks, the attribute filter, encodings, safe names, volume names,
// DOS stamps.
#include <gtest/gtest.h>

#include "archive/internal/DosTime.h"
#include "archive/ZipArchive.h"
#include "archive/ZipNames.h"
#include "archive/internal/ZipVolumes.h"

namespace torvinel {
namespace {

using namespace zipnames;

TEST(ZipNames, WildcardMatch)
{
    const struct {
        const char* text;
        const char* mask;
        bool match;
    } cases[] = {
        {"photo.JPG", "*.jpg", true},
        {"dir/photo.jpg", "*.jpg", true},
        {"photo.jpeg", "*.jpg", false},
        {"a.doc", "*.*", true},
        {"noextension", "*.*", true},
        {"", "*", true},
        {"Data/Letters/a.doc", "Data/Letters/a.doc", true},
        {"Data/Letters/a.doc", "data/letters/A.DOC", true},
        {"Data/Letters/a.doc", "Data/Letters/a.do", false},
        {"a.doc", "?.doc", true},
        {"ab.doc", "?.doc", false},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*c", false},
        {"x.tar.gz", "*.gz", true},
        {"abc", "a*c*", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wildcardMatch(c.text, c.mask), c.match) << c.text << " ~ " << c.mask;
}

TEST(ZipNames, AttributeFilter)
{
    EXPECT_TRUE(passesAttributeFilter(0x20, ZipAllAttributes));
    EXPECT_TRUE(passesAttributeFilter(0x10 | 0x02 | 0x04 | 0x01, ZipAllAttributes));
    EXPECT_FALSE(passesAttributeFilter(0x10, ZipAllAttributes & ~0x10u));
    EXPECT_FALSE(passesAttributeFilter(0x02, 0x20));
    EXPECT_TRUE(passesAttributeFilter(0x01 | 0x20, 0x20)); // read-only is never filtered
}

TEST(ZipNames, Encodings)
{
    EXPECT_TRUE(isValidUtf8("plain"));
    EXPECT_TRUE(isValidUtf8("\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"));
    EXPECT_FALSE(isValidUtf8("caf\xe9"));                                       // Latin-1
    EXPECT_FALSE(isValidUtf8("\xc3"));                                          // cut short
    EXPECT_FALSE(isValidUtf8("\xc0\xaf"));                                      // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xed\xa0\x80"));                                  // surrogate
    EXPECT_FALSE(isValidUtf8("\xf4\x90\x80\x80"));                              // past U+10FFFF
    EXPECT_EQ(cp437ToUtf8("caf\x82 \x9c\xe1"), "caf\xc3\xa9 \xc2\xa3\xc3\x9f"); // café £ß
    EXPECT_TRUE(isAscii("a/b.txt"));
    EXPECT_FALSE(isAscii("\xc3\xa9"));
}

TEST(ZipNames, SafeRelativeName)
{
    const struct {
        const char* name;
        const char* safe; // nullptr: refused
    } cases[] = {
        {"Data/Letters/a.doc", "Data/Letters/a.doc"},
        {"./a//b/./c.txt", "a/b/c.txt"},
        {"dir/", "dir"},
        {"a\\b.txt", "a/b.txt"},
        {"..", nullptr},
        {"../x", nullptr},
        {"a/../../x", nullptr},
        {"a\\..\\x", nullptr},
        {"/etc/passwd", nullptr},
        {"\\\\server\\share\\x", nullptr},
        {"C:/x", nullptr},
        {"c:x", nullptr},
        {"", nullptr},
        {"./", nullptr},
        {"..a/b..", "..a/b.."},
    };
    for (const auto& c : cases) {
        const auto safe = safeRelativeName(c.name);
        if (c.safe)
            EXPECT_EQ(safe.value_or("<refused>"), c.safe) << c.name;
        else
            EXPECT_FALSE(safe.has_value()) << c.name << " -> " << *safe;
    }
    EXPECT_FALSE(safeRelativeName(std::string("..\0/x", 5)).has_value());
    EXPECT_EQ(safeRelativeName("a\\b", false).value_or(""), "a\\b"); // an ordinary character
}

TEST(ZipNames, VolumeNames)
{
    EXPECT_EQ(zipvolumes::advancedName("/t/20240315000021cn.zip", 1), "/t/20240315000021cn_001.zip");
    EXPECT_EQ(zipvolumes::advancedName("/t/b.zip", 999), "/t/b_999.zip");
    EXPECT_EQ(zipvolumes::advancedName("/t/b.zip", 1000), "/t/b_1000.zip");
    EXPECT_EQ(zipvolumes::advancedName("/t.d/b", 2), "/t.d/b_002");
    EXPECT_EQ(zipvolumes::classicName("/t/b.zip", 3, false), "/t/b.z03");
    EXPECT_EQ(zipvolumes::classicName("/t/b.zip", 3, true), "/t/b.Z03");
}

TEST(ZipNames, DosStampsAreClampedAndRoundTrip)
{
    struct tm t { };
    t.tm_year = 2024 - 1900, t.tm_mon = 2, t.tm_mday = 15, t.tm_hour = 13, t.tm_min = 45, t.tm_sec = 31;
    t.tm_isdst = -1;
    const time_t moment = mktime(&t);
    const dostime::DosStamp stamp = dostime::fromTime(moment);
    EXPECT_EQ(dostime::toTime(stamp), moment - 1);                 // two-second steps
    EXPECT_EQ(dostime::fromTime(0).date, (0 << 9) | (1 << 5) | 1); // before 1980
    EXPECT_EQ(dostime::fromTime(0).time, 0);
    const dostime::DosStamp late = dostime::fromTime(time_t{1} << 40); // after 2107
    EXPECT_EQ(late.date, (127 << 9) | (12 << 5) | 31);
    EXPECT_EQ(late.time, (23 << 11) | (59 << 5) | 29);
    EXPECT_EQ(dostime::toTime({0, 0}), -1); // month 0 does not exist
}

} // namespace
} // namespace torvinel
