#pragma once
#include <string>

namespace torvinel {

enum class CheckState { Unchecked, Checked, Mixed, Pressed };

// A tree of nodes with three-state check boxes, as the selection walk and the restore-tree
// logic see it. The GUI backs it with Qt models; tests back it with an in-memory tree.
// Node handles are opaque; nullptr means "no node". A node's children exist once it has
// been expanded (lazily loaded trees report only what is loaded).
class CheckTree {
public:
    using Node = const void*;
    virtual ~CheckTree() = default;

    virtual Node firstTopLevel() const = 0;
    virtual Node nextSibling(Node node) const = 0;
    virtual Node firstChild(Node node) const = 0;
    virtual int childCount(Node node) const = 0;
    virtual CheckState checkState(Node node) const = 0;
    // The node's full path ("" when the node has no item behind it).
    virtual std::string itemPath(Node node) const = 0;
    // Expands the tree down to the item of path; nullptr when it cannot be found.
    virtual Node browseTo(const std::string& path) = 0;
    // Sets a node's state; the tree spreads it to children and ancestors.
    virtual void setCheckState(Node node, CheckState state) = 0;
    virtual void setRepaintSuspended(bool suspended) { (void)suspended; }
};

} // namespace torvinel
