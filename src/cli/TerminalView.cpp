#include "cli/TerminalView.h"

#include <QCoreApplication>

#include <algorithm>
#include <cctype>

#include <sys/ioctl.h>
#include <unistd.h>

namespace torvinel::cli {

namespace {

constexpr int barWidth = 30;
constexpr size_t detailWidth = 40;

bool isBlank(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); });
}

bool isProgressWindow(Window window) { return window == Window::BackupProgress || window == Window::RestoreProgress; }

int terminalWidth(std::FILE* out)
{
    winsize size{};
    if (out && isatty(fileno(out)) && ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 120;
}

// The first columns characters of a UTF-8 text (one column each), never cutting a character.
std::string firstColumns(const std::string& text, int columns)
{
    int used = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue; // a continuation byte: part of the character counted
        if (used++ == columns)
            return text.substr(0, i);
    }
    return text;
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

TerminalView::TerminalView(std::FILE* out, std::FILE* err, std::FILE* in)
    : m_out(out),
      m_err(err),
      m_in(in),
      m_interactive(in && isatty(fileno(in))),
      m_barEnabled(out && isatty(fileno(out))),
      m_width(terminalWidth(out))
{
}

void TerminalView::line(std::FILE* stream, const std::string& text)
{
    clearBar();
    std::fputs(text.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
    if (stream == m_out)
        m_lastLine = text;
}

// The GUI shows a run's last progress message in its window and then the same words in a
// box; on one terminal they would stand twice in a row.
void TerminalView::boxText(const std::string& text)
{
    const std::size_t end = text.find('\n');
    if (!m_lastLine.empty() && text.substr(0, end) == m_lastLine) {
        if (end != std::string::npos && !isBlank(text.substr(end + 1)))
            line(m_out, text.substr(end + 1));
        return;
    }
    line(m_out, text);
}

void TerminalView::clearBar()
{
    if (!m_barShown)
        return;
    std::fputs("\r\033[K", m_out);
    std::fflush(m_out);
    m_barShown = false;
}

// [#####---------] Backup: 42% · ... · 0:42 elapsed · 12.3 MB/s · about 1:10 left  File: /a/b
// The bar's percentage alone stands in for the figures when the run gives none.
void TerminalView::drawBar(Window window)
{
    if (!m_barEnabled)
        return;
    const bool backup = window == Window::BackupProgress;
    const int position = MemoryView::position(window, backup ? Control::PhaseBar : Control::ProgressBar);
    const std::string figures = MemoryView::text(window, backup ? Control::PhaseFigures : Control::ProgressFigures);
    const std::string time = MemoryView::text(window, backup ? Control::PhaseTime : Control::ProgressTime);
    std::string detail = MemoryView::text(window, backup ? Control::PhaseText : Control::ProgressText);
    if (detail.size() > detailWidth)
        detail = "..." + detail.substr(detail.size() - (detailWidth - 3));
    const int filled = std::clamp(position, 0, 1000) * barWidth / 1000;
    std::string bar = "[" + std::string(filled, '#') + std::string(barWidth - filled, '-') + "] ";
    if (isBlank(figures)) {
        char percent[16];
        std::snprintf(percent, sizeof percent, "%3d%% ", std::clamp(position, 0, 1000) / 10);
        bar += percent + detail;
    } else {
        bar += figures + (isBlank(time) ? "" : " · " + time) + (isBlank(detail) ? "" : "  " + detail);
    }
    // A line longer than the terminal would wrap, and the carriage return then redraws only
    // its last part.
    bar = "\r" + firstColumns(bar, m_width - 1) + "\033[K";
    std::fputs(bar.c_str(), m_out);
    std::fflush(m_out);
    m_barShown = true;
}

void TerminalView::setText(Window window, Control control, const std::string& text)
{
    const bool changed = MemoryView::text(window, control) != text;
    MemoryView::setText(window, control, text);
    if (!isProgressWindow(window))
        return;
    if (control == Control::ProgressCaption || control == Control::MessageText || control == Control::DiscCount) {
        if (changed && !isBlank(text))
            line(m_out, text);
    } else if (control == Control::PhaseText || control == Control::ProgressText) {
        drawBar(window);
    }
}

void TerminalView::setPosition(Window window, Control control, int position)
{
    MemoryView::setPosition(window, control, position);
    if (control == Control::PhaseBar || control == Control::ProgressBar)
        drawBar(window);
}

void TerminalView::hideWindow(Window window)
{
    MemoryView::hideWindow(window);
    if (isProgressWindow(window))
        clearBar();
}

void TerminalView::processEvents()
{
    if (QCoreApplication::instance() && m_qtEvents.due())
        QCoreApplication::processEvents();
    if (onProcessEvents)
        onProcessEvents();
}

void TerminalView::showInformation(const std::string& text) { boxText(text); }

void TerminalView::showInformation(const std::string& text, const std::vector<std::string>& details)
{
    MemoryView::showInformation(text, details);
    for (const std::string& detail : details)
        line(m_err, detail);
}

void TerminalView::showError(const std::string& text) { line(m_err, text); }

bool TerminalView::ask(const std::string& text, const Choice& choice)
{
    if (!m_interactive) {
        line(m_out, text + " " + choice.prompt + " " + choice.safeWord);
        return choice.safe;
    }
    for (;;) {
        clearBar();
        std::fprintf(m_out, "%s %s ", text.c_str(), choice.prompt);
        std::fflush(m_out);
        std::string answer;
        int c;
        while ((c = std::fgetc(m_in)) != EOF && c != '\n')
            answer += static_cast<char>(c);
        if (c == EOF && answer.empty()) {
            line(m_out, choice.safeWord);
            return choice.safe;
        }
        answer = lower(answer);
        for (const char* word : choice.yes)
            if (answer == word)
                return true;
        for (const char* word : choice.no)
            if (answer == word)
                return false;
    }
}

bool TerminalView::askYesNo(const std::string& text)
{
    return ask(text, {"[y/n]", {"y", "yes"}, {"n", "no"}, false, "No"});
}

bool TerminalView::askRetryIgnore(const std::string& text)
{
    return ask(text, {"[r]etry/[i]gnore", {"r", "retry"}, {"i", "ignore"}, false, "Ignore"});
}

bool TerminalView::askOkCancel(const std::string& text)
{
    return ask(text, {"[o]k/[c]ancel", {"o", "ok"}, {"c", "cancel"}, false, "Cancel"});
}

void TerminalView::openFolder(const std::string& path) { line(m_out, path); }

void TerminalView::openUrl(const std::string& url) { line(m_out, url); }

} // namespace torvinel::cli
