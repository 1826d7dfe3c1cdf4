#pragma once
#include "app/MemoryCheckTree.h"
#include "app/View.h"

class QWidget;

namespace torvinel::ui {

class MainWindow;
class BackupProgressWindow;
class RestoreProgressWindow;
class BusyWindow;

// The View over the real windows. Controls are found by their design name (objectName) in
// the window they belong to; a name that does not exist is a programming error and is
// reported with qWarning, the call then does nothing.
//
// Text of a control by kind: label and button: their text; group box: its caption; drop-down
// list: its prompt (shown while nothing is selected) for setText, the selected item or else
// the prompt for text(). Message boxes are titled "Torvinel" and belong to the window in
// front. The progress windows are created after start-up and attached then; until a check
// tree model is attached, the trees are empty in-memory trees.
class QtView : public View {
public:
    explicit QtView(MainWindow& main);

    void attachProgressForms(BackupProgressWindow* backup, RestoreProgressWindow* restore);
    // The drive search's busy window (Window::Busy); its caption is the control named
    // "BusyWindow".
    void attachBusyWindow(BusyWindow* busy) { m_busy = busy; }
    void attachBackupTree(CheckTree& tree) { m_backupTree = &tree; }
    void attachRestoreTree(CheckTree& tree) { m_restoreTree = &tree; }

    void setText(Window window, std::string_view control, const std::string& text) override;
    std::string text(Window window, std::string_view control) const override;
    void setPosition(Window window, std::string_view control, int position) override;
    int position(Window window, std::string_view control) const override;
    void setEnabled(Window window, std::string_view control, bool enabled) override;
    bool isEnabled(Window window, std::string_view control) const override;
    void setVisible(Window window, std::string_view control, bool visible) override;
    void setChecked(std::string_view control, bool checked) override;
    bool isChecked(std::string_view control) const override;
    void setItems(std::string_view control, const std::vector<std::string>& items, int selected) override;
    std::vector<std::string> items(std::string_view control) const override;
    void setSelectedIndex(std::string_view control, int index) override;
    int selectedIndex(std::string_view control) const override;
    void setStatusText(int panel, const std::string& text) override;

    void showWindow(Window window) override;
    void hideWindow(Window window) override;
    WindowGeometry geometry(Window window) const override;
    void setGeometry(Window window, const WindowGeometry& geometry) override;
    WindowGeometry screen() const override;
    void processEvents() override;

    void showInformation(const std::string& text) override;
    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    bool askRetryIgnore(const std::string& text) override;
    bool askOkCancel(const std::string& text) override;

    void openFolder(const std::string& path) override;
    void openUrl(const std::string& url) override;

    CheckTree& backupTree() override { return *m_backupTree; }
    CheckTree& restoreTree() override { return *m_restoreTree; }

private:
    QWidget* window(Window window) const;
    QWidget* control(Window window, std::string_view name) const;
    template <typename T>
    T* controlOf(Window window, std::string_view name) const;
    QWidget* dialogParent() const;

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
