#include "ui/BackupTreeModel.h"

#include <QFile>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QTreeView>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "backup/HiddenMounts.h"
#include "backup/SizeText.h"

namespace torvinel {

namespace fs = std::filesystem;

struct BackupTreeModel::Item {
    std::string path;
    QString name;
    bool folder = false;
    bool listed = false;
    int64_t bytes = -1; // unknown; a file's comes from its listing, a folder's from a count
    bool sizePending = false;
    Qt::CheckState state = Qt::Unchecked;
    Item* parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<Item>> children;
};

namespace {

std::string normalised(const std::string& path)
{
    std::string out = fs::path(path).lexically_normal().string();
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

QFileIconProvider& icons()
{
    static QFileIconProvider provider;
    return provider;
}

CheckState toCheckState(Qt::CheckState state)
{
    switch (state) {
    case Qt::Checked:
        return CheckState::Checked;
    case Qt::PartiallyChecked:
        return CheckState::Mixed;
    default:
        return CheckState::Unchecked;
    }
}

} // namespace

BackupTreeModel::BackupTreeModel(std::string topLevel, std::vector<std::string> hidden, QObject* parent)
    : QAbstractItemModel(parent), m_root(std::make_unique<Item>())
{
    for (const auto& path : hidden)
        m_hidden.insert(normalised(path));
    auto top = std::make_unique<Item>();
    top->path = normalised(topLevel);
    top->name = QFile::decodeName(QByteArray::fromStdString(top->path));
    top->folder = true;
    top->parent = m_root.get();
    m_root->listed = true;
    m_root->folder = true;
    m_root->children.push_back(std::move(top));
}

BackupTreeModel::BackupTreeModel(QObject* parent) : BackupTreeModel("/", hiddenMountPoints(), parent) { }

BackupTreeModel::~BackupTreeModel() = default;

void BackupTreeModel::attachView(QTreeView* view)
{
    m_view = view;
    view->setModel(this);
    // Names take the room; sizes keep a narrow column at the right, wide enough for "1023 KB".
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(SizeColumn, QHeaderView::Fixed);
    header->resizeSection(SizeColumn, view->fontMetrics().horizontalAdvance(QStringLiteral("0000 MB")) + 24);
    connect(this, &BackupTreeModel::browsedTo, view, [view](const QModelIndex& index) {
        view->scrollTo(index); // expands every ancestor on the way
        view->setCurrentIndex(index);
    });
}

// --- listing --------------------------------------------------------------------------------

void BackupTreeModel::ensureListed(Item* folder)
{
    if (!folder->folder || folder->listed)
        return;
    folder->listed = true;

    std::vector<std::unique_ptr<Item>> children;
    std::error_code error;
    fs::directory_iterator it(fs::path(folder->path), fs::directory_options::none, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        const fs::file_type type = it->symlink_status(typeError).type();
        if (typeError || (type != fs::file_type::directory && type != fs::file_type::regular))
            continue; // links are not followed; FIFOs, sockets and devices hold nothing to back up
        std::string path = it->path().string();
        if (m_hidden.count(path) != 0)
            continue;
        auto child = std::make_unique<Item>();
        child->name = QFile::decodeName(QByteArray::fromStdString(it->path().filename().string()));
        child->path = std::move(path);
        child->folder = type == fs::file_type::directory;
        if (!child->folder) {
            std::error_code sizeError;
            const auto bytes = it->file_size(sizeError);
            child->bytes = sizeError ? -1 : static_cast<int64_t>(bytes);
        }
        child->state = folder->state == Qt::Checked ? Qt::Checked : Qt::Unchecked;
        child->parent = folder;
        children.push_back(std::move(child));
    }
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
        if (a->folder != b->folder)
            return a->folder;
        const int c = a->name.compare(b->name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a->path < b->path;
    });
    for (std::size_t i = 0; i < children.size(); ++i)
        children[i]->row = static_cast<int>(i);
    if (children.empty())
        return;
    beginInsertRows(indexOf(folder), 0, static_cast<int>(children.size()) - 1);
    folder->children = std::move(children);
    endInsertRows();
}

// --- QAbstractItemModel ---------------------------------------------------------------------

BackupTreeModel::Item* BackupTreeModel::item(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Item*>(index.internalPointer()) : m_root.get();
}

QModelIndex BackupTreeModel::indexOf(Node node, int column) const
{
    Item* it = item(node);
    if (it == nullptr || it == m_root.get())
        return {};
    return createIndex(it->row, column, it);
}

CheckTree::Node BackupTreeModel::nodeOf(const QModelIndex& index) const
{
    return index.isValid() ? index.internalPointer() : nullptr;
}

QModelIndex BackupTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    Item* folder = item(parent);
    if (column < NameColumn || column > SizeColumn || row < 0 || row >= static_cast<int>(folder->children.size())
        || parent.column() > NameColumn)
        return {};
    return createIndex(row, column, folder->children[static_cast<std::size_t>(row)].get());
}

