#pragma once
#include <QAbstractItemModel>
#include <QIcon>

#include "restore/RestoreTree.h"

namespace torvinel::ui {

// The restore tree on screen: a thin Qt model over core's RestoreTree. One column; folders
// show their name without the separator, every node has a three-state check box, and a
// folder's children are listed the first time the view opens it (canFetchMore/fetchMore).
// A click ticks or unticks; the core tree spreads it and reports each node that changed.
//
// Plugging it in: view->setModel(new RestoreTreeModel(tree, view)); the core tree must
// outlive the model. BuildRestoreTree and the chooser work on the core tree and the model
// follows them.
class RestoreTreeModel : public QAbstractItemModel, private RestoreTree::Listener {
    Q_OBJECT
public:
    explicit RestoreTreeModel(RestoreTree& tree, QObject* parent = nullptr);
    ~RestoreTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    CheckTree::Node nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(CheckTree::Node node) const;

private:
    // RestoreTree::Listener
    void aboutToReset() override;
    void resetDone() override;
    void aboutToAddChildren(CheckTree::Node parent, int first, int last) override;
    void childrenAdded() override;
    void stateChanged(CheckTree::Node node) override;

    RestoreTree& m_tree;
    QIcon m_folderIcon;
    QIcon m_fileIcon;
};

} // namespace torvinel::ui
