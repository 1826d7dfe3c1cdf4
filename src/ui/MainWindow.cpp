#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/SpeedLists.h"

namespace torvinel::ui {

const char* const MainWindow::aboutAddress = "https://torvinel.org";

namespace {

// Page tabs of one fixed size, whatever their caption.
class PageTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;

protected:
    QSize tabSizeHint(int) const override { return {MainWindow::tabWidth, MainWindow::tabHeight}; }
    QSize minimumTabSizeHint(int) const override { return {MainWindow::tabWidth, MainWindow::tabHeight}; }
};

class PageControl : public QTabWidget {
public:
    explicit PageControl(QWidget* parent) : QTabWidget(parent)
    {
        auto* bar = new PageTabBar(this);
        bar->setObjectName("PageTabs");
        bar->setIconSize({16, 16});
        bar->setElideMode(Qt::ElideNone);
        // A fixed 100-pixel tab leaves the style little room beside the icon; a slightly
        // smaller type keeps "Advanced" clear of it.
        QFont font = bar->font();
        font.setPointSizeF(font.pointSizeF() * 0.9);
        bar->setFont(font);
        setTabBar(bar);
    }
};

template <typename Widget> Widget* named(Widget* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A drop-down list whose prompt shows until an item is selected. Its width follows the
// layout, not its longest item, so long prompts never push the window wider.
QComboBox* dropDown(const char* name, const QString& prompt)
{
    auto* box = named(new QComboBox, name);
    box->setPlaceholderText(prompt);
    box->setCurrentIndex(-1);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(8);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return box;
}

template <std::size_t N> QStringList listOf(const std::array<std::string_view, N>& items)
{
    QStringList list;
    for (std::string_view item : items)
        list << QString::fromUtf8(item.data(), static_cast<int>(item.size()));
    return list;
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("Main");
    setWindowTitle("Torvinel");
    setWindowIcon(style()->standardIcon(QStyle::SP_DriveCDIcon));

    m_pages = named(new PageControl(this), "PageControl");
    QStyle* s = style();
    m_pages->addTab(makeBackupPage(), s->standardIcon(QStyle::SP_DialogSaveButton), "Backup");
    m_pages->addTab(makeRestorePage(), s->standardIcon(QStyle::SP_DialogOpenButton), "Restore");
    m_pages->addTab(makeAdvancedPage(), s->standardIcon(QStyle::SP_FileDialogDetailedView), "Advanced");
    m_pages->addTab(makeAboutPage(), s->standardIcon(QStyle::SP_MessageBoxInformation), "About");
    m_pages->tabBar()->setAttribute(Qt::WA_Hover); // tabs highlight under the mouse
    setCentralWidget(m_pages);
    makeStatusBar();

    chooseFolder = [this](const QString& current) {
        return QFileDialog::getExistingDirectory(this, "Restore to", current);
    };
    setMinimumSize(minimumWidth, minimumHeight);
    resize(designedWidth, designedHeight);
    m_pages->setCurrentIndex(3); // opens on About
}

QWidget* MainWindow::makeBackupPage()
{
    auto* page = named(new QWidget, "BackupPage");
    auto* tree = named(new QTreeView, "BackupTree");

    auto* chooser = named(new QGroupBox("Choose a backup drive"), "gbDeviceChooser");
    auto* chooserLayout = new QHBoxLayout(chooser);
    chooserLayout->addWidget(dropDown("DeviceChooser", "Finding Backup devices..."));

    auto* backup = named(new QPushButton("Backup"), "BackupButton");
    backup->setToolTip("Click here to start the backup");
    backup->setDefault(true);
    connect(backup, &QPushButton::clicked, this, &MainWindow::backupClicked);

    // What the ticks add up to, beside the button that backs them up (one line, filled by
    // BackupSizes).
    auto* total = named(new QLabel, "SelectionTotal");
    total->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    total->setTextInteractionFlags(Qt::TextSelectableByMouse);
    total->setMinimumHeight(backup->sizeHint().height()); // its line level with the button's caption

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(chooser, 1);
    // With one writer the chooser is hidden; the total and the button keep their place at the right.
    bottom->addStretch(0);
    bottom->addWidget(total, 0, Qt::AlignBottom | Qt::AlignRight);
    bottom->addWidget(backup, 0, Qt::AlignBottom | Qt::AlignRight);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(tree, 1);
    layout->addLayout(bottom);
    return page;
}

QWidget* MainWindow::makeRestorePage()
{
    auto* page = named(new QWidget, "RestorePage");

    auto* choose = named(new QGroupBox("Choose a backup to restore from"), "GBChooseRestore");
    auto* chooseLayout = new QHBoxLayout(choose);
    auto* chooser = dropDown("RestoreChooser", "Newest backup");
    chooseLayout->addWidget(chooser);
    // Only the user's pick assembles another set: refilling the list must not.
    connect(chooser, &QComboBox::activated, this, &MainWindow::backupSetChosen);

    auto* tree = named(new QTreeView, "RestoreTree");
    tree->setDragEnabled(false);
    tree->header()->setSectionsMovable(false);
    tree->header()->setSectionResizeMode(QHeaderView::Interactive);

    auto* from = named(new QGroupBox("Choose a CD/DVD drive to restore from"), "gbRestoreFrom");
    auto* fromLayout = new QHBoxLayout(from);
    fromLayout->addWidget(dropDown("cbRestoreFrom", "Choose a CD/DVD drive to restore from"));

    // Where the restored files go: shown, and changed only through the folder chooser.
    auto* to = named(new QGroupBox("Restore to"), "gbRestoreTo");
    auto* toLayout = new QHBoxLayout(to);
    auto* folder = named(new QLineEdit, "edRestoreTo");
    folder->setReadOnly(true);
    toLayout->addWidget(folder, 1);
    auto* chooseTo = named(new QPushButton("Restore to\u2026"), "btnRestoreTo");
    connect(chooseTo, &QPushButton::clicked, this, &MainWindow::restoreToClicked);
    toLayout->addWidget(chooseTo);

    auto* restore = named(new QPushButton("Restore"), "RestoreButton");
    connect(restore, &QPushButton::clicked, this, &MainWindow::restoreClicked);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(from, 1);
    bottom->addWidget(restore, 0, Qt::AlignBottom);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(choose);
    layout->addWidget(tree, 1);
    layout->addWidget(to);
    layout->addLayout(bottom);
    return page;
}

QWidget* MainWindow::makeAdvancedPage()
{
    auto* page = named(new QWidget, "AdvancedPage");

    auto* removeBox = named(new QGroupBox("Remove Disks"), "GBRemoveDisks");
    removeBox->setToolTip("Pick a disk and click 'remove' to remove it from the backup database");
    auto* removeLayout = new QHBoxLayout(removeBox);
    removeLayout->addWidget(dropDown("Disklist", "Pick a disk to remove from the database and click 'Remove'."), 1);
    auto* remove = named(new QPushButton("Remove"), "RemoveButton");
    connect(remove, &QPushButton::clicked, this, &MainWindow::removeClicked);
    removeLayout->addWidget(remove);

    // What can be done with the disc in a drive: add its catalogs, or all those its index
    // records (a lost database comes back from the newest disc), or check it.
    auto* addBox = named(new QGroupBox("Add Disks"), "gbAddDisks");
    auto* addLayout = new QHBoxLayout(addBox);
    addLayout->addWidget(dropDown("cbAddDisks", "Pick a CD/DVD drive and click 'Add'."), 1);
    auto* addAll = named(new QCheckBox("With the discs it lists"), "cbAddAllDisks");
    addAll->setToolTip("Also add every earlier disc the disc's index lists: rebuilds a lost database from the "
                       "newest disc alone");
    addLayout->addWidget(addAll);
    auto* add = named(new QPushButton("Add"), "AddDisk");
    connect(add, &QPushButton::clicked, this, &MainWindow::addDiskClicked);
    addLayout->addWidget(add);
    auto* verify = named(new QPushButton("Verify disc"), "VerifyDisk");
    verify->setToolTip("Read every file of the disc in this drive and check it against its checksums");
    connect(verify, &QPushButton::clicked, this, &MainWindow::verifyDiskClicked);
    addLayout->addWidget(verify);

    auto* options = named(new QGroupBox("Advanced Options"), "gbAdvancedOptions");
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(named(new QCheckBox("Check file contents before backup (Slow, but secure)"), "cbDoMD5"));
    optionsLayout->addWidget(named(new QCheckBox("Verify backup on disk after writing the disk."), "cbDoVerify"));
    // What each new disc keeps for its own repair; 0 writes none.
    auto* recovery = named(new QSpinBox, "seRecoveryPercent");
    recovery->setRange(0, 50);
    recovery->setSuffix(" %");
    recovery->setSpecialValueText("Off");
    recovery->setValue(12); // the program's default, until start-up shows the setting
    auto* recoveryLabel = named(new QLabel("Recovery data:"), "lblRecoveryPercent");
    recoveryLabel->setBuddy(recovery);
    for (QWidget* widget : {static_cast<QWidget*>(recoveryLabel), static_cast<QWidget*>(recovery)})
        widget->setToolTip("Share of each disc kept for data that repairs damaged sectors; 0 turns it off.");
    auto* recoveryRow = new QHBoxLayout;
    recoveryRow->addWidget(recoveryLabel);
    recoveryRow->addWidget(recovery);
    recoveryRow->addStretch(1);
    optionsLayout->addLayout(recoveryRow);
    optionsLayout->addStretch(1);

    auto* speeds = named(new QGroupBox("Maximum disk writing speeds"), "gbDriveSpeeds");
    auto* speedsLayout = new QFormLayout(speeds);
    auto* cd = named(new QComboBox, "cbMaxCDSpeed");
    cd->addItems(listOf(CDSpeedItems));
    auto* dvd = named(new QComboBox, "cbMaxDVDSpeed");
    dvd->addItems(listOf(DVDSpeedItems));
    auto* cdLabel = named(new QLabel("CD:"), "lblCDSpeed");
    auto* dvdLabel = named(new QLabel("DVD:"), "lblDVDSpeed");
    cdLabel->setBuddy(cd);
    dvdLabel->setBuddy(dvd);
    speedsLayout->addRow(cdLabel, cd);
    speedsLayout->addRow(dvdLabel, dvd);

    // Where the image drive keeps its discs and what kind it makes; in force from the next run.
    auto* image = named(new QGroupBox("Image drive (when there is no disc writer)"), "gbImageDrive");
    auto* imageLayout = new QGridLayout(image);
    auto* imageFolder = named(new QLineEdit, "edImageFolder");
    imageFolder->setReadOnly(true);
    auto* chooseImageFolder = named(new QPushButton("Folder\u2026"), "btnImageFolder");
    connect(chooseImageFolder, &QPushButton::clicked, this, &MainWindow::imageFolderClicked);
    auto* mediaType = named(new QComboBox, "cbImageMediaType");
    connect(mediaType, &QComboBox::activated, this, &MainWindow::imageMediaTypeActivated);
    auto* folderLabel = named(new QLabel("Discs in:"), "lblImageFolder");
    auto* typeLabel = named(new QLabel("Disc type:"), "lblImageMediaType");
    folderLabel->setBuddy(chooseImageFolder);
    typeLabel->setBuddy(mediaType);
    imageLayout->addWidget(folderLabel, 0, 0);
    imageLayout->addWidget(imageFolder, 0, 1);
    imageLayout->addWidget(chooseImageFolder, 0, 2);
    imageLayout->addWidget(typeLabel, 1, 0);
    imageLayout->addWidget(mediaType, 1, 1, Qt::AlignLeft);
    imageLayout->setColumnStretch(1, 1);

    auto* lower = new QHBoxLayout;
    lower->addWidget(options, 1);
    lower->addWidget(speeds);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(removeBox);
    layout->addWidget(addBox);
    layout->addLayout(lower);
    layout->addWidget(image);
    layout->addStretch(1);
    return page;
}

QWidget* MainWindow::makeAboutPage()
{
    auto* page = named(new QWidget, "AboutPage");
    auto* about = named(new QTextBrowser, "Aboutbox");
    about->setReadOnly(true);
    about->setOpenLinks(false); // the click goes to AboutboxURLClick
    about->setFrameShape(QFrame::NoFrame);

    QTextCursor cursor(about->document());
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    QTextCharFormat large;
    large.setFontPointSize(20);
    QTextCharFormat link = large;
    link.setAnchor(true);
    link.setAnchorHref(aboutAddress);
    link.setForeground(about->palette().link());
    link.setFontUnderline(true);

    const struct {
        const char* text;
        bool isLink;
    } lines[] = {{"", false},
                 {"", false},
                 {"Torvinel", false},
                 {"Version 1.1", false},
                 {"For more information visit:", false},
                 {aboutAddress, true},
                 {"", false}};
    bool first = true;
    for (const auto& line : lines) {
        if (first)
            cursor.setBlockFormat(centred);
        else
            cursor.insertBlock(centred, large);
        cursor.setCharFormat(large);
        first = false;
        cursor.insertText(line.text, line.isLink ? link : large);
    }
    connect(about, &QTextBrowser::anchorClicked, this, &MainWindow::AboutboxURLClick);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(about);
    return page;
}

void MainWindow::makeStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar");
    const int widths[2] = {350, 50};
    for (int i = 0; i < 2; ++i) {
        m_panels[i] = new QLabel(bar);
        m_panels[i]->setObjectName(QString("StatusPanel%1").arg(i));
        m_panels[i]->setFixedWidth(widths[i]);
        m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(m_panels[i]);
    }
}

QLabel* MainWindow::statusPanel(int panel) const { return panel >= 0 && panel < 2 ? m_panels[panel] : nullptr; }

void MainWindow::AboutboxURLClick(const QUrl& address) { QDesktopServices::openUrl(address); }

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Shut-down runs once, however often the window is asked to close; a request that comes
    // while the handler is still deciding waits for its answer.
    if (!m_closed && m_closeHandler) {
        if (m_deciding) {
            event->ignore();
            return;
        }
        m_deciding = true;
        const bool mayClose = m_closeHandler();
        m_deciding = false;
        if (!mayClose) {
            event->ignore();
            return;
        }
        m_closed = true;
    }
    QMainWindow::closeEvent(event);
}

} // namespace torvinel::ui
