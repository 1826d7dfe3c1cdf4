#include "backup/SelectionSize.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "backup/DiscMedia.h"
#include "backup/Selection.h"
#include "backup/SizeText.h"
#include "platform/PlatformTestSupport.h"
#include "support/ScriptedView.h"
#include "support/TempDir.h"

namespace torvinel {
namespace {

namespace fs = std::filesystem;

// A ticked folder as a user's might look: files, an unticked subfolder, an excluded one,
// links, a FIFO and a name no catalog line can carry. Counted: a.txt, sub/b.bin, sub/deep/c.txt.
class SelectionSizeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir.write("t/a.txt", std::string(100, 'a'));
        m_dir.write("t/sub/b.bin", std::string(2000, 'b'));
        m_dir.write("t/sub/deep/c.txt", std::string(30, 'c'));
        m_dir.write("t/unticked/u.txt", std::string(5000, 'u'));
        m_dir.write("t/excluded/x.txt", std::string(7000, 'x'));
        m_dir.write("t/bad\nname.txt", std::string(900, 'n'));
        m_dir.write("elsewhere/e.txt", std::string(11, 'e'));
        fs::create_symlink(m_dir / "elsewhere/e.txt", m_dir / "t/file-link");
        fs::create_directory_symlink(m_dir / "elsewhere", m_dir / "t/folder-link");
        EXPECT_EQ(mkfifo(m_dir.path("t/pipe").c_str(), 0600), 0);
    }

    SizeRequest request() const
    {
        return {.ticked = {m_dir / "t"}, .unticked = {m_dir / "t/unticked"}, .excluded = {m_dir / "t/excluded"}};
    }

    test::TempDir m_dir;
};

TEST_F(SelectionSizeTest, CountsWhatABackupTakesAndSkipsTheRest)
{
    const auto size = countSelection(request(), {});
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, (SelectionSize{3, 2130}));
}

// The count and the backup's own walk must agree file for file, or the total lies.
TEST_F(SelectionSizeTest, AgreesWithTheBackupWalk)
{
    RunState state;
    state.AppFolder = m_dir / "app";
    fs::create_directories(state.AppFolder);
    state.log.open(state.appFile("LogFile.txt"));
    test::ScriptedView view;
    fs::create_directory_symlink(m_dir / "t/sub", m_dir / "ticked-link"); // followed: ticked by name
    state.FQList = {m_dir / "t/a.txt",         m_dir / "t/sub",   m_dir / "ticked-link",
                    m_dir / "elsewhere/e.txt", m_dir / "missing", m_dir / "t/pipe"};
    const SizeRequest asked{.ticked = state.FQList, .excluded = ExcludedFolders(state, {})};

    SelectionSize walked;
    getFQFullList(state, view, [&walked](const std::string& file) {
        ++walked.files;
        walked.bytes += static_cast<int64_t>(fs::file_size(file));
    });
    const auto counted = countSelection(asked, {});
    ASSERT_TRUE(counted);
    EXPECT_EQ(*counted, walked);
    EXPECT_EQ(*counted, (SelectionSize{6, 4171}));
}

TEST_F(SelectionSizeTest, AFileThatCannotBeReadCountsAsNothing)
{
    ASSERT_EQ(chmod(m_dir.path().c_str(), 0755), 0);
    for (const char* folder : {"t", "t/sub", "t/sub/deep"})
        ASSERT_EQ(chmod(m_dir.path(folder).c_str(), 0755), 0);
    ASSERT_EQ(chmod(m_dir.path("t/sub/b.bin").c_str(), 0), 0);
    const SizeRequest asked = request();
    // Root reads anything: the count runs as an unprivileged user then.
    const auto files = [&asked] {
        const auto size = countSelection(asked, {});
        return size ? static_cast<int>(size->files) : 99;
    };
    const int counted = geteuid() == 0 ? asNobody(files) : files();
    EXPECT_EQ(counted, 2); // a.txt and c.txt; b.bin is left out as the run would leave it out
}

TEST_F(SelectionSizeTest, AStopEndsTheWalkAtOnce)
{
    for (int i = 0; i < 200; ++i)
        m_dir.write("big/f" + std::to_string(i), "x");
    std::stop_source stop;
    int visited = 0;
    const SizeWalkHooks hooks{.visiting = [&](const std::string&) {
        if (++visited == 5)
            stop.request_stop();
    }};
    EXPECT_FALSE(countSelection({.ticked = {m_dir / "big"}}, stop.get_token(), hooks));
    EXPECT_EQ(visited, 5);

    stop.request_stop();
    visited = 0;
    EXPECT_FALSE(countSelection({.ticked = {m_dir / "big"}}, stop.get_token(), hooks));
    EXPECT_EQ(visited, 0);
}

TEST_F(SelectionSizeTest, ReportsGrowingTotalsOnTheWay)
{
    std::vector<SelectionSize> reports;
    const SizeWalkHooks hooks{.progress = [&](const SelectionSize& size) { reports.push_back(size); },
                              .interval = std::chrono::milliseconds(0)};
    const auto size = countSelection(request(), {}, hooks);
    ASSERT_TRUE(size);
    ASSERT_FALSE(reports.empty());
    for (std::size_t i = 1; i < reports.size(); ++i)
        EXPECT_LE(reports[i - 1].files, reports[i].files);
    EXPECT_LE(reports.back().bytes, size->bytes);
    EXPECT_EQ(reports.front(), SelectionSize{});
}

TEST(SizeText, CountsAndSizes)
{
    const struct {
        int64_t bytes;
        const char* text;
    } sizes[] = {{0, "0 bytes"},      {1, "1 byte"},         {1023, "1023 bytes"},   {1024, "1.0 KB"},
                 {1260, "1.2 KB"},    {102348, "99.9 KB"},   {102400, "100 KB"},     {1047552, "1023 KB"},
                 {1048064, "1.0 MB"}, {356515840, "340 MB"}, {6012954214, "5.6 GB"}, {1099511627776, "1.0 TB"}};
    for (const auto& c : sizes)
        EXPECT_EQ(sizeText(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(countText(0), "0");
    EXPECT_EQ(countText(999), "999");
    EXPECT_EQ(countText(1234), "1,234");
    EXPECT_EQ(countText(1234567), "1,234,567");
}

TEST(SizeText, TheTotalNamesTheDiscsOfTheWriter)
{
    const SelectionSize size{1234, 6012954214};
    EXPECT_EQ(selectedText(size, mediaForDisc(DISC_TYPE_DVDPLUSR)),
              "Selected: 1,234 files, 5.6 GB \u2014 about 2 DVDs");
    EXPECT_EQ(selectedText(size, mediaForDisc(DISC_TYPE_CDR, 15360)),
              "Selected: 1,234 files, 5.6 GB \u2014 about 192 CDs");
    EXPECT_EQ(selectedText(size, mediaForDisc(DISC_TYPE_DVDPLUSR_DL)),
              "Selected: 1,234 files, 5.6 GB \u2014 about 1 DVD+R DL disc");
    // A writer without a disc in it: the run's own estimate of CDs and DVDs.
    EXPECT_EQ(selectedText({1, 100}, mediaForDisc(DISC_TYPE_NO_MEDIA)),
              "Selected: 1 file, 100 bytes \u2014 about 1 CD or 1 DVD");
    EXPECT_EQ(selectedText({}, mediaForDisc(DISC_TYPE_CDR)), "Selected: nothing");
    EXPECT_EQ(countingText({12345, 3650722202}), "Counting\u2026 12,345 files, 3.4 GB so far");
}

} // namespace
} // namespace torvinel
