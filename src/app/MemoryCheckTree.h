#pragma once
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/CheckTree.h"

namespace torvinel {

// A check tree held in memory: what the command line offers in place of the GUI's trees, and
// what tests build their selections in. Every node is loaded (there is no lazy expansion);
// nodes are found by their exact path.
//
// Ticking follows the usual three-state rules: Checked or Unchecked spreads to every node
// below, and each ancestor becomes Checked, Unchecked or Mixed from its children. Mixed and
// Pressed are set on the node alone (ancestors are still brought up to date).
class MemoryCheckTree : public CheckTree {
public:
    // Adds a node with the given path as the last child of parent (nullptr: a top-level
    // node) and returns it. Adding does not touch the states of other nodes. A path that is
    // already in the tree returns the node that has it.
    Node addNode(Node parent, const std::string& path, CheckState state = CheckState::Unchecked);
    // Adds path and whatever ancestors are missing, splitting at separator: "/a/b" lies under
    // "/a" under the top-level "/"; "C:\a" (separator '\\') lies under the top-level "C:\".
    Node addPath(const std::string& path, char separator = '/');
    // The node of exactly this path, or nullptr.
    Node find(const std::string& path) const;
    Node parent(Node node) const;
    void clear();

    // Conveniences by path: the state of the node of path (Unchecked when there is none), and
    // setting it as setCheckState does (false when there is no such node).
    CheckState stateOf(const std::string& path) const;
    bool setStateOf(const std::string& path, CheckState state);

    // How often browseTo ran, and whether repainting is suspended now.
    int browseCount() const { return m_browseCount; }
    bool repaintSuspended() const { return m_repaintSuspended; }

    // CheckTree
    Node firstTopLevel() const override;
    Node nextSibling(Node node) const override;
    Node firstChild(Node node) const override;
    int childCount(Node node) const override;
    CheckState checkState(Node node) const override;
    std::string itemPath(Node node) const override;
    // Finds path as given, or with a trailing separator added or removed.
    Node browseTo(const std::string& path) override;
    void setCheckState(Node node, CheckState state) override;
    void setRepaintSuspended(bool suspended) override { m_repaintSuspended = suspended; }

private:
    struct Item {
        std::string path;
        CheckState state = CheckState::Unchecked;
        Item* parent = nullptr;
        std::vector<Item*> children;
        size_t index = 0; // position among its siblings
    };
    static Item* item(Node node) { return static_cast<Item*>(const_cast<void*>(node)); }
    const std::vector<Item*>& siblingsOf(const Item* item) const;
    void spreadDown(Item* item, CheckState state);
    void updateAncestors(Item* item);

    std::vector<std::unique_ptr<Item>> m_items;
    std::vector<Item*> m_topLevel;
    std::unordered_map<std::string, Item*> m_byPath;
    int m_browseCount = 0;
    bool m_repaintSuspended = false;
};

} // namespace torvinel
