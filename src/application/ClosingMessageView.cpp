#include "application/ClosingMessageView.h"

namespace torvinel {

void ClosingMessageView::setText(Window window, Control control, const std::string& text)
{
    m_view.setText(window, control, text);
}

std::string ClosingMessageView::text(Window window, Control control) const { return m_view.text(window, control); }

void ClosingMessageView::setPosition(Window window, Control control, int position)
{
    m_view.setPosition(window, control, position);
}

int ClosingMessageView::position(Window window, Control control) const { return m_view.position(window, control); }

void ClosingMessageView::setEnabled(Window window, Control control, bool enabled)
{
    m_view.setEnabled(window, control, enabled);
}

bool ClosingMessageView::isEnabled(Window window, Control control) const
{
    return m_view.isEnabled(window, control);
}

void ClosingMessageView::setVisible(Window window, Control control, bool visible)
{
    m_view.setVisible(window, control, visible);
}

void ClosingMessageView::setChecked(Control control, bool checked) { m_view.setChecked(control, checked); }

bool ClosingMessageView::isChecked(Control control) const { return m_view.isChecked(control); }

void ClosingMessageView::setItems(Control control, const std::vector<std::string>& items, int selected)
{
    m_view.setItems(control, items, selected);
}

std::vector<std::string> ClosingMessageView::items(Control control) const { return m_view.items(control); }

void ClosingMessageView::setSelectedIndex(Control control, int index) { m_view.setSelectedIndex(control, index); }

int ClosingMessageView::selectedIndex(Control control) const { return m_view.selectedIndex(control); }

void ClosingMessageView::setStatusText(int panel, const std::string& text) { m_view.setStatusText(panel, text); }

void ClosingMessageView::showWindow(Window window) { m_view.showWindow(window); }

void ClosingMessageView::hideWindow(Window window) { m_view.hideWindow(window); }

WindowGeometry ClosingMessageView::geometry(Window window) const { return m_view.geometry(window); }

void ClosingMessageView::setGeometry(Window window, const WindowGeometry& geometry)
{
    m_view.setGeometry(window, geometry);
}

WindowGeometry ClosingMessageView::screen() const { return m_view.screen(); }

void ClosingMessageView::processEvents() { m_view.processEvents(); }

void ClosingMessageView::showInformation(const std::string& text)
{
    m_lastInformation = text;
    m_view.showInformation(text);
}

void ClosingMessageView::showInformation(const std::string& text, const std::vector<std::string>& details)
{
    m_lastInformation = text;
    m_view.showInformation(text, details);
}

void ClosingMessageView::showError(const std::string& text) { m_view.showError(text); }

bool ClosingMessageView::askYesNo(const std::string& text) { return m_view.askYesNo(text); }

bool ClosingMessageView::askYesNoDefaultNo(const std::string& text) { return m_view.askYesNoDefaultNo(text); }

bool ClosingMessageView::askRetryIgnore(const std::string& text) { return m_view.askRetryIgnore(text); }

bool ClosingMessageView::askOkCancel(const std::string& text) { return m_view.askOkCancel(text); }

std::vector<std::string> ClosingMessageView::askNewItems(const std::vector<std::string>& items,
                                                         const std::vector<std::string>& ticked)
{
    return m_view.askNewItems(items, ticked);
}

void ClosingMessageView::openFolder(const std::string& path) { m_view.openFolder(path); }

void ClosingMessageView::openUrl(const std::string& url) { m_view.openUrl(url); }

CheckTree& ClosingMessageView::backupTree() { return m_view.backupTree(); }

CheckTree& ClosingMessageView::restoreTree() { return m_view.restoreTree(); }

} // namespace torvinel
