#pragma once
#include <cstdio>
#include <functional>
#include <string>

#include "app/EventPacer.h"
#include "app/MemoryView.h"

namespace torvinel::cli {

// The View of torvinel-cli. Control state lives in memory (app/MemoryView); what a user of
// the windows would read is written to the terminal:
// - captions of the progress windows, their message lines (MessageText, DiscCount) and
//   information boxes: one line each on the output, when the text changes and is not blank;
// - error boxes: one line on the error stream;
// - information with details: the text on the output, each line of the details on the error
//   stream (they list what went wrong, such as the files a backup left out); a box whose
//   first line was just printed as a progress message does not print it again;
// - the current step and bar (PhaseText/PhaseBar, ProgressText/ProgressBar) with what the bar
//   measures and its times (PhaseFigures/PhaseTime, ProgressFigures/ProgressTime): one line
//   redrawn in place ("\r"), cut to the terminal's width, only when the output is a terminal;
// - questions: the text and the choices; the answer is read from the input when it is a
//   terminal, otherwise the safe answer is taken and printed (Yes/No: No, Retry/Ignore:
//   Ignore, OK/Cancel: Cancel), so an unattended run never waits and never agrees to anything;
//   a question whose default is No is asked the same way;
// - new items at start-up: never asked about, none is added (a command line has no tree of
//   the computer; its selection holds only saved paths, so it meets none anyway).
// screen() is a fixed 1024 x 768. Both trees are in-memory trees.
class TerminalView : public MemoryView {
public:
    explicit TerminalView(std::FILE* out = stdout, std::FILE* err = stderr, std::FILE* in = stdin);

    // Override what the streams' terminal check found.
    void setInteractive(bool interactive) { m_interactive = interactive; }
    void setProgressBar(bool shown) { m_barEnabled = shown; }
    // The columns the bar's line may fill (the terminal's width, else 120).
    void setWidth(int columns) { m_width = columns; }

    // Runs at every processEvents: the place to turn a pending Ctrl-C into a cancel request.
    std::function<void()> onProcessEvents;

    void setText(Window window, Control control, const std::string& text) override;
    void setPosition(Window window, Control control, int position) override;
    void hideWindow(Window window) override;
    void processEvents() override;

    void showInformation(const std::string& text) override;
    // The text on standard output, each detail on a line of its own on standard error.
    void showInformation(const std::string& text, const std::vector<std::string>& details) override;
    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    bool askYesNoDefaultNo(const std::string& text) override { return askYesNo(text); }
    bool askRetryIgnore(const std::string& text) override;
    bool askOkCancel(const std::string& text) override;

    void openFolder(const std::string& path) override;
    void openUrl(const std::string& url) override;
    bool showsWindows() const override { return false; }

private:
    struct Choice {
        const char* prompt;   // "[y/n]"
        const char* yes[2];   // words for true
        const char* no[2];    // words for false
        bool safe;            // the answer without a user
        const char* safeWord; // how the safe answer is printed
    };
    bool ask(const std::string& text, const Choice& choice);
    void line(std::FILE* stream, const std::string& text);
    void boxText(const std::string& text);
    void clearBar();
    void drawBar(Window window);

    std::FILE* m_out;
    std::FILE* m_err;
    std::FILE* m_in;
    bool m_interactive;
    bool m_barEnabled;
    bool m_barShown = false;
    int m_width;
    std::string m_lastLine; // the last line printed on the output
    // The Qt event loop carries only the power and session signals here, which can wait some
    // milliseconds; a backup asks for events several times per file.
    EventPacer m_qtEvents{std::chrono::milliseconds(20)};
};

} // namespace torvinel::cli
