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
    m_lists["cbMaxCDSpeed"].items.assign(CDSpeedItems.begin(), CDSpeedItems.end());
    m_lists["cbMaxDVDSpeed"].items.assign(DVDSpeedItems.begin(), DVDSpeedItems.end());
    control(Window::BackupProgress, "gbProgressbars").text = "Progress";
    control(Window::RestoreProgress, "gbProgressbars").text = "Progress";
    m_geometry[Window::Main] = {0, 0, 700, 440};
}

const char* MemoryView::windowName(Window window)
{
    switch (window) {
    case Window::Main: return "Main";
    case Window::BackupProgress: return "BackupProgress";
    case Window::RestoreProgress: return "RestoreProgress";
    case Window::Busy: return "Busy";
    }
    return "?";
}

namespace {
std::string controlKey(Window window, std::string_view name)
{
    return std::string(MemoryView::windowName(window)) + '/' + std::string(name);
}
} // namespace

MemoryView::Control& MemoryView::control(Window window, std::string_view name)
{
    return m_controls[controlKey(window, name)];
}

const MemoryView::Control* MemoryView::findControl(Window window, std::string_view name) const
{
    auto it = m_controls.find(controlKey(window, name));
    return it == m_controls.end() ? nullptr : &it->second;
}

void MemoryView::setText(Window window, std::string_view name, const std::string& text)
{
    control(window, name).text = text;
}

std::string MemoryView::text(Window window, std::string_view name) const
{
    const Control* c = findControl(window, name);
    return c ? c->text : std::string();
}

void MemoryView::setPosition(Window window, std::string_view name, int position)
{
    control(window, name).position = std::clamp(position, 0, 1000);
}

int MemoryView::position(Window window, std::string_view name) const
{
    const Control* c = findControl(window, name);
    return c ? c->position : 0;
}

void MemoryView::setEnabled(Window window, std::string_view name, bool enabled)
{
    control(window, name).enabled = enabled;
}

bool MemoryView::isEnabled(Window window, std::string_view name) const
{
    const Control* c = findControl(window, name);
    return c ? c->enabled : true;
}

void MemoryView::setVisible(Window window, std::string_view name, bool visible)
{
    control(window, name).visible = visible;
}

bool MemoryView::isVisible(Window window, std::string_view name) const
{
    const Control* c = findControl(window, name);
    return c ? c->visible : true;
}

void MemoryView::setChecked(std::string_view name, bool checked)
{
    auto it = m_checks.find(name);
    if (it == m_checks.end())
        m_checks.emplace(std::string(name), checked);
    else
        it->second = checked;
}

bool MemoryView::isChecked(std::string_view name) const
{
    auto it = m_checks.find(name);
    return it != m_checks.end() && it->second;
}

void MemoryView::setItems(std::string_view name, const std::vector<std::string>& items, int selected)
{
    auto it = m_lists.find(name);
    if (it == m_lists.end())
        it = m_lists.emplace(std::string(name), List()).first;
    it->second.items = items;
    setSelectedIndex(name, selected);
}

std::vector<std::string> MemoryView::items(std::string_view name) const
{
    auto it = m_lists.find(name);
    return it == m_lists.end() ? std::vector<std::string>() : it->second.items;
}

void MemoryView::setSelectedIndex(std::string_view name, int index)
{
    auto it = m_lists.find(name);
    if (it == m_lists.end())
        it = m_lists.emplace(std::string(name), List()).first;
    const int count = static_cast<int>(it->second.items.size());
    it->second.selected = (index >= 0 && index < count) ? index : -1;
}

int MemoryView::selectedIndex(std::string_view name) const
{
    auto it = m_lists.find(name);
    return it == m_lists.end() ? -1 : it->second.selected;
}

void MemoryView::setStatusText(int panel, const std::string& text)
{
    m_status[panel] = text;
}

std::string MemoryView::statusText(int panel) const
{
    auto it = m_status.find(panel);
    return it == m_status.end() ? std::string() : it->second;
}

void MemoryView::showWindow(Window window)
{
    m_shown[window] = true;
}

void MemoryView::hideWindow(Window window)
{
    m_shown[window] = false;
}

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

} // namespace torvinel
