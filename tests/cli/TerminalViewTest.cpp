#include "cli/TerminalView.h"

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "app/Progress.h"

namespace torvinel::cli {
namespace {

// The terminal view over in-memory streams: out and err collect, in holds the typed answers.
struct Terminal {
    explicit Terminal(const std::string& typed = "")
        : input(typed),
          in(fmemopen(input.data(), input.size() + 1, "r")),
          out(open_memstream(&outBuffer, &outSize)),
          err(open_memstream(&errBuffer, &errSize)),
          view(out, err, in)
    {
    }
    ~Terminal()
    {
        std::fclose(in);
        std::fclose(out);
        std::fclose(err);
        std::free(outBuffer);
        std::free(errBuffer);
    }
    std::string output()
    {
        std::fflush(out);
        return std::string(outBuffer, outSize);
    }
    std::string errors()
    {
        std::fflush(err);
        return std::string(errBuffer, errSize);
    }

    std::string input;
    char* outBuffer = nullptr;
    size_t outSize = 0;
    char* errBuffer = nullptr;
    size_t errSize = 0;
    std::FILE* in;
    std::FILE* out;
    std::FILE* err;
    TerminalView view;
};

TEST(TerminalViewTest, UnattendedQuestionsTakeTheSafeAnswerAndSayIt)
{
    Terminal t;
    t.view.setInteractive(false);
    EXPECT_FALSE(t.view.askYesNo("Include it?"));
    EXPECT_FALSE(t.view.askRetryIgnore("Please close the program"));
    EXPECT_FALSE(t.view.askOkCancel("Insert disc 1"));
    EXPECT_EQ(t.output(),
              "Include it? [y/n] No\n"
              "Please close the program [r]etry/[i]gnore Ignore\n"
              "Insert disc 1 [o]k/[c]ancel Cancel\n");
}

TEST(TerminalViewTest, InteractiveQuestionsReadAnswersAndAskAgainOnNonsense)
{
    Terminal t("maybe\nYES\nr\nok\nn\n");
    t.view.setInteractive(true);
    EXPECT_TRUE(t.view.askYesNo("Include it?"));
    EXPECT_TRUE(t.view.askRetryIgnore("Close it"));
    EXPECT_TRUE(t.view.askOkCancel("Insert"));
    EXPECT_FALSE(t.view.askYesNo("Again?"));
    // The input ends: the safe answer.
    EXPECT_FALSE(t.view.askOkCancel("Insert"));
    EXPECT_EQ(t.output().substr(0, 36), "Include it? [y/n] Include it? [y/n] ");
}

TEST(TerminalViewTest, CaptionsAndMessagesArePrintedOnceErrorsGoToTheErrorStream)
{
    Terminal t;
    t.view.setProgressBar(false);
    startBackupPhase(t.view, "Phase 1");
    showBackupProgress(
        t.view,
        {.caption = "Phase 1", .phase = "File: /a", .message = "Cancelling...", .phaseBar = 10, .extraBar = 10});
    showBackupProgress(t.view, {.message = "Cancelling...", .phaseBar = 20});
    t.view.showInformation("The backup is finished.");
    t.view.showError("Could not create /x.");
    EXPECT_EQ(t.output(), "Phase 1\nCancelling...\nThe backup is finished.\n");
    EXPECT_EQ(t.errors(), "Could not create /x.\n");
    // The state stays readable for core.
    EXPECT_EQ(t.view.text(Window::BackupProgress, Control::PhaseText), "File: /a");
    EXPECT_EQ(t.view.position(Window::BackupProgress, Control::PhaseBar), 20);
    EXPECT_EQ(t.view.screen().width, 1024);
    EXPECT_EQ(t.view.screen().height, 768);
}

// The GUI shows a run's last message in the progress window and then in a box; a terminal
// prints it once.
TEST(TerminalViewTest, ABoxRepeatingTheLastMessageIsNotPrintedTwice)
{
    Terminal t;
    t.view.setProgressBar(false);
    showBackupProgress(t.view, {.message = "The backup was cancelled."});
    t.view.showInformation("The backup was cancelled.\nNothing has been written to the disk in the CD/DVD writer.");
    showBackupProgress(t.view, {.message = "Done."});
    t.view.showInformation("The backup is finished.");
    t.view.showInformation("The backup is finished.\nAgain, as a new box after another one.");
    EXPECT_EQ(t.output(), "The backup was cancelled.\nNothing has been written to the disk in the CD/DVD writer.\n"
                          "Done.\nThe backup is finished.\nAgain, as a new box after another one.\n");
}

TEST(TerminalViewTest, BarIsOneLineRedrawnAndClearedBeforeAMessage)
{
    Terminal t;
    t.view.setProgressBar(true);
    showRestoreProgress(t.view, {.progress = "File: /b", .bar = 500});
    showRestoreProgress(t.view, {.message = "Please insert disc 2"});
    const std::string out = t.output();
    EXPECT_NE(out.find("\r[###############---------------]  50% File: /b\033[K"), std::string::npos) << out;
    EXPECT_NE(out.find("\r\033[KPlease insert disc 2\n"), std::string::npos) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << "the bar itself never ends a line";
}

// On a terminal the bar's line carries what the bar measures, its figures and times, the rate
// among them, and the step; it is cut to the terminal's width so the carriage return redraws
// all of it. Without a terminal none of it is printed: scripts read one line per phase.
TEST(TerminalViewTest, BarLineCarriesFiguresAndTimesOnATerminalOnly)
{
    const BackupProgress packing{.caption = "Phase 6 of 9: Backup new and changed files.",
                                 .phase = "File: /home/u/photo.jpg",
                                 .phaseBar = 420,
                                 .figures = "Backup: 42% · 1.20 GB of 2.00 GB packed · 480 MB burnt · 3 of 7 files",
                                 .time = "0:42 elapsed · 12.3 MB/s · about 1:10 left"};
    const std::string line = "[############------------------] Backup: 42% · 1.20 GB of 2.00 GB packed · 480 MB "
                             "burnt · 3 of 7 files · 0:42 elapsed · 12.3 MB/s · about 1:10 left  File: "
                             "/home/u/photo.jpg";
    {
        Terminal t;
        t.view.setProgressBar(true);
        t.view.setWidth(400);
        showBackupProgress(t.view, packing);
        const std::string out = t.output();
        EXPECT_EQ(out.substr(out.rfind('\r')), "\r" + line + "\033[K") << out;
    }
    {
        // 60 columns: 59 characters (each "·" is one), never half of one.
        Terminal t;
        t.view.setProgressBar(true);
        t.view.setWidth(60);
        showBackupProgress(t.view, packing);
        const std::string out = t.output();
        EXPECT_EQ(out.substr(out.rfind('\r')), "\r[############------------------] Backup: 42% · 1.20 GB of 2\033[K")
            << out;
    }
    {
        Terminal t;
        t.view.setProgressBar(false);
        showBackupProgress(t.view, packing);
        showBackupProgress(t.view, {.figures = "Backup: 43% · ...", .time = "0:43 elapsed"});
        EXPECT_EQ(t.output(), "Phase 6 of 9: Backup new and changed files.\n");
    }
}

} // namespace
} // namespace torvinel::cli
