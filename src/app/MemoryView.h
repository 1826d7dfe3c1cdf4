#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/MemoryCheckTree.h"
#include "app/View.h"

namespace torvinel {

// The state half of a View kept in memory, for views without real windows (the terminal and
// tests): control texts, bar positions, enabled and visible flags, check boxes, drop-down
// lists, window geometry, the status bar and two in-memory check trees. Message boxes,
// event handling and the desktop are left to the subclass; the start-up's new items are
// answered as a View without a user does: none is added.
//
// It behaves like the windows in what core relies on:
// - the speed lists hold their items from the start (selected: none);
// - a selection outside a list's items selects nothing (-1);
// - the main window is 700 x 440 as designed and never smaller than 620 x 440;
// - the progress windows' group boxes start with the caption "Progress";
// - controls start enabled and visible, texts blank, bars at 0.
class MemoryView : public View {
public:
    MemoryView();

    void setText(Window window, Control control, const std::string& text) override;
    std::string text(Window window, Control control) const override;
    void setPosition(Window window, Control control, int position) override;
    int position(Window window, Control control) const override;
    void setEnabled(Window window, Control control, bool enabled) override;
    bool isEnabled(Window window, Control control) const override;
    void setVisible(Window window, Control control, bool visible) override;
    bool isVisible(Window window, Control control) const;
    void setChecked(Control control, bool checked) override;
    bool isChecked(Control control) const override;
    void setItems(Control control, const std::vector<std::string>& items, int selected) override;
    std::vector<std::string> items(Control control) const override;
    void setSelectedIndex(Control control, int index) override;
    int selectedIndex(Control control) const override;
    void setStatusText(int panel, const std::string& text) override;
    std::string statusText(int panel) const;

    void showWindow(Window window) override;
    void hideWindow(Window window) override;
    bool isShown(Window window) const;
    WindowGeometry geometry(Window window) const override;
    void setGeometry(Window window, const WindowGeometry& geometry) override;
    WindowGeometry screen() const override { return m_screen; }
    void setScreen(int width, int height) { m_screen = {0, 0, width, height}; }

    // Records the details and shows the text as the one-argument box does.
    using View::showInformation;
    void showInformation(const std::string& text, const std::vector<std::string>& details) override;
    // The details of the last information box that had some.
    const std::vector<std::string>& informationDetails() const { return m_informationDetails; }

    std::vector<std::string> askNewItems(const std::vector<std::string>&, const std::vector<std::string>&) override
    {
        return {};
    }

    CheckTree& backupTree() override { return m_backupTree; }
    CheckTree& restoreTree() override { return m_restoreTree; }
    MemoryCheckTree& backupMemoryTree() { return m_backupTree; }
    MemoryCheckTree& restoreMemoryTree() { return m_restoreTree; }

    static const char* windowName(Window window);

private:
    struct ControlState {
        std::string text;
        int position = 0;
        bool enabled = true;
        bool visible = true;
    };
    struct List {
        std::vector<std::string> items;
        int selected = -1;
    };

protected:
    // For views that record the box themselves: the details informationDetails() gives.
    void keepDetails(const std::vector<std::string>& details) { m_informationDetails = details; }

private:
    ControlState& state(Window window, Control control);
    const ControlState* findState(Window window, Control control) const;

    std::map<std::pair<Window, Control>, ControlState> m_controls;
    std::map<Control, bool> m_checks;
    std::map<Control, List> m_lists;
    std::map<Window, WindowGeometry> m_geometry;
    std::map<Window, bool> m_shown;
    std::map<int, std::string> m_status;
    WindowGeometry m_screen{0, 0, 1024, 768};
    std::vector<std::string> m_informationDetails;
    MemoryCheckTree m_backupTree;
    MemoryCheckTree m_restoreTree;
};

} // namespace torvinel
