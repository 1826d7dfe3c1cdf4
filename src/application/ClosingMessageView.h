#pragma once
#include <string>
#include <vector>

#include "app/View.h"

namespace torvinel {

// A View that passes every call on to another and keeps the text of the last information box
// shown through it: a backup or restore run ends with such a box, whose text is the run's
// closing message. The details of a box are not kept.
class ClosingMessageView : public View {
public:
    explicit ClosingMessageView(View& view) : m_view(view) { }

    // The last information box's text since forget(); "" when none was shown.
    const std::string& lastInformation() const { return m_lastInformation; }
    void forget() { m_lastInformation.clear(); }

    void setText(Window window, Control control, const std::string& text) override;
    std::string text(Window window, Control control) const override;
    void setPosition(Window window, Control control, int position) override;
    int position(Window window, Control control) const override;
    void setEnabled(Window window, Control control, bool enabled) override;
    bool isEnabled(Window window, Control control) const override;
    void setVisible(Window window, Control control, bool visible) override;
    void setChecked(Control control, bool checked) override;
    bool isChecked(Control control) const override;
    void setItems(Control control, const std::vector<std::string>& items, int selected) override;
    std::vector<std::string> items(Control control) const override;
    void setSelectedIndex(Control control, int index) override;
    int selectedIndex(Control control) const override;
    void setStatusText(int panel, const std::string& text) override;
    void showWindow(Window window) override;
    void hideWindow(Window window) override;
    WindowGeometry geometry(Window window) const override;
    void setGeometry(Window window, const WindowGeometry& geometry) override;
    WindowGeometry screen() const override;
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
    bool showsWindows() const override { return m_view.showsWindows(); }
    CheckTree& backupTree() override;
    CheckTree& restoreTree() override;

private:
    View& m_view;
    std::string m_lastInformation;
};

} // namespace torvinel
