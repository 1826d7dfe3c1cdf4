#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "app/CheckTree.h"

namespace torvinel {

// The windows core writes to.
enum class Window { Main, BackupProgress, RestoreProgress, Busy };

// The controls core reads or writes, each in the window named beside it. A misspelt control
// does not compile; which widget shows each one is the GUI's business.
enum class Control {
    // Main window
    BackupButton,
    RestoreButton,
    AddDiscButton,
    WriterChooser, // the disc writers found at start-up
    WriterGroup,   // the box around WriterChooser, hidden when there is one writer
    RestoreDrive,  // the drive restore reads discs from
    RestoreDriveGroup,
    RestoreToFolder,  // the folder a restore makes its dated folder in ("Restore to...")
    BackupSetChooser, // the backup sets, newest first
    RestoreTree,
    DiscList,     // discs that can be removed from the database
    AddDiscDrive, // the drive a disc's catalogs are added from
    Md5Check,     // compare file contents by MD5
    VerifyCheck,  // verify each disc after burning
    CdSpeed,      // the CD writing speed list
    DvdSpeed,     // the DVD writing speed list
    ImageFolder,    // the image drive's shelf (Advanced page)
    ImageMediaType, // the kind of disc the image drive writes: "CD-R", "DVD-R", "DVD+R", "DVD+R DL"
    // Backup and restore progress windows
    ProgressCaption, // the caption over the bars (the phase title)
    MessageText,     // the message line
    CancelButton,
    // Backup progress window
    PhaseText,    // the line over the phase bar: the step under way ("File: ...")
    PhaseFigures, // what the phase bar measures, with its figures ("Backup: 42% · ...")
    PhaseBar,
    PhaseTime, // elapsed time, rate and time left of what the phase bar measures
    ExtraText, // the line over the second bar
    ExtraBar,
    DiscCount, // the estimate of the discs this run needs
    // Restore progress window
    ProgressText,
    ProgressFigures, // what the bar measures, with its figures ("Restored: 42% · ...")
    ProgressBar,
    ProgressTime, // elapsed time, rate and time left
    // Busy window (the drive search)
    BusyCaption,
    BusyInfo,
    BusyCancel,
};

// What core reads from the controls of the main window when a run starts. An index of -1:
// nothing chosen.
struct RunOptions {
    bool md5 = false;
    bool verify = false;
    int cdSpeedIndex = -1;
    int dvdSpeedIndex = -1;
    int writerIndex = -1;
    int restoreDriveIndex = -1;
    int backupSetIndex = -1;
};

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
    virtual void setText(Window window, Control control, const std::string& text) = 0;
    virtual std::string text(Window window, Control control) const = 0;
    // Progress bars run 0..1000; a value above 1000 is shown as a full bar.
    virtual void setPosition(Window window, Control control, int position) = 0;
    virtual int position(Window window, Control control) const = 0;
    virtual void setEnabled(Window window, Control control, bool enabled) = 0;
    virtual bool isEnabled(Window window, Control control) const = 0;
    virtual void setVisible(Window window, Control control, bool visible) = 0;
    // Check boxes (Md5Check, VerifyCheck).
    virtual void setChecked(Control control, bool checked) = 0;
    virtual bool isChecked(Control control) const = 0;
    // Drop-down lists of the main window. selected = -1 selects nothing (the prompt shows).
    virtual void setItems(Control control, const std::vector<std::string>& items, int selected) = 0;
    virtual std::vector<std::string> items(Control control) const = 0;
    virtual void setSelectedIndex(Control control, int index) = 0;
    virtual int selectedIndex(Control control) const = 0;
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
    // An information box whose details (one item a line) are shown on request: a run's
    // report of the files it left out. Views without such a box show both in one.
    virtual void showInformation(const std::string& text, const std::vector<std::string>& details);
    // text is shown as given; callers use errorBoxText() for the full-stop rule.
    virtual void showError(const std::string& text) = 0;
    virtual bool askYesNo(const std::string& text) = 0;       // true: Yes
    // The same with No as the default answer: a step that loses something (Enter says No).
    virtual bool askYesNoDefaultNo(const std::string& text) = 0; // true: Yes
    virtual bool askRetryIgnore(const std::string& text) = 0; // true: Retry
    virtual bool askOkCancel(const std::string& text) = 0;    // true: OK
    // Start-up: the items of the computer the backup selection does not know yet, in one
    // window, each with a check box, unticked (the safe answer is No), beside the paths
    // ticked now (ticked) for reference. Returns the items the user ticked and added ("Add
    // ticked"), in the order given; none for "Not now" or a closed window. A View without a
    // user returns none.
    virtual std::vector<std::string> askNewItems(const std::vector<std::string>& items,
                                                 const std::vector<std::string>& ticked) = 0;

    // --- the desktop ----------------------------------------------------------------
    virtual void openFolder(const std::string& path) = 0;
    virtual void openUrl(const std::string& url) = 0;
    // False for a View without windows (the command line): the saved window geometry is
    // then neither applied nor written back.
    virtual bool showsWindows() const { return true; }

    // The options a run reads, from the controls above.
    RunOptions options() const;

    // --- check trees ----------------------------------------------------------------
    virtual CheckTree& backupTree() = 0;
    virtual CheckTree& restoreTree() = 0;
};

} // namespace torvinel
