#pragma once
#include <QAbstractItemModel>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/CheckTree.h"

class QTreeView;

namespace torvinel {

// BackupTree's model: the computer's files under one top-level item (the root "/"), lazily
// listed, with a three-state check box on every item. Folders come before files, both in
// name order; hidden items are shown; symbolic links, FIFOs, sockets and devices are not (the
// backup does not follow or read them), nor are the mount points it is given to hide
// (pseudo file systems and removable media).
//
// Every item holds its own state. A folder's children take the folder's state when they are
// first listed; ticking or unticking an item sets every listed item below it, and each
// ancestor is recomputed from its children (all checked: checked; all unchecked: unchecked;
// otherwise partially checked). An ancestor's children are always all listed, because an
// item can only be reached through its listed parent.
//
// A second column shows sizes: a file's from its listing, a folder's total once setFolderSize
// gives it ("…" while setSizePending says it is being counted, blank before).
//
// The model is also the CheckTree the selection logic walks (View::backupTree()). Node
// handles stay valid for the model's lifetime. Listing is synchronous: browseTo() lists each
// folder on the way, so start-up sees the tree complete along every restored path.
class BackupTreeModel : public QAbstractItemModel, public CheckTree {
    Q_OBJECT
public:
    // topLevel: the one top-level item (absolute). hidden: paths never shown.
    BackupTreeModel(std::string topLevel, std::vector<std::string> hidden, QObject* parent = nullptr);
    // "/" with the system's hidden mount points.
    explicit BackupTreeModel(QObject* parent = nullptr);
    ~BackupTreeModel() override;

    // Shows the model in view: sets it as the view's model, lets browseTo() expand the view
    // down to the item found and make it current, and lets setRepaintSuspended() switch the
    // view's painting off and on.
    void attachView(QTreeView* view);

    static constexpr int NameColumn = 0;
    static constexpr int SizeColumn = 1;

    QModelIndex indexOf(Node node, int column = NameColumn) const;
    Node nodeOf(const QModelIndex& index) const;

    // --- QAbstractItemModel ---
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // --- CheckTree ---
    Node firstTopLevel() const override;
    Node nextSibling(Node node) const override;
    Node firstChild(Node node) const override;
    int childCount(Node node) const override;
    CheckState checkState(Node node) const override;
    std::string itemPath(Node node) const override;
    // Finds an absolute path below the top-level item, listing each folder on the way, and
    // emits browsedTo; nullptr when the path is not shown (missing, a link, hidden).
    Node browseTo(const std::string& path) override;
    // Checked or Unchecked; Mixed and Pressed are ignored (they follow from the children).
    void setCheckState(Node node, CheckState state) override;
    void setRepaintSuspended(bool suspended) override;

    // --- sizes ---
    bool isFolder(Node node) const;
    // True once the node's size is known: a file's always, a folder's after setFolderSize.
    bool sizeKnown(Node node) const;
    // A folder's total: what a backup of it would take, in bytes.
    void setFolderSize(Node folder, int64_t bytes);
    // Whether a folder's total is being counted (shown as "…" until it is known).
    void setSizePending(Node folder, bool pending);

signals:
    // An item browseTo() found.
    void browsedTo(const QModelIndex& index);

private:
    struct Item;
    Item* item(const QModelIndex& index) const;
    static Item* item(Node node) { return static_cast<Item*>(const_cast<void*>(node)); }
    void ensureListed(Item* folder);
    void setBelow(Item* folder, Qt::CheckState state);
    void recomputeAncestors(Item* from);
    void sizeChanged(Item* it);

    std::unique_ptr<Item> m_root; // invisible; its one child is the top-level item
    std::unordered_set<std::string> m_hidden;
    QPointer<QTreeView> m_view;
};

} // namespace torvinel
