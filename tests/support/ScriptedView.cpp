#include "support/ScriptedView.h"

#include <gtest/gtest.h>

namespace torvinel::test {

const char* ScriptedView::controlName(Control control)
{
    switch (control) {
    case Control::BackupButton:
        return "BackupButton";
    case Control::RestoreButton:
        return "RestoreButton";
    case Control::AddDiscButton:
        return "AddDiscButton";
    case Control::WriterChooser:
        return "WriterChooser";
    case Control::WriterGroup:
        return "WriterGroup";
    case Control::RestoreDrive:
        return "RestoreDrive";
    case Control::RestoreDriveGroup:
        return "RestoreDriveGroup";
    case Control::RestoreToFolder:
        return "RestoreToFolder";
    case Control::ImageFolder:
        return "ImageFolder";
    case Control::ImageMediaType:
        return "ImageMediaType";
    case Control::BackupSetChooser:
        return "BackupSetChooser";
    case Control::DiscList:
        return "DiscList";
    case Control::AddDiscDrive:
        return "AddDiscDrive";
    case Control::Md5Check:
        return "Md5Check";
    case Control::VerifyCheck:
        return "VerifyCheck";
    case Control::CdSpeed:
        return "CdSpeed";
    case Control::DvdSpeed:
        return "DvdSpeed";
    case Control::ProgressCaption:
        return "ProgressCaption";
    case Control::MessageText:
        return "MessageText";
    case Control::CancelButton:
        return "CancelButton";
    case Control::PhaseText:
        return "PhaseText";
    case Control::PhaseFigures:
        return "PhaseFigures";
    case Control::PhaseBar:
        return "PhaseBar";
    case Control::PhaseTime:
        return "PhaseTime";
    case Control::ExtraText:
        return "ExtraText";
    case Control::ExtraBar:
        return "ExtraBar";
    case Control::DiscCount:
        return "DiscCount";
    case Control::ProgressText:
        return "ProgressText";
    case Control::ProgressFigures:
        return "ProgressFigures";
    case Control::ProgressBar:
        return "ProgressBar";
    case Control::ProgressTime:
        return "ProgressTime";
    case Control::BusyCaption:
        return "BusyCaption";
    case Control::BusyInfo:
        return "BusyInfo";
    case Control::BusyCancel:
        return "BusyCancel";
    case Control::RestoreTree:
        return "RestoreTree";
    }
    return "?";
}

namespace {
std::string at(Window window, Control control)
{
    return std::string(MemoryView::windowName(window)) + ' ' + ScriptedView::controlName(control);
}
} // namespace

int ScriptedView::count(const std::string& line) const
{
    int n = 0;
    for (const auto& call : m_calls)
        n += call == line;
    return n;
}

int ScriptedView::countPrefix(const std::string& prefix) const
{
    return static_cast<int>(callsStartingWith(prefix).size());
}

std::vector<std::string> ScriptedView::callsStartingWith(const std::string& prefix) const
{
    std::vector<std::string> found;
    for (const auto& call : m_calls)
        if (call.compare(0, prefix.size(), prefix) == 0)
            found.push_back(call);
    return found;
}

std::string ScriptedView::dump() const
{
    std::string all;
    for (const auto& call : m_calls)
        all += call + '\n';
    return all;
}

void ScriptedView::setText(Window window, Control control, const std::string& text)
{
    record("setText " + at(window, control) + ' ' + text);
    MemoryView::setText(window, control, text);
}

void ScriptedView::setPosition(Window window, Control control, int position)
{
    record("setPosition " + at(window, control) + ' ' + std::to_string(position));
    MemoryView::setPosition(window, control, position);
}

void ScriptedView::setEnabled(Window window, Control control, bool enabled)
{
    record("setEnabled " + at(window, control) + (enabled ? " 1" : " 0"));
    MemoryView::setEnabled(window, control, enabled);
}

void ScriptedView::setVisible(Window window, Control control, bool visible)
{
    record("setVisible " + at(window, control) + (visible ? " 1" : " 0"));
    MemoryView::setVisible(window, control, visible);
}

void ScriptedView::setChecked(Control control, bool checked)
{
    record("setChecked " + std::string(controlName(control)) + (checked ? " 1" : " 0"));
    MemoryView::setChecked(control, checked);
}

void ScriptedView::setItems(Control control, const std::vector<std::string>& items, int selected)
{
    record("setItems " + std::string(controlName(control)) + ' ' + std::to_string(items.size()) + ' '
           + std::to_string(selected));
    MemoryView::setItems(control, items, selected);
}

void ScriptedView::setSelectedIndex(Control control, int index)
{
    record("setSelectedIndex " + std::string(controlName(control)) + ' ' + std::to_string(index));
    MemoryView::setSelectedIndex(control, index);
}

void ScriptedView::setStatusText(int panel, const std::string& text)
{
    record("setStatusText " + std::to_string(panel) + ' ' + text);
    MemoryView::setStatusText(panel, text);
}

void ScriptedView::showWindow(Window window)
{
    record(std::string("showWindow ") + windowName(window));
    MemoryView::showWindow(window);
}

void ScriptedView::hideWindow(Window window)
{
    record(std::string("hideWindow ") + windowName(window));
    MemoryView::hideWindow(window);
}

void ScriptedView::setGeometry(Window window, const WindowGeometry& g)
{
    record(std::string("setGeometry ") + windowName(window) + ' ' + std::to_string(g.left) + ' ' + std::to_string(g.top)
           + ' ' + std::to_string(g.width) + ' ' + std::to_string(g.height));
    MemoryView::setGeometry(window, g);
}

void ScriptedView::processEvents()
{
    record("processEvents");
    if (m_inEvents)
        return;
    m_inEvents = true;
    try {
        while (!m_posted.empty()) {
            auto event = std::move(m_posted.front());
            m_posted.pop_front();
            event();
        }
        if (onProcessEvents)
            onProcessEvents();
    } catch (...) {
        m_inEvents = false;
        throw;
    }
    m_inEvents = false;
}

void ScriptedView::showInformation(const std::string& text) { record("showInformation " + text); }

void ScriptedView::showInformation(const std::string& text, const std::vector<std::string>& details)
{
    keepDetails(details);
    std::string entry = "showInformation " + text;
    for (const std::string& detail : details)
        entry += "\n" + detail;
    record(entry);
}

void ScriptedView::showError(const std::string& text) { record("showError " + text); }

void ScriptedView::queue(const char* kind, bool reply, const std::string& textContains)
{
    m_answers.push_back({kind, reply, textContains});
}

bool ScriptedView::ask(const char* kind, const std::string& text)
{
    const std::string question = std::string(kind) + ' ' + text;
    record(question);
    if (m_answers.empty()) {
        ADD_FAILURE() << "unscripted question: " << question;
        throw UnscriptedQuestion("unscripted question: " + question);
    }
    Answer answer = m_answers.front();
    m_answers.pop_front();
    if (answer.kind != kind || (!answer.textContains.empty() && text.find(answer.textContains) == std::string::npos)) {
        ADD_FAILURE() << "question " << question << " met the scripted answer for " << answer.kind
                      << (answer.textContains.empty() ? "" : " containing \"" + answer.textContains + "\"");
        throw UnscriptedQuestion("unexpected question: " + question);
    }
    return answer.reply;
}

bool ScriptedView::askYesNo(const std::string& text) { return ask("askYesNo", text); }

bool ScriptedView::askYesNoDefaultNo(const std::string& text) { return ask("askYesNoDefaultNo", text); }

bool ScriptedView::askRetryIgnore(const std::string& text) { return ask("askRetryIgnore", text); }

bool ScriptedView::askOkCancel(const std::string& text) { return ask("askOkCancel", text); }

std::vector<std::string> ScriptedView::askNewItems(const std::vector<std::string>& items,
                                                   const std::vector<std::string>& ticked)
{
    std::string question = "askNewItems";
    char separator = ' ';
    for (const std::string& item : items) {
        question += separator + item;
        separator = '\n';
    }
    record(question);
    m_newItemsReference = ticked;
    if (m_newItemsAnswers.empty()) {
        ADD_FAILURE() << "unscripted question: " << question;
        throw UnscriptedQuestion("unscripted question: " + question);
    }
    std::vector<std::string> answer = std::move(m_newItemsAnswers.front());
    m_newItemsAnswers.pop_front();
    return answer;
}

void ScriptedView::openFolder(const std::string& path) { record("openFolder " + path); }

void ScriptedView::openUrl(const std::string& url) { record("openUrl " + url); }

} // namespace torvinel::test
