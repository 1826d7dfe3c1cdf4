#include "ui/QtView.h"

#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QTextEdit>
#include <QUrl>

#include "ui/MainWindow.h"
#include "ui/BackupProgressWindow.h"
#include "ui/RestoreProgressWindow.h"
#include "ui/BusyWindow.h"
#include "ui/NewItemsWindow.h"

namespace torvinel::ui {

namespace {

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string ss(const QString& text) { return text.toUtf8().toStdString(); }

const char* const title = "Torvinel";

} // namespace

const char* QtView::objectName(Control control)
{
    switch (control) {
    case Control::BackupButton:
        return "BackupButton";
    case Control::RestoreButton:
        return "RestoreButton";
    case Control::AddDiscButton:
        return "AddDisk";
    case Control::WriterChooser:
        return "DeviceChooser";
    case Control::WriterGroup:
        return "gbDeviceChooser";
    case Control::RestoreDrive:
        return "cbRestoreFrom";
    case Control::RestoreToFolder:
        return "edRestoreTo";
    case Control::RestoreDriveGroup:
        return "gbRestoreFrom";
    case Control::BackupSetChooser:
        return "RestoreChooser";
    case Control::RestoreTree:
        return "RestoreTree";
    case Control::DiscList:
        return "Disklist";
    case Control::AddDiscDrive:
        return "cbAddDisks";
    case Control::Md5Check:
        return "cbDoMD5";
    case Control::VerifyCheck:
        return "cbDoVerify";
    case Control::CdSpeed:
        return "cbMaxCDSpeed";
    case Control::DvdSpeed:
        return "cbMaxDVDSpeed";
    case Control::ImageFolder:
        return "edImageFolder";
    case Control::ImageMediaType:
        return "cbImageMediaType";
    case Control::ProgressCaption:
        return "gbProgressbars";
    case Control::MessageText:
        return "lMessage";
    case Control::CancelButton:
        return "bCancel";
    case Control::PhaseText:
        return "LPhase";
    case Control::PhaseFigures:
        return "LPhaseFigures";
    case Control::PhaseBar:
        return "pbPhase";
    case Control::PhaseTime:
        return "LPhaseTime";
    case Control::ExtraText:
        return "LExtra";
    case Control::ExtraBar:
        return "pbExtra";
    case Control::DiscCount:
        return "HowManyDisks";
    case Control::ProgressText:
        return "LProgress";
    case Control::ProgressFigures:
        return "LProgressFigures";
    case Control::ProgressBar:
        return "pbProgress";
    case Control::ProgressTime:
        return "LProgressTime";
    case Control::BusyCaption:
        return "TfrmOperationProgress";
    case Control::BusyInfo:
        return "lblInfo";
    case Control::BusyCancel:
        return "btnCancel";
    }
    return "";
}

QtView::QtView(MainWindow& main) : m_main(main) { }

void QtView::attachProgressForms(BackupProgressWindow* backup, RestoreProgressWindow* restore)
{
    m_backupProgress = backup;
    m_restoreProgress = restore;
}

QWidget* QtView::window(Window window) const
{
    switch (window) {
    case Window::Main:
        return &m_main;
    case Window::BackupProgress:
        return m_backupProgress;
    case Window::RestoreProgress:
        return m_restoreProgress;
    case Window::Busy:
        return m_busy;
    }
    return nullptr;
}

QWidget* QtView::control(Window w, std::string_view name) const
{
    QWidget* owner = window(w);
    if (!owner)
        return nullptr;
    if (owner->objectName() == qs(name))
        return owner; // the window itself: its caption
    auto* found = owner->findChild<QWidget*>(qs(name));
    if (!found)
        qWarning("Torvinel: no control named %s in window %s", std::string(name).c_str(),
                 qPrintable(owner->objectName()));
    return found;
}

template <typename T> T* QtView::controlOf(Window w, std::string_view name) const
{
    QWidget* found = control(w, name);
    T* typed = qobject_cast<T*>(found);
    if (found && !typed)
        qWarning("Torvinel: control %s is a %s", std::string(name).c_str(), found->metaObject()->className());
    return typed;
}

void QtView::setText(Window w, Control id, const std::string& text)
{
    QWidget* c = control(w, objectName(id));
    const QString t = qs(text);
    if (auto* label = qobject_cast<QLabel*>(c))
        label->setText(t);
    else if (auto* group = qobject_cast<QGroupBox*>(c))
        group->setTitle(t);
    else if (auto* button = qobject_cast<QAbstractButton*>(c))
        button->setText(t);
    else if (auto* box = qobject_cast<QComboBox*>(c))
        box->setPlaceholderText(t);
    else if (auto* line = qobject_cast<QLineEdit*>(c))
        line->setText(t);
    else if (auto* edit = qobject_cast<QTextEdit*>(c))
        edit->setPlainText(t);
    else if (c && c->isWindow())
        c->setWindowTitle(t);
    else if (c)
        qWarning("Torvinel: control %s has no text", objectName(id));
}

std::string QtView::text(Window w, Control id) const
{
    QWidget* c = control(w, objectName(id));
    if (auto* label = qobject_cast<QLabel*>(c))
        return ss(label->text());
    if (auto* group = qobject_cast<QGroupBox*>(c))
        return ss(group->title());
    if (auto* button = qobject_cast<QAbstractButton*>(c))
        return ss(button->text());
    if (auto* box = qobject_cast<QComboBox*>(c))
        return ss(box->currentIndex() >= 0 ? box->currentText() : box->placeholderText());
    if (auto* line = qobject_cast<QLineEdit*>(c))
        return ss(line->text());
    if (auto* edit = qobject_cast<QTextEdit*>(c))
        return ss(edit->toPlainText());
    if (c && c->isWindow())
        return ss(c->windowTitle());
    return {};
}

void QtView::setPosition(Window w, Control id, int position)
{
    // A bar ignores values outside its range; above the range means full.
    if (auto* bar = controlOf<QProgressBar>(w, objectName(id)))
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
}

int QtView::position(Window w, Control id) const
{
    auto* bar = controlOf<QProgressBar>(w, objectName(id));
    return bar ? std::max(bar->value(), bar->minimum()) : 0;
}

void QtView::setEnabled(Window w, Control id, bool enabled)
{
    if (QWidget* c = control(w, objectName(id)))
        c->setEnabled(enabled);
}

bool QtView::isEnabled(Window w, Control id) const
{
    QWidget* c = control(w, objectName(id));
    return c && c->isEnabled();
}

void QtView::setVisible(Window w, Control id, bool visible)
{
    if (QWidget* c = control(w, objectName(id)))
        c->setVisible(visible);
}

void QtView::setChecked(Control id, bool checked)
{
    if (auto* box = controlOf<QAbstractButton>(Window::Main, objectName(id)))
        box->setChecked(checked);
}

bool QtView::isChecked(Control id) const
{
    auto* box = controlOf<QAbstractButton>(Window::Main, objectName(id));
    return box && box->isChecked();
}

void QtView::setItems(Control id, const std::vector<std::string>& items, int selected)
{
    auto* box = controlOf<QComboBox>(Window::Main, objectName(id));
    if (!box)
        return;
    QStringList list;
    for (const auto& item : items)
        list << qs(item);
    box->clear();
    box->addItems(list);
    setSelectedIndex(id, selected);
}

std::vector<std::string> QtView::items(Control id) const
{
    std::vector<std::string> result;
    if (auto* box = controlOf<QComboBox>(Window::Main, objectName(id)))
        for (int i = 0; i < box->count(); ++i)
            result.push_back(ss(box->itemText(i)));
    return result;
}

void QtView::setSelectedIndex(Control id, int index)
{
    if (auto* box = controlOf<QComboBox>(Window::Main, objectName(id)))
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

int QtView::selectedIndex(Control id) const
{
    auto* box = controlOf<QComboBox>(Window::Main, objectName(id));
    return box ? box->currentIndex() : -1;
}

void QtView::setStatusText(int panel, const std::string& text)
{
    if (QLabel* label = m_main.statusPanel(panel))
        label->setText(qs(text));
}

void QtView::showWindow(Window w)
{
    if (QWidget* win = window(w)) {
        win->show();
        win->raise();
        win->activateWindow();
    }
}

void QtView::hideWindow(Window w)
{
    if (QWidget* win = window(w))
        win->hide();
}

WindowGeometry QtView::geometry(Window w) const
{
    QWidget* win = window(w);
    if (!win)
        return {};
    // Position of the frame, size of the inside: what setGeometry takes back unchanged.
    return {win->x(), win->y(), win->width(), win->height()};
}

void QtView::setGeometry(Window w, const WindowGeometry& g)
{
    QWidget* win = window(w);
    if (!win)
        return;
    // The main window's minimum size keeps it at 620 x 440 or more; the progress windows
    // have a fixed size and only move.
    win->resize(g.width, g.height);
    win->move(g.left, g.top);
}

WindowGeometry QtView::screen() const
{
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return {0, 0, 0, 0};
    const QRect whole = primary->geometry();
    return {0, 0, whole.width(), whole.height()};
}

void QtView::processEvents() { QCoreApplication::processEvents(); }

QWidget* QtView::dialogParent() const
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    for (QWidget* candidate : {static_cast<QWidget*>(m_backupProgress), static_cast<QWidget*>(m_restoreProgress),
                               static_cast<QWidget*>(&m_main)})
        if (candidate && candidate->isVisible())
            return candidate;
    return nullptr;
}

void QtView::showInformation(const std::string& text) { QMessageBox::information(dialogParent(), title, qs(text)); }

void QtView::showInformation(const std::string& text, const std::vector<std::string>& details)
{
    showWithDetails(QMessageBox::Information, text, details);
}

void QtView::showWarning(const std::string& text, const std::vector<std::string>& details)
{
    showWithDetails(QMessageBox::Warning, text, details);
}

void QtView::showWithDetails(int icon, const std::string& text, const std::vector<std::string>& details)
{
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), title, qs(text), QMessageBox::Ok, dialogParent());
    QStringList lines;
    for (const std::string& line : details)
        lines << qs(line);
    box.setDetailedText(lines.join('\n'));
    box.exec();
}

