#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>

#include "PlatformTestSupport.h"
#include "support/TempDir.h"
#include "platform/Platform.h"

using namespace torvinel::platform;

namespace {

class ArchiveBits : public testing::Test {
protected:
    torvinel::test::TempDir m_scratch;
    std::string m_state = m_scratch.folder("state");
    std::string m_file = m_scratch.write("data/file.txt", "first");
};

TEST_F(ArchiveBits, EveryKindOfChangeSetsTheBitAgain)
{
    struct Change {
        const char* what;
        void (*apply)(const std::string& path);
    };
    const Change changes[] = {
        {"content", [](const std::string& p) { std::ofstream(p, std::ios::app) << "more"; }},
        {"same content rewritten", [](const std::string& p) { std::ofstream(p, std::ios::trunc) << "first"; }},
        {"permissions", [](const std::string& p) { ASSERT_EQ(chmod(p.c_str(), 0600), 0); }},
        {"touch", [](const std::string& p) { ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), nullptr, 0), 0); }},
        {"stamp set back",
         [](const std::string& p) {
             ASSERT_TRUE(setLastWriteStamp(p, Stamp{2001, 1, 1, 0, 0, 0}));
         }},
    };
    ArchiveAttribute bits(m_state);
    EXPECT_TRUE(bits.isSet(m_file)) << "a file never cleared";
    for (const Change& change : changes) {
        bits.clear(m_file);
        EXPECT_FALSE(bits.isSet(m_file)) << "after clearing, before " << change.what;
        EXPECT_FALSE(bits.isSet(m_file)) << "asking twice changes nothing";
        change.apply(m_file);
        EXPECT_TRUE(bits.isSet(m_file)) << "after " << change.what;
        EXPECT_TRUE(bits.isSet(m_file)) << "stays set after " << change.what;
    }
}

TEST_F(ArchiveBits, ClearsSurviveSaveAndReloadAndUnsavedOnesDoNot)
{
    const std::string other = m_scratch.write("data/other.txt");
    const std::string oddName = m_scratch.write("data/two\nlines \" ,name");
    {
        ArchiveAttribute bits(m_state);
        bits.clear(m_file);
        bits.clear(oddName);
        ASSERT_TRUE(bits.save());
        bits.clear(other); // never saved
    }
    ArchiveAttribute reloaded(m_state);
    EXPECT_FALSE(reloaded.isSet(m_file));
    EXPECT_FALSE(reloaded.isSet(oddName));
    EXPECT_TRUE(reloaded.isSet(other));
    EXPECT_FALSE(std::filesystem::exists(m_state + "/ArchiveBits.dat.tmp"));

    // A change seen in this run is remembered at the next save, even with no new clears.
    std::ofstream(m_file, std::ios::app) << "changed";
    EXPECT_TRUE(reloaded.isSet(m_file));
    ASSERT_TRUE(reloaded.save());
    ArchiveAttribute third(m_state);
    EXPECT_TRUE(third.isSet(m_file));
    EXPECT_FALSE(third.isSet(oddName));
}

TEST_F(ArchiveBits, SettingAgainUndoesAClearAcrossASave)
{
    {
        ArchiveAttribute bits(m_state);
        bits.clear(m_file);
        ASSERT_TRUE(bits.save());
        bits.set(m_file);
        EXPECT_TRUE(bits.isSet(m_file));
        ASSERT_TRUE(bits.save());
    }
    EXPECT_TRUE(ArchiveAttribute(m_state).isSet(m_file));
}

TEST_F(ArchiveBits, AReplacedFileIsSet)
{
    ArchiveAttribute bits(m_state);
    bits.clear(m_file);
    const std::string replacement = m_scratch.write("data/replacement", "other");
    ASSERT_EQ(std::rename(replacement.c_str(), m_file.c_str()), 0);
    EXPECT_TRUE(bits.isSet(m_file));
    std::filesystem::remove(m_file);
    EXPECT_TRUE(bits.isSet(m_file)) << "a file that cannot be asked counts as set";
}

