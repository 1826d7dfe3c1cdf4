#pragma once
#include <functional>

#include <QMainWindow>
#include <QUrl>

class QLabel;
class QTabWidget;
class QTextBrowser;

namespace torvinel::ui {

// The main window: four pages (Backup, Restore, Advanced, About) above a status bar of two
// panels. Every control carries its design name as objectName; QtView finds them by it.
// The window holds no program logic: its handlers forward to core, and the start-up and
// shut-down sequences are attached from outside (main.cpp) so that the window can also be
// built on its own, as the GUI tests do.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int designedWidth = 700;
    static constexpr int designedHeight = 440;
    static constexpr int minimumWidth = 620;
    static constexpr int minimumHeight = 440;
    static constexpr int tabWidth = 100;
    static constexpr int tabHeight = 25;

    explicit MainWindow(QWidget* parent = nullptr);

    // Asked when the window is to close; false keeps it open (a run is going on). Once it
    // has returned true (having run the shut-down sequence), it is not asked again.
    void setCloseHandler(std::function<bool()> handler) { m_closeHandler = std::move(handler); }
    // What the Backup button runs: one backup run (backup/BackupRun.h), attached from outside.
    // What the command buttons and the backup-set chooser run; the window holds no logic.
    struct Handlers {
        std::function<void()> backup;
        std::function<void()> restore;
        std::function<void()> restoreChooserChange;
        std::function<void()> removeDisk;
        std::function<void()> addDisk;
        std::function<void()> chooseRestoreFolder;  // the "Restore to..." button
        std::function<void()> chooseImageFolder;    // the image drive's "Folder..." button
        std::function<void()> imageMediaTypeChosen; // the user picked the image drive's media type
        std::function<void()> verifyDisk;           // "Verify disc" on the Advanced page
    };
    void setHandlers(Handlers handlers) { m_handlers = std::move(handlers); }
    void setBackupHandler(std::function<void()> handler) { m_handlers.backup = std::move(handler); }

    // Asks the user for a folder, starting at current; "" when the user cancelled. A folder
    // chooser by default; tests answer in its place.
    std::function<QString(const QString& current)> chooseFolder;

    QTabWidget* pages() const { return m_pages; }
    // The status bar's panels: 0 (350 pixels) and 1 (50 pixels).
    QLabel* statusPanel(int panel) const;

    static const char* const aboutAddress;

public slots:
    // The handlers of later work; present so the controls are wired from the start.
    void backupClicked() { run(m_handlers.backup); }
    void restoreClicked() { run(m_handlers.restore); }
    void backupSetChosen() { run(m_handlers.restoreChooserChange); }
    void removeClicked() { run(m_handlers.removeDisk); }
    void addDiskClicked() { run(m_handlers.addDisk); }
    void restoreToClicked() { run(m_handlers.chooseRestoreFolder); }
    void imageFolderClicked() { run(m_handlers.chooseImageFolder); }
    void imageMediaTypeActivated() { run(m_handlers.imageMediaTypeChosen); }
    void verifyDiskClicked() { run(m_handlers.verifyDisk); }
    void AboutboxURLClick(const QUrl& address);

protected:
    static void run(const std::function<void()>& handler)
    {
        if (handler)
            handler();
    }
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* makeBackupPage();
    QWidget* makeRestorePage();
    QWidget* makeAdvancedPage();
    QWidget* makeAboutPage();
    void makeStatusBar();

    QTabWidget* m_pages = nullptr;
    QLabel* m_panels[2] = {nullptr, nullptr};
    std::function<bool()> m_closeHandler;
    Handlers m_handlers;
    bool m_closed = false;
    bool m_deciding = false; // the close handler runs (its question may be up)
};

} // namespace torvinel::ui
