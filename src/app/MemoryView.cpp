#include "app/MemoryView.h"

#include <algorithm>

#include "app/SpeedLists.h"

namespace torvinel {

namespace {
constexpr int mainMinWidth = 620;
constexpr int mainMinHeight = 440;
} // namespace

MemoryView::MemoryView()
{
    m_lists[Control::CdSpeed].items.assign(CDSpeedItems.begin(), CDSpeedItems.end());
    m_lists[Control::DvdSpeed].items.assign(DVDSpeedItems.begin(), DVDSpeedItems.end());
    state(Window::BackupProgress, Control::ProgressCaption).text = "Progress";
    state(Window::RestoreProgress, Control::ProgressCaption).text = "Progress";
    m_geometry[Window::Main] = {0, 0, 700, 440};
}

const char* MemoryView::windowName(Window window)
{
    switch (window) {
    case Window::Main:
        return "Main";
    case Window::BackupProgress:
        return "BackupProgress";
    case Window::RestoreProgress:
        return "RestoreProgress";
    case Window::Busy:
        return "Busy";
    }
    return "?";
}

MemoryView::ControlState& MemoryView::state(Window window, Control control) { return m_controls[{window, control}]; }

const MemoryView::ControlState* MemoryView::findState(Window window, Control control) const
{
    auto it = m_controls.find({window, control});
    return it == m_controls.end() ? nullptr : &it->second;
}

void MemoryView::setText(Window window, Control control, const std::string& text)
{
    state(window, control).text = text;
}

std::string MemoryView::text(Window window, Control control) const
{
    const ControlState* c = findState(window, control);
    return c ? c->text : std::string();
}

void MemoryView::setPosition(Window window, Control control, int position)
{
    state(window, control).position = std::clamp(position, 0, 1000);
}

int MemoryView::position(Window window, Control control) const
{
    const ControlState* c = findState(window, control);
    return c ? c->position : 0;
}

void MemoryView::setEnabled(Window window, Control control, bool enabled) { state(window, control).enabled = enabled; }

bool MemoryView::isEnabled(Window window, Control control) const
{
    const ControlState* c = findState(window, control);
    return c ? c->enabled : true;
}

void MemoryView::setVisible(Window window, Control control, bool visible) { state(window, control).visible = visible; }

bool MemoryView::isVisible(Window window, Control control) const
{
    const ControlState* c = findState(window, control);
    return c ? c->visible : true;
}

void MemoryView::setChecked(Control control, bool checked)
{
    auto it = m_checks.find(control);
    if (it == m_checks.end())
        m_checks.emplace(control, checked);
    else
        it->second = checked;
}

bool MemoryView::isChecked(Control control) const
{
    auto it = m_checks.find(control);
    return it != m_checks.end() && it->second;
}

void MemoryView::setItems(Control control, const std::vector<std::string>& items, int selected)
{
    auto it = m_lists.find(control);
    if (it == m_lists.end())
        it = m_lists.emplace(control, List()).first;
    it->second.items = items;
    setSelectedIndex(control, selected);
}

std::vector<std::string> MemoryView::items(Control control) const
{
    auto it = m_lists.find(control);
    return it == m_lists.end() ? std::vector<std::string>() : it->second.items;
}

void MemoryView::setSelectedIndex(Control control, int index)
{
    auto it = m_lists.find(control);
    if (it == m_lists.end())
        it = m_lists.emplace(control, List()).first;
    const int count = static_cast<int>(it->second.items.size());
    it->second.selected = (index >= 0 && index < count) ? index : -1;
}

int MemoryView::selectedIndex(Control control) const
{
    auto it = m_lists.find(control);
    return it == m_lists.end() ? -1 : it->second.selected;
}

void MemoryView::setStatusText(int panel, const std::string& text) { m_status[panel] = text; }

std::string MemoryView::statusText(int panel) const
{
    auto it = m_status.find(panel);
    return it == m_status.end() ? std::string() : it->second;
}

void MemoryView::showWindow(Window window) { m_shown[window] = true; }

void MemoryView::hideWindow(Window window) { m_shown[window] = false; }

bool MemoryView::isShown(Window window) const
{
    auto it = m_shown.find(window);
    return it != m_shown.end() && it->second;
}

WindowGeometry MemoryView::geometry(Window window) const
{
    auto it = m_geometry.find(window);
    return it == m_geometry.end() ? WindowGeometry() : it->second;
}

void MemoryView::setGeometry(Window window, const WindowGeometry& geometry)
{
    WindowGeometry applied = geometry;
    if (window == Window::Main) {
        applied.width = std::max(applied.width, mainMinWidth);
        applied.height = std::max(applied.height, mainMinHeight);
    }
    m_geometry[window] = applied;
}

void MemoryView::showInformation(const std::string& text, const std::vector<std::string>& details)
{
    m_informationDetails = details;
    showInformation(text);
}

} // namespace torvinel
