#pragma once
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/MemoryView.h"

namespace torvinel::test {

// A View for tests. It keeps the state of every control (see app/MemoryView.h: texts, bar
// positions, check boxes, lists, geometry with the main window's 620 x 440 minimum, two
// in-memory check trees), records every call that changes something or talks to the user,
// and answers questions from a script.
//
// Recorded lines (window names: Main, BackupProgress, RestoreProgress, Busy):
//   "setText BackupProgress MessageText Cancelling..."   "setPosition BackupProgress PhaseBar 1000"
//   "setEnabled BackupProgress CancelButton 0"             "setVisible Main WriterGroup 1"
//   "setChecked Md5Check 1"        "setItems DiscList 3 -1" (count, selected)
//   "setSelectedIndex CdSpeed 12"                "setStatusText 1 /home/u/a.txt"
//   "showWindow Main"  "hideWindow Main"              "setGeometry Main 10 20 700 440" (as asked)
//   "processEvents"    "showInformation <text>"       "showError <text>"
//   "showInformation <text>\n<detail>\n<detail>..." (a box with details)
//   "askYesNo <text>"  "askRetryIgnore <text>"        "askOkCancel <text>"
//   "askYesNoDefaultNo <text>"                        "askNewItems <item>\n<item>..."
//   "openFolder <path>"                               "openUrl <url>"
// Reading calls (text, position, isChecked, ...) are not recorded.
//
// Questions: queue the answers before the code runs, in the order the questions come:
//     view.answerYes(); view.answerIgnore("Please close");
// Each answer is for one kind of question (and optionally a text the question must contain);
// a question of another kind, one whose text does not match, or one with no queued answer
// fails the test and throws UnscriptedQuestion so the code under test stops there. The
// start-up's window of new items has answers of its own: view.answerNewItems({"/home/u/b"}).
//
// Events: processEvents first runs the events posted with post() (in order, including those
// posted meanwhile), then the onProcessEvents hook. Neither runs again while they are
// running, so a posted Cancel click that itself updates the progress window is safe:
//     view.post([&] { requestBackupCancel(state, view); });
class ScriptedView : public MemoryView {
public:
    struct UnscriptedQuestion : std::logic_error {
        using std::logic_error::logic_error;
    };

    // --- the script -----------------------------------------------------------------
    void answerYes(const std::string& textContains = "") { queue("askYesNo", true, textContains); }
    void answerNo(const std::string& textContains = "") { queue("askYesNo", false, textContains); }
    void answerRetry(const std::string& textContains = "") { queue("askRetryIgnore", true, textContains); }
    void answerIgnore(const std::string& textContains = "") { queue("askRetryIgnore", false, textContains); }
    void answerOk(const std::string& textContains = "") { queue("askOkCancel", true, textContains); }
    void answerCancel(const std::string& textContains = "") { queue("askOkCancel", false, textContains); }
    void answerYesDefaultNo(const std::string& textContains = "") { queue("askYesNoDefaultNo", true, textContains); }
    void answerNoDefaultNo(const std::string& textContains = "") { queue("askYesNoDefaultNo", false, textContains); }
    // The items the user ticks in the next window of new items (none: "Not now").
    void answerNewItems(std::vector<std::string> ticked) { m_newItemsAnswers.push_back(std::move(ticked)); }
    // The ticked paths the last window of new items showed for reference.
    const std::vector<std::string>& newItemsReference() const { return m_newItemsReference; }
    // Answers queued but not asked for.
    size_t unusedAnswers() const { return m_answers.size() + m_newItemsAnswers.size(); }

    // --- events ---------------------------------------------------------------------
    // Queues an event (typically a click) for the next processEvents.
    void post(std::function<void()> event) { m_posted.push_back(std::move(event)); }
    // Runs at every processEvents (after the posted events).
    std::function<void()> onProcessEvents;

    // --- the record -----------------------------------------------------------------
    const std::vector<std::string>& calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    // How many recorded lines equal line, or start with prefix.
    int count(const std::string& line) const;
    int countPrefix(const std::string& prefix) const;
    bool has(const std::string& line) const { return count(line) > 0; }
    // The recorded lines that start with prefix, in order.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;
    // The whole record, one call a line (for failure messages).
    std::string dump() const;

    // A control's name in the record: its C++ name ("MessageText").
    static const char* controlName(Control control);

    // --- View -----------------------------------------------------------------------
    void setText(Window window, Control control, const std::string& text) override;
    void setPosition(Window window, Control control, int position) override;
    void setEnabled(Window window, Control control, bool enabled) override;
    void setVisible(Window window, Control control, bool visible) override;
    void setChecked(Control control, bool checked) override;
    void setItems(Control control, const std::vector<std::string>& items, int selected) override;
    void setSelectedIndex(Control control, int index) override;
    void setStatusText(int panel, const std::string& text) override;
    void showWindow(Window window) override;
    void hideWindow(Window window) override;
    void setGeometry(Window window, const WindowGeometry& geometry) override;
    void processEvents() override;
    void showInformation(const std::string& text) override;
    void showInformation(const std::string& text, const std::vector<std::string>& details) override;
    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    bool askYesNoDefaultNo(const std::string& text) override;
    bool askRetryIgnore(const std::string& text) override;
    bool askOkCancel(const std::string& text) override;
    std::vector<std::string> askNewItems(const std::vector<std::string>& items,
                                         const std::vector<std::string>& ticked) override;
    void openFolder(const std::string& path) override;
    void openUrl(const std::string& url) override;

private:
    struct Answer {
        std::string kind;
        bool reply;
        std::string textContains;
    };
    void queue(const char* kind, bool reply, const std::string& textContains);
    bool ask(const char* kind, const std::string& text);
    void record(std::string line) { m_calls.push_back(std::move(line)); }

    std::vector<std::string> m_calls;
    std::deque<Answer> m_answers;
    std::deque<std::vector<std::string>> m_newItemsAnswers;
    std::vector<std::string> m_newItemsReference;
    std::deque<std::function<void()>> m_posted;
    bool m_inEvents = false;
};

} // namespace torvinel::test
