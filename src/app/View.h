#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "app/CheckTree.h"

namespace torvinel {

// The windows core writes to. Controls are addressed by window and by the control's
// design name ("lMessage", "pbPhase", "cbDoMD5", "RestoreButton", ...); the names are
// unique within a window.
enum class Window { Main, BackupProgress, RestoreProgress, Busy };

struct WindowGeometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Everything core needs from the screen. Three implementations: the Qt GUI (ui/QtView),
// the terminal (cli/TerminalView) and a scripted one for tests (tests/support/ScriptedView).
// Core never includes Qt Widgets; it talks to the user only through this port.
class View {
public:
    virtual ~View() = default;

    // --- controls -------------------------------------------------------------------
    virtual void setText(Window window, std::string_view control, const std::string& text) = 0;
    virtual std::string text(Window window, std::string_view control) const = 0;
    // Progress bars run 0..1000; a value above 1000 is shown as a full bar.
    virtual void setPosition(Window window, std::string_view control, int position) = 0;
    virtual int position(Window window, std::string_view control) const = 0;
    virtual void setEnabled(Window window, std::string_view control, bool enabled) = 0;
    virtual bool isEnabled(Window window, std::string_view control) const = 0;
    virtual void setVisible(Window window, std::string_view control, bool visible) = 0;
    // Check boxes (cbDoMD5, cbDoVerify).
    virtual void setChecked(std::string_view control, bool checked) = 0;
    virtual bool isChecked(std::string_view control) const = 0;
    // Drop-down lists of the main window. selected = -1 selects nothing (the prompt shows).
    virtual void setItems(std::string_view control, const std::vector<std::string>& items, int selected) = 0;
    virtual std::vector<std::string> items(std::string_view control) const = 0;
    virtual void setSelectedIndex(std::string_view control, int index) = 0;
    virtual int selectedIndex(std::string_view control) const = 0;
    // The status bar's panels (0: 350 pixels, 1: 50 pixels).
    virtual void setStatusText(int panel, const std::string& text) = 0;

    // --- windows --------------------------------------------------------------------
    virtual void showWindow(Window window) = 0;
    virtual void hideWindow(Window window) = 0;
    virtual WindowGeometry geometry(Window window) const = 0;
    // Applies what it can; the main window never gets smaller than 620 x 440.
    virtual void setGeometry(Window window, const WindowGeometry& geometry) = 0;
    // Size of the whole primary screen (left/top are 0).
    virtual WindowGeometry screen() const = 0;
    // Lets pending user-interface events run (a Cancel click takes effect here).
    virtual void processEvents() = 0;

    // --- message boxes (title "Torvinel") --------------------------------------------
    virtual void showInformation(const std::string& text) = 0;
    // text is shown as given; callers use errorBoxText() for the full-stop rule.
    virtual void showError(const std::string& text) = 0;
    virtual bool askYesNo(const std::string& text) = 0;     // true: Yes
    virtual bool askRetryIgnore(const std::string& text) = 0; // true: Retry
    virtual bool askOkCancel(const std::string& text) = 0;  // true: OK

    // --- the desktop ----------------------------------------------------------------
    virtual void openFolder(const std::string& path) = 0;
    virtual void openUrl(const std::string& url) = 0;

    // --- check trees ----------------------------------------------------------------
    virtual CheckTree& backupTree() = 0;
    virtual CheckTree& restoreTree() = 0;
};

} // namespace torvinel
