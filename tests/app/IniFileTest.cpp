#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "app/Error.h"
#include "app/IniFile.h"
#include "support/TempDir.h"

namespace torvinel {
namespace {

class IniFileTest : public ::testing::Test {
protected:
    void write(const std::string& content) { dir.write("Torvinel.ini", content); }
    std::string content() const { return dir.read("Torvinel.ini"); }
    test::TempDir dir;
    const std::string file = dir / "Torvinel.ini";
};

TEST_F(IniFileTest, ReadsStoredValuesWithoutRegardToCase)
{
    write(
        "[form]\r\nWIDTH=800\r\n[Status]\r\ndomd5=1\r\nMaxCDSpeed=abc\r\nDoVerify=-3\r\nNewestDisc= 20240305001 \r\n");
    EXPECT_EQ(IniReadOrCreateInteger(file, "Form", "Width", 620), 800);
    EXPECT_TRUE(IniReadOrCreateBool(file, "Status", "DoMD5", false));
    EXPECT_TRUE(IniReadOrCreateBool(file, "Status", "DoVerify", false)) << "any non-zero integer is true";
    EXPECT_EQ(IniReadOrCreateInteger(file, "Status", "MaxCDSpeed", 12), 12) << "unparsable falls back";
    EXPECT_EQ(IniReadOrCreateString(file, "Status", "NewestDisc", ""), "20240305001");
    // Reading present keys never rewrites them.
    EXPECT_EQ(
        content(),
        "[form]\r\nWIDTH=800\r\n[Status]\r\ndomd5=1\r\nMaxCDSpeed=abc\r\nDoVerify=-3\r\nNewestDisc= 20240305001 \r\n");
}

TEST_F(IniFileTest, MissingKeysAreWrittenWithTheirDefaults)
{
    EXPECT_EQ(IniReadOrCreateInteger(file, "Form", "Width", 620), 620);
    EXPECT_FALSE(IniReadOrCreateBool(file, "Status", "DoMD5", false));
    EXPECT_EQ(IniReadOrCreateString(file, "Paths", "TempBase", "/x y"), "/x y");
    EXPECT_EQ(IniReadOrCreateInteger(file, "Form", "Height", 440), 440);
    EXPECT_EQ(content(),
              "[Form]\r\nWidth=620\r\nHeight=440\r\n\r\n[Status]\r\nDoMD5=0\r\n\r\n[Paths]\r\nTempBase=/x y\r\n");
}

TEST_F(IniFileTest, WritesReplaceOrAddKeys)
{
    write("; comment\n[MD5]\nA.zip=00\n\n[Other]\nx=1\n");
    IniWriteString(file, "md5", "a.ZIP", "ff");
    IniWriteString(file, "MD5", "B.csv", "ee");
    IniWriteInteger(file, "Status", "MaxCDSpeed", -1);
    IniWriteBool(file, "Status", "DoMD5", true);
    EXPECT_EQ(content(),
              "; "
              "comment\r\n[MD5]\r\nA.zip=ff\r\nB.csv=ee\r\n\r\n[Other]\r\nx=1\r\n\r\n[Status]\r\nMaxCDSpeed=-"
              "1\r\nDoMD5=1\r\n");
    EXPECT_EQ(IniReadOrCreateInteger(file, "Status", "MaxCDSpeed", 12), -1);
}

// Several keys in one write leave the file as one write per key would: replaced keys keep
// their spelling, new ones follow the section's last key, a key given twice ends with its
// last value, a missing section or file is made.
TEST_F(IniFileTest, SeveralKeysInOneWriteAsOneWriteEach)
{
    using Keys = std::vector<std::pair<std::string, std::string>>;
    const Keys keys = {{"a.ZIP", "ff"}, {"New.csv", "ee"}, {"b.zip", "01"}, {"new.CSV", "dd"}};
    for (const char* start : {"", "; comment\n[MD5]\nA.zip=00\n\n[Other]\nx=1\n", "[Other]\nx=1", "[md5]\r\n"}) {
        SCOPED_TRACE(start);
        write(start);
        for (const auto& [key, value] : keys)
            IniWriteString(file, "MD5", key, value);
        const std::string oneEach = content();
        write(start);
        IniWriteStrings(file, "MD5", keys);
        EXPECT_EQ(content(), oneEach);
    }
}

TEST_F(IniFileTest, ASectionReadsWholeAndUntouched)
{
    const std::string text = "[Status]\r\nx=1\r\n[md5]\r\n; a comment\r\n A.zip = 00 \r\nno equals\r\n\r\nB.csv=\r\n[Other]\r\nC=2\r\n";
    write(text);
    using Keys = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(IniReadSection(file, "MD5"), (Keys{{"A.zip", "00"}, {"B.csv", ""}}));
    EXPECT_EQ(IniReadSection(file, "Missing"), Keys{});
    EXPECT_EQ(IniReadSection(dir / "none.ini", "MD5"), Keys{});
    EXPECT_EQ(content(), text);
}

TEST_F(IniFileTest, AnUnwritableFileRaises)
{
    const std::string missingFolder = dir / "missing/Torvinel.ini";
    EXPECT_THROW(IniWriteBool(missingFolder, "Status", "DoMD5", true), Error);
    try {
        IniReadOrCreateInteger(missingFolder, "Form", "Width", 620);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Could not write " + missingFolder);
    }
}

} // namespace
} // namespace torvinel
