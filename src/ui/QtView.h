#pragma once
#include "app/MemoryCheckTree.h"
#include "app/View.h"

class QWidget;

namespace torvinel::ui {

class MainWindow;
class BackupProgressWindow;
class RestoreProgressWindow;
class BusyWindow;

// The View over the real windows. Each control is the widget of its object name in the
// window it belongs to (the names are listed in QtView.cpp); a widget that does not exist is
// a programming error and is reported with qWarning, the call then does nothing.
//
// Text of a control by kind: label and button: their text; group box: its caption; drop-down
// list: its prompt (shown while nothing is selected) for setText, the selected item or else
// the prompt for text(). Message boxes are titled "Torvinel" and belong to the window in
// front. The progress windows are created after start-up and attached then; until a check
// tree model is attached, the trees are empty in-memory trees.
class QtView : public View {
public:
    explicit QtView(MainWindow& main);

    // The object name of the widget that shows a control: the one place that knows it.
    static const char* objectName(Control control);

    void attachProgressForms(BackupProgressWindow* backup, RestoreProgressWindow* restore);
    // The drive search's busy window (Window::Busy); its caption is the control named
    // "BusyCaption".
    void attachBusyWindow(BusyWindow* busy) { m_busy = busy; }
    void attachBackupTree(CheckTree& tree) { m_backupTree = &tree; }
    void attachRestoreTree(CheckTree& tree) { m_restoreTree = &tree; }
    void detachRestoreTree() { m_restoreTree = &m_emptyRestoreTree; }

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
    // The window of new items (ui/NewItemsWindow).
    std::vector<std::string> askNewItems(const std::vector<std::string>& items,
                                         const std::vector<std::string>& ticked) override;

    // The GUI's own boxes, beyond what core asks for. A warning box whose details (one item a
    // line) are shown on request: the report of a damaged disc.
    void showWarning(const std::string& text, const std::vector<std::string>& details);
    // A choice of one item in a small window, titled title, with current chosen first; the
    // index chosen, or -1 when the user cancelled.
    int askChoice(const std::string& title, const std::string& text, const std::vector<std::string>& items,
                  int current);

    void openFolder(const std::string& path) override;
    void openUrl(const std::string& url) override;

    CheckTree& backupTree() override { return *m_backupTree; }
    CheckTree& restoreTree() override { return *m_restoreTree; }

private:
    QWidget* window(Window window) const;
    QWidget* control(Window window, std::string_view name) const;
    template <typename T> T* controlOf(Window window, std::string_view name) const;
    QWidget* dialogParent() const;
    void showWithDetails(int icon, const std::string& text, const std::vector<std::string>& details);

    MainWindow& m_main;
    BackupProgressWindow* m_backupProgress = nullptr;
    RestoreProgressWindow* m_restoreProgress = nullptr;
    BusyWindow* m_busy = nullptr;
    MemoryCheckTree m_emptyBackupTree;
    MemoryCheckTree m_emptyRestoreTree;
    CheckTree* m_backupTree = &m_emptyBackupTree;
    CheckTree* m_restoreTree = &m_emptyRestoreTree;
};

} // namespace torvinel::ui
