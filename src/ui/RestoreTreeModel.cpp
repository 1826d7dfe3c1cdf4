#include "ui/RestoreTreeModel.h"

#include <QApplication>
#include <QStyle>

namespace torvinel::ui {

RestoreTreeModel::RestoreTreeModel(RestoreTree& tree, QObject* parent) : QAbstractItemModel(parent), m_tree(tree)
{
    m_folderIcon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
    m_fileIcon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    m_tree.setListener(this);
}

RestoreTreeModel::~RestoreTreeModel() { m_tree.setListener(nullptr); }

CheckTree::Node RestoreTreeModel::nodeOf(const QModelIndex& index) const
{
    return index.isValid() ? index.internalPointer() : nullptr;
}

QModelIndex RestoreTreeModel::indexOf(CheckTree::Node node) const
{
    if (!node)
        return {};
    return createIndex(m_tree.row(node), 0, const_cast<void*>(node));
}

QModelIndex RestoreTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0)
        return {};
    const CheckTree::Node node = m_tree.child(nodeOf(parent), row);
    return node ? createIndex(row, 0, const_cast<void*>(node)) : QModelIndex();
}

QModelIndex RestoreTreeModel::parent(const QModelIndex& child) const
{
    const CheckTree::Node node = nodeOf(child);
    return node ? indexOf(m_tree.parent(node)) : QModelIndex();
}

int RestoreTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return m_tree.childCount(nodeOf(parent));
}

int RestoreTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool RestoreTreeModel::hasChildren(const QModelIndex& parent) const
{
    const CheckTree::Node node = nodeOf(parent);
    if (!node)
        return m_tree.childCount(nullptr) > 0;
    // A folder shows its expand button before its children are listed.
    return m_tree.childCount(node) > 0 || m_tree.canExpand(node);
}

bool RestoreTreeModel::canFetchMore(const QModelIndex& parent) const
{
    const CheckTree::Node node = nodeOf(parent);
    return node && m_tree.canExpand(node);
}

void RestoreTreeModel::fetchMore(const QModelIndex& parent)
{
    if (const CheckTree::Node node = nodeOf(parent))
        m_tree.expand(node);
}

QVariant RestoreTreeModel::data(const QModelIndex& index, int role) const
{
    const CheckTree::Node node = nodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(m_tree.displayText(node));
    case Qt::ToolTipRole:
        return QString::fromStdString(m_tree.itemPath(node));
    case Qt::DecorationRole:
        return m_tree.isFolder(node) ? m_folderIcon : m_fileIcon;
    case Qt::CheckStateRole:
        switch (m_tree.checkState(node)) {
        case CheckState::Checked:
            return Qt::Checked;
        case CheckState::Mixed:
            return Qt::PartiallyChecked;
        default:
            return Qt::Unchecked;
        }
    default:
        return {};
    }
}

bool RestoreTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const CheckTree::Node node = nodeOf(index);
    if (!node || role != Qt::CheckStateRole)
        return false;
    // A click on a mixed box ticks the whole folder, as on an unticked one.
    const auto state = static_cast<Qt::CheckState>(value.toInt());
    m_tree.setCheckState(node, state == Qt::Unchecked ? CheckState::Unchecked : CheckState::Checked);
    return true;
}

Qt::ItemFlags RestoreTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

QVariant RestoreTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return tr("Name");
    return {};
}

void RestoreTreeModel::aboutToReset() { beginResetModel(); }

void RestoreTreeModel::resetDone() { endResetModel(); }

void RestoreTreeModel::aboutToAddChildren(CheckTree::Node parent, int first, int last)
{
    beginInsertRows(indexOf(parent), first, last);
}

void RestoreTreeModel::childrenAdded() { endInsertRows(); }

void RestoreTreeModel::stateChanged(CheckTree::Node node)
{
    const QModelIndex i = indexOf(node);
    emit dataChanged(i, i, {Qt::CheckStateRole});
}

} // namespace torvinel::ui