int QtView::askChoice(const std::string& caption, const std::string& text, const std::vector<std::string>& items,
                      int current)
{
    QStringList list;
    for (const std::string& item : items)
        list << qs(item);
    bool chosen = false;
    const QString answer = QInputDialog::getItem(dialogParent(), qs(caption), qs(text), list, current, false, &chosen);
    return chosen ? static_cast<int>(list.indexOf(answer)) : -1;
}

void QtView::showError(const std::string& text) { QMessageBox::critical(dialogParent(), title, qs(text)); }

bool QtView::askYesNo(const std::string& text)
{
    return QMessageBox::question(dialogParent(), title, qs(text), QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        == QMessageBox::Yes;
}

bool QtView::askYesNoDefaultNo(const std::string& text)
{
    return QMessageBox::question(dialogParent(), title, qs(text), QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

bool QtView::askRetryIgnore(const std::string& text)
{
    return QMessageBox::warning(dialogParent(), title, qs(text), QMessageBox::Retry | QMessageBox::Ignore,
                                QMessageBox::Retry)
        == QMessageBox::Retry;
}

bool QtView::askOkCancel(const std::string& text)
{
    // The only OK/Cancel question asks for a disc: a plain box, without an icon.
    QMessageBox box(QMessageBox::NoIcon, title, qs(text), QMessageBox::Ok | QMessageBox::Cancel, dialogParent());
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

std::vector<std::string> QtView::askNewItems(const std::vector<std::string>& items,
                                             const std::vector<std::string>& ticked)
{
    NewItemsWindow window(items, ticked, dialogParent());
    return window.exec() == QDialog::Accepted ? window.tickedItems() : std::vector<std::string>();
}

void QtView::openFolder(const std::string& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(qs(path))); }

void QtView::openUrl(const std::string& url) { QDesktopServices::openUrl(QUrl(qs(url))); }

} // namespace torvinel::ui
