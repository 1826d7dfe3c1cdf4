#include "ui/NewItemsWindow.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace torvinel::ui {

namespace {

QString qs(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// A group box holding one list; paths are long, so each shows in full as its tool tip.
QListWidget* listIn(QGroupBox* group, const char* objectName, const std::vector<std::string>& paths)
{
    auto* list = new QListWidget(group);
    list->setObjectName(objectName);
    list->setUniformItemSizes(true);
    list->setTextElideMode(Qt::ElideMiddle);
    for (const std::string& path : paths) {
        auto* item = new QListWidgetItem(qs(path), list);
        item->setToolTip(item->text());
    }
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(list);
    return list;
}

} // namespace

NewItemsWindow::NewItemsWindow(const std::vector<std::string>& items, const std::vector<std::string>& ticked,
                               QWidget* parent)
    : QDialog(parent), m_items(items)
{
    setObjectName("NewItemsWindow");
    setWindowTitle("Torvinel");
    setModal(true);

    auto* intro = new QLabel("These files and folders are not included in the backup. Tick those you would like "
                             "to include.\nThose left unticked are not offered again.",
                             this);
    intro->setWordWrap(true);
    intro->setTextFormat(Qt::PlainText);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    auto* newGroup = new QGroupBox(QString("New items (%1)").arg(items.size()), splitter);
    m_newItems = listIn(newGroup, "NewItemsList", items);
    for (int row = 0; row < m_newItems->count(); ++row)
        m_newItems->item(row)->setCheckState(Qt::Unchecked); // the safe answer
    auto* tickedGroup = new QGroupBox("Included in the backup now", splitter);
    QListWidget* tickedList = listIn(tickedGroup, "TickedList", ticked);
    tickedList->setSelectionMode(QAbstractItemView::NoSelection);
    tickedList->setFocusPolicy(Qt::NoFocus);
    splitter->addWidget(newGroup);
    splitter->addWidget(tickedGroup);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    auto* buttons = new QDialogButtonBox(this);
    m_add = buttons->addButton("Add ticked", QDialogButtonBox::AcceptRole);
    m_add->setObjectName("AddTickedButton");
    m_notNow = buttons->addButton("Not now", QDialogButtonBox::RejectRole);
    m_notNow->setObjectName("NotNowButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Nothing is ticked at first, so Enter alone adds nothing.
    m_add->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(splitter, 1);
    layout->addWidget(buttons);
    resize(760, 420);
    m_add->setFocus(); // no list item looks chosen before the user picks one
}

std::vector<std::string> NewItemsWindow::tickedItems() const
{
    std::vector<std::string> chosen;
    for (int row = 0; row < m_newItems->count(); ++row)
        if (const QListWidgetItem* item = m_newItems->item(row); item->checkState() == Qt::Checked)
            chosen.push_back(m_items[static_cast<std::size_t>(row)]); // the bytes the file system gave
    return chosen;
}

} // namespace torvinel::ui
