#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CheckTree.h"
#include "app/RunState.h"

namespace torvinel {

// The restore tree: the folder structure of BackupState's paths with three-state check
// boxes. Each node keeps one text, its part of the path: a top-level node the drive root as
// the paths begin ("/" here, "C:\" on Windows), a folder node its name followed by the path
// separator ("home/"), a file node its name ("a.txt"). A node's full path is the texts of its
// ancestors and its own, joined.
//
// Folders are loaded lazily: a folder node knows it has children before they exist, and
// expand() lists them (through the lister) at the first expansion; later expansions reuse
// them. Children added below a ticked node start ticked. Ticking or unticking a node spreads
// to its loaded descendants; an ancestor shows Checked, Unchecked or Mixed from its children.
//
// Node handles are stable until clear(). nullptr stands for the invisible root in the
// helpers that take a parent (child, childCount, addChildren).
class RestoreTree : public CheckTree {
public:
    // What a Qt model needs to follow the tree's changes.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void aboutToReset() { }
        virtual void resetDone() { }
        virtual void aboutToAddChildren(Node parent, int first, int last) { (void)parent, (void)first, (void)last; }
        virtual void childrenAdded() { }
        virtual void stateChanged(Node node) { (void)node; }
    };
    // The children of a folder path ("" for the top level), in display order.
    using Lister = std::function<std::vector<std::string>(const std::string& prefix)>;

    RestoreTree();
    ~RestoreTree() override;

    void setLister(Lister lister) { m_lister = std::move(lister); }
    void setListener(Listener* listener) { m_listener = listener; }

    // Empties the tree (every handle becomes invalid).
    void clear();
    // One child per name, in the given order, each initialised: it starts checked when the
    // parent is checked, and a name with the separator is a folder whose children come later.
    void addChildren(Node parent, const std::vector<std::string>& names);
    // Lists and adds a folder's children when it has none yet; true when it added some.
    bool expand(Node node);
    // A folder whose children were not listed yet.
    bool canExpand(Node node) const;

    Node parent(Node node) const;
    Node child(Node parent, int row) const;
    int row(Node node) const;
    const std::string& text(Node node) const;
    // The text as shown: a folder without its final separator, a file as it is. The root
    // "/" keeps its separator, since it would otherwise show nothing.
    std::string displayText(Node node) const;
    bool isFolder(Node node) const;

    // CheckTree
    Node firstTopLevel() const override;
    Node nextSibling(Node node) const override;
    Node firstChild(Node node) const override;
    int childCount(Node node) const override;
    CheckState checkState(Node node) const override;
    std::string itemPath(Node node) const override;
    // Expands folders as needed; a folder path may be given with or without its separator.
    Node browseTo(const std::string& path) override;
    // Checked and Unchecked spread to the loaded descendants; Mixed and Pressed stay on the
    // node. Ancestors follow their children either way.
    void setCheckState(Node node, CheckState state) override;

private:
    struct Item;
    static Item* item(Node node) { return static_cast<Item*>(const_cast<void*>(node)); }
    Item* itemOrRoot(Node node) const;
    void spreadDown(Item* item, CheckState state);
    void updateAncestors(Item* item);
    void changed(Item* item);

    std::unique_ptr<Item> m_root;
    Lister m_lister;
    Listener* m_listener = nullptr;
};

// The full path of a node: its ancestors' texts and its own.
std::string NodePath(const CheckTree& tree, CheckTree::Node node);

// Appends the full paths of the ticked nodes, from node through its following siblings: a
// checked node stands for all it holds and is not descended into; a mixed one is.
void RestoreRunNodes(std::vector<std::string>& list, const CheckTree& tree, CheckTree::Node node);

// AddTreeChildren: adds one child per name below node (nullptr: the top level).
void AddTreeChildren(RestoreTree& tree, CheckTree::Node node, const std::vector<std::string>& names);

// Empties the tree and builds its top level from state.BackupState; later expansions list
// from state.BackupState as it is then.
void BuildRestoreTree(RunState& state, RestoreTree& tree);

} // namespace torvinel
