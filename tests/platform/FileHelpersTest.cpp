#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <functional>

#include "PlatformTestSupport.h"
#include "support/TempDir.h"
#include "app/FileHelpers.h"
#include "platform/Platform.h"

using namespace torvinel;

namespace {

// Only the Retry/Ignore box is expected; every question is recorded and answered from a
// script, and anything else the helper might do with the screen fails the test.
class RetryIgnoreView : public View {
public:
    std::deque<bool> answers; // true: Retry
    std::vector<std::string> questions;
    std::function<void()> onQuestion;

    bool askRetryIgnore(const std::string& text) override
    {
        questions.push_back(text);
        if (onQuestion)
            onQuestion();
        if (answers.empty()) {
            ADD_FAILURE() << "asked more often than scripted";
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    void setText(Window, Control, const std::string&) override { unexpected(); }
    std::string text(Window, Control) const override { return unexpected(), ""; }
    void setPosition(Window, Control, int) override { unexpected(); }
    int position(Window, Control) const override { return unexpected(), 0; }
    void setEnabled(Window, Control, bool) override { unexpected(); }
    bool isEnabled(Window, Control) const override { return unexpected(), false; }
    void setVisible(Window, Control, bool) override { unexpected(); }
    void setChecked(Control, bool) override { unexpected(); }
    bool isChecked(Control) const override { return unexpected(), false; }
    void setItems(Control, const std::vector<std::string>&, int) override { unexpected(); }
    std::vector<std::string> items(Control) const override { return unexpected(), std::vector<std::string>{}; }
    void setSelectedIndex(Control, int) override { unexpected(); }
    int selectedIndex(Control) const override { return unexpected(), -1; }
    void setStatusText(int, const std::string&) override { unexpected(); }
    void showWindow(Window) override { unexpected(); }
    void hideWindow(Window) override { unexpected(); }
    WindowGeometry geometry(Window) const override { return unexpected(), WindowGeometry{}; }
    void setGeometry(Window, const WindowGeometry&) override { unexpected(); }
    WindowGeometry screen() const override { return unexpected(), WindowGeometry{}; }
    void processEvents() override { unexpected(); }
    void showInformation(const std::string&) override { unexpected(); }
    void showInformation(const std::string&, const std::vector<std::string>&) override { unexpected(); }
    void showError(const std::string&) override { unexpected(); }
    bool askYesNo(const std::string&) override { return unexpected(), false; }
    bool askYesNoDefaultNo(const std::string&) override { return unexpected(), false; }
    bool askOkCancel(const std::string&) override { return unexpected(), false; }
    std::vector<std::string> askNewItems(const std::vector<std::string>&, const std::vector<std::string>&) override
    {
        return unexpected(), std::vector<std::string>{};
    }
    void openFolder(const std::string&) override { unexpected(); }
    void openUrl(const std::string&) override { unexpected(); }
    CheckTree& backupTree() override { std::abort(); }
    CheckTree& restoreTree() override { std::abort(); }

private:
    static void unexpected() { ADD_FAILURE() << "unexpected call on the View"; }
};

class WaitUntilFileFreeTest : public testing::Test {
protected:
    void lock()
    {
        m_holder = open(m_file.c_str(), O_RDWR);
        ASSERT_GE(m_holder, 0);
        ASSERT_EQ(flock(m_holder, LOCK_EX | LOCK_NB), 0);
    }
    void unlock()
    {
        close(m_holder);
        m_holder = -1;
    }
    void TearDown() override
    {
        if (m_holder >= 0)
            close(m_holder);
    }
    torvinel::test::TempDir m_scratch;
    std::string m_file = m_scratch.write("busy.doc");
    int m_holder = -1;
    RetryIgnoreView m_view;
};

TEST_F(WaitUntilFileFreeTest, AFreeOrMissingFileAsksNothing)
{
    EXPECT_TRUE(WaitUntilFileFree(m_view, m_file));
    EXPECT_FALSE(WaitUntilFileFree(m_view, m_scratch.path("missing")));
    EXPECT_TRUE(m_view.questions.empty());
}

TEST_F(WaitUntilFileFreeTest, AsksAgainOnEveryRetryUntilIgnore)
{
    lock();
    m_view.answers = {true, true, true, false};
    EXPECT_FALSE(WaitUntilFileFree(m_view, m_file));
    ASSERT_EQ(m_view.questions.size(), 4u);
    EXPECT_EQ(m_view.questions[0], "Please close the program using \n" + m_file + "\nand click Retry, or click Ignore");
}

TEST_F(WaitUntilFileFreeTest, RetryAfterTheProgramLetGoGivesTrue)
{
    lock();
    m_view.answers = {true, true};
    m_view.onQuestion = [this] {
        if (m_view.questions.size() == 2)
            unlock(); // the user closed the other program before the second Retry
    };
    EXPECT_TRUE(WaitUntilFileFree(m_view, m_file));
    EXPECT_EQ(m_view.questions.size(), 2u);
}

TEST_F(WaitUntilFileFreeTest, AFileNoOneCanReadIsNotWaitedFor)
{
    ASSERT_EQ(mkfifo(m_scratch.path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(WaitUntilFileFree(m_view, m_scratch.path("fifo")));
    EXPECT_FALSE(WaitUntilFileFree(m_view, m_scratch.path()));
    EXPECT_TRUE(m_view.questions.empty());
}

TEST(EmptyFolder, EmptiesAndReports)
{
    torvinel::test::TempDir s;
    s.write("temp/a/b/c.zip");
    s.write("temp/.d");
    EXPECT_TRUE(EmptyFolder(s.path("temp")));
    EXPECT_TRUE(std::filesystem::is_empty(s.path("temp")));
    EXPECT_TRUE(EmptyFolder(s.path("temp"))) << "an empty folder counts as emptied";
    EXPECT_FALSE(EmptyFolder(s.path("missing")));
}

TEST(DayStamp, YearThenTwoDigitMonthAndDay)
{
    using namespace std::chrono;
    struct Case {
        int year, month, day;
        const char* text;
    };
    const Case cases[] = {{2026, 1, 5, "20260105"}, {1999, 12, 31, "19991231"}, {2026, 10, 10, "20261010"}};
    for (const Case& c : cases) {
        EXPECT_EQ(DayStamp(c.year, c.month, c.day), c.text);
        EXPECT_EQ(DayStamp(year{c.year} / c.month / c.day), c.text);
    }
}

TEST(Today, IsTheLocalDateOfTheClock)
{
    const char* old = std::getenv("TZ");
    const std::optional<std::string> oldZone = old ? std::optional<std::string>(old) : std::nullopt;
    using namespace std::chrono;
    const auto moment = sys_days{2026y / March / 7} + 12h; // noon UTC
    const Clock clock = [moment] { return moment; };
    struct Case {
        const char* zone;
        const char* day;
    };
    for (const Case& c : {Case{"UTC0", "20260307"}, Case{"<+14>-14", "20260308"}, Case{"<-12>12", "20260307"},
                          Case{"<-13>13", "20260306"}}) {
        setenv("TZ", c.zone, 1);
        tzset();
        EXPECT_EQ(DayStamp(Today(clock)), c.day) << c.zone;
    }
    oldZone ? setenv("TZ", oldZone->c_str(), 1) : unsetenv("TZ");
    tzset();
    EXPECT_TRUE(Today().ok()) << "the real clock";
}

TEST(DriveFreeSpace, IsTheFreeSpaceOfThePathsFileSystem)
{
    torvinel::test::TempDir s;
    const int64_t free = DriveFreeSpace(s.path());
    EXPECT_GT(free, 0);
    // Another file system answers for itself: /dev is a small in-memory one on Linux.
    struct statvfs facts { };
    if (statvfs("/dev", &facts) == 0) {
        EXPECT_EQ(DriveFreeSpace("/dev"), static_cast<int64_t>(facts.f_bavail) * static_cast<int64_t>(facts.f_frsize));
    }
    EXPECT_EQ(DriveFreeSpace(s.path("missing")), -1);
    EXPECT_EQ(DriveFreeSpace(""), -1);
}

} // namespace