QModelIndex BackupTreeModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return {};
    return indexOf(item(index)->parent);
}

int BackupTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return static_cast<int>(item(parent)->children.size());
}

int BackupTreeModel::columnCount(const QModelIndex&) const { return SizeColumn + 1; }

bool BackupTreeModel::hasChildren(const QModelIndex& parent) const
{
    if (parent.column() > NameColumn)
        return false;
    const Item* folder = item(parent);
    return folder->folder && (!folder->listed || !folder->children.empty());
}

bool BackupTreeModel::canFetchMore(const QModelIndex& parent) const
{
    if (parent.column() > NameColumn)
        return false;
    const Item* folder = item(parent);
    return folder->folder && !folder->listed;
}

void BackupTreeModel::fetchMore(const QModelIndex& parent) { ensureListed(item(parent)); }

QVariant BackupTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const Item* it = item(index);
    if (index.column() == SizeColumn) {
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole)
            return {};
        if (it->bytes >= 0)
            return QString::fromStdString(sizeText(it->bytes));
        return it->sizePending ? QStringLiteral("\u2026") : QString();
    }
    switch (role) {
    case Qt::DisplayRole:
        return it->name;
    case Qt::ToolTipRole:
        return QFile::decodeName(QByteArray::fromStdString(it->path));
    case Qt::DecorationRole:
        if (it->parent == m_root.get())
            return icons().icon(QAbstractFileIconProvider::Drive);
        return icons().icon(it->folder ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File);
    case Qt::CheckStateRole:
        return static_cast<int>(it->state);
    default:
        return {};
    }
}

bool BackupTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != NameColumn || role != Qt::CheckStateRole)
        return false;
    // A click on a partly checked item ticks it; there is no way to ask for "partly".
    const auto wanted = static_cast<Qt::CheckState>(value.toInt());
    setCheckState(item(index), wanted == Qt::Unchecked ? CheckState::Unchecked : CheckState::Checked);
    return true;
}

Qt::ItemFlags BackupTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.column() != NameColumn)
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

QVariant BackupTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return section == NameColumn ? tr("Name") : section == SizeColumn ? tr("Size") : QVariant();
    if (role == Qt::TextAlignmentRole && section == SizeColumn)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

// --- check states ---------------------------------------------------------------------------

void BackupTreeModel::setBelow(Item* folder, Qt::CheckState state)
{
    if (folder->children.empty())
        return;
    for (auto& child : folder->children) {
        child->state = state;
        setBelow(child.get(), state);
    }
    emit dataChanged(indexOf(folder->children.front().get()), indexOf(folder->children.back().get()),
                     {Qt::CheckStateRole});
}

void BackupTreeModel::recomputeAncestors(Item* from)
{
    for (Item* up = from->parent; up != nullptr && up != m_root.get(); up = up->parent) {
        bool all = true;
        bool none = true;
        for (const auto& child : up->children) {
            all = all && child->state == Qt::Checked;
            none = none && child->state == Qt::Unchecked;
        }
        const Qt::CheckState state = all ? Qt::Checked : none ? Qt::Unchecked : Qt::PartiallyChecked;
        if (state == up->state)
            break; // nothing above can change either
        up->state = state;
        const QModelIndex index = indexOf(up);
        emit dataChanged(index, index, {Qt::CheckStateRole});
    }
}