TEST_F(ArchiveBits, ADamagedRecordNeverHidesAChange)
{
    const std::string other = m_scratch.write("data/other.txt");
    {
        ArchiveAttribute bits(m_state);
        bits.clear(m_file);
        bits.clear(other);
        ASSERT_TRUE(bits.save());
    }
    const std::string record = m_state + "/ArchiveBits.dat";
    const std::string good = readAll(record);
    struct Damage {
        std::string content;
        int filesSet; // of the two
    };
    const Damage damages[] = {
        {"", 2},
        {"garbage", 2},
        {good.substr(0, good.size() - 5), 1},                        // cut short: the first record holds
        {good.substr(0, 22) + "12 34 999999999999999999999 x\n", 2}, // a length past the end
        {good.substr(0, 22) + "12 34 -5 x\n", 2},
        {good.substr(0, 22) + "\n\n\n", 2},
        {"TorvinelArchiveBits 9\n" + good.substr(22), 2}, // a version we do not know
    };
    for (const Damage& damage : damages) {
        std::ofstream(record, std::ios::binary | std::ios::trunc) << damage.content;
        ArchiveAttribute bits(m_state);
        EXPECT_EQ(bits.isSet(m_file) + bits.isSet(other), damage.filesSet) << "record: " << damage.content;
    }
}

// A write while the file is read keeps its size and last-write time (set back to the
// nanosecond); only the status-change time tells.
void rewriteKeepingTimes(const std::string& path)
{
    struct stat before { };
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    std::ofstream(path, std::ios::binary | std::ios::in | std::ios::out) << "FIRST";
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_F(ArchiveBits, ClearingAsOfAnIdentityLeavesSetWhatChangedSinceItWasTaken)
{
    const struct {
        const char* what;
        void (*between)(const std::string& path); // after the identity, before the clear
        void (*after)(const std::string& path);   // after the clear
        bool set;
    } cases[] = {
        {"nothing", [](const std::string&) {}, [](const std::string&) {}, false},
        {"rewritten during the read", rewriteKeepingTimes, [](const std::string&) {}, true},
        {"gone during the read", [](const std::string& p) { std::filesystem::remove(p); }, [](const std::string&) {},
         true},
        {"rewritten after the clear", [](const std::string&) {}, rewriteKeepingTimes, true},
    };
    for (const auto& c : cases) {
        std::ofstream(m_file, std::ios::binary | std::ios::trunc) << "first";
        {
            ArchiveAttribute bits(m_state);
            const std::optional<FileIdentity> readFrom = fileIdentity(m_file);
            ASSERT_TRUE(readFrom);
            c.between(m_file);
            bits.clear(m_file, *readFrom);
            c.after(m_file);
            EXPECT_EQ(bits.isSet(m_file), c.set) << c.what;
            ASSERT_TRUE(bits.save());
        }
        EXPECT_EQ(ArchiveAttribute(m_state).isSet(m_file), c.set) << c.what << ", after a reload";
    }
}

TEST(FileIdentityTest, TellsARewriteThatKeptSizeAndTimesAndNothingElse)
{
    torvinel::test::TempDir scratch;
    const std::string file = scratch.write("file.txt", "first");
    const std::optional<FileIdentity> before = fileIdentity(file);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->size, 5);
    EXPECT_EQ(fileIdentity(file), before) << "asked twice";
    rewriteKeepingTimes(file);
    const std::optional<FileIdentity> after = fileIdentity(file);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->size, before->size);
    EXPECT_EQ(after->written, before->written);
    EXPECT_NE(after, before);
    EXPECT_FALSE(fileIdentity(scratch.path("missing")));
    EXPECT_FALSE(fileIdentity(scratch.folder("folder")));
}

TEST_F(ArchiveBits, SaveReportsARecordThatCannotBeWritten)
{
    ArchiveAttribute bits(m_scratch.path("no-such-folder"));
    EXPECT_TRUE(bits.save()) << "nothing to write";
    bits.clear(m_file);
    EXPECT_FALSE(bits.save());
}

} // namespace