void BackupTreeModel::setCheckState(Node node, CheckState state)
{
    Item* it = item(node);
    // Only a tick or an untick can be asked for; partly checked follows from the children.
    if (it == nullptr || it == m_root.get() || (state != CheckState::Checked && state != CheckState::Unchecked))
        return;
    const Qt::CheckState wanted = state == CheckState::Checked ? Qt::Checked : Qt::Unchecked;
    it->state = wanted;
    const QModelIndex index = indexOf(it);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    setBelow(it, wanted);
    recomputeAncestors(it);
}

void BackupTreeModel::setRepaintSuspended(bool suspended)
{
    if (m_view)
        m_view->setUpdatesEnabled(!suspended);
}

// --- sizes ----------------------------------------------------------------------------------

bool BackupTreeModel::isFolder(Node node) const { return item(node)->folder; }

bool BackupTreeModel::sizeKnown(Node node) const { return item(node)->bytes >= 0; }

void BackupTreeModel::setFolderSize(Node folder, int64_t bytes)
{
    Item* it = item(folder);
    it->bytes = bytes;
    it->sizePending = false;
    sizeChanged(it);
}

void BackupTreeModel::setSizePending(Node folder, bool pending)
{
    Item* it = item(folder);
    if (it->sizePending == pending)
        return;
    it->sizePending = pending;
    sizeChanged(it);
}

void BackupTreeModel::sizeChanged(Item* it)
{
    const QModelIndex index = indexOf(it, SizeColumn);
    emit dataChanged(index, index, {Qt::DisplayRole});
}

// --- CheckTree walk -------------------------------------------------------------------------

CheckTree::Node BackupTreeModel::firstTopLevel() const { return m_root->children.front().get(); }

CheckTree::Node BackupTreeModel::nextSibling(Node node) const
{
    const Item* it = item(node);
    const auto next = static_cast<std::size_t>(it->row) + 1;
    return next < it->parent->children.size() ? it->parent->children[next].get() : nullptr;
}

CheckTree::Node BackupTreeModel::firstChild(Node node) const
{
    const Item* it = item(node);
    return it->children.empty() ? nullptr : it->children.front().get();
}

int BackupTreeModel::childCount(Node node) const { return static_cast<int>(item(node)->children.size()); }

CheckState BackupTreeModel::checkState(Node node) const { return toCheckState(item(node)->state); }

std::string BackupTreeModel::itemPath(Node node) const { return item(node)->path; }

CheckTree::Node BackupTreeModel::browseTo(const std::string& path)
{
    if (path.empty() || path.front() != '/')
        return nullptr;
    const std::string wanted = normalised(path);
    Item* at = m_root->children.front().get();
    const std::string& top = at->path;
    if (wanted != top) {
        const std::size_t start = top == "/" ? 1 : top.size() + 1;
        if (top != "/" && (wanted.compare(0, top.size(), top) != 0 || wanted[top.size()] != '/'))
            return nullptr;
        std::size_t begin = start;
        while (at != nullptr && begin <= wanted.size()) {
            std::size_t end = wanted.find('/', begin);
            if (end == std::string::npos)
                end = wanted.size();
            const std::string_view name(wanted.data() + begin, end - begin);
            ensureListed(at);
            Item* found = nullptr;
            for (auto& child : at->children) {
                const std::string& p = child->path;
                if (p.size() > name.size() && p[p.size() - name.size() - 1] == '/'
                    && std::string_view(p).substr(p.size() - name.size()) == name) {
                    found = child.get();
                    break;
                }
            }
            at = found;
            begin = end + 1;
        }
    }
    if (at != nullptr)
        emit browsedTo(indexOf(at));
    return at;
}

} // namespace torvinel
