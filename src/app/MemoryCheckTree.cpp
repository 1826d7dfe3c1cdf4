#include "app/MemoryCheckTree.h"

namespace torvinel {

CheckTree::Node MemoryCheckTree::addNode(Node parent, const std::string& path, CheckState state)
{
    if (Node existing = find(path))
        return existing;
    auto owned = std::make_unique<Item>();
    Item* added = owned.get();
    added->path = path;
    added->state = state;
    added->parent = item(parent);
    auto& siblings = added->parent ? added->parent->children : m_topLevel;
    added->index = siblings.size();
    siblings.push_back(added);
    m_items.push_back(std::move(owned));
    m_byPath.emplace(path, added);
    return added;
}

CheckTree::Node MemoryCheckTree::addPath(const std::string& path, char separator)
{
    if (Node existing = find(path))
        return existing;
    // The top-level node is everything up to and including the first separator.
    const size_t rootEnd = path.find(separator);
    if (rootEnd == std::string::npos || rootEnd + 1 >= path.size())
        return addNode(nullptr, path);
    Node node = addNode(nullptr, path.substr(0, rootEnd + 1));
    size_t from = rootEnd + 1;
    while (from < path.size()) {
        size_t next = path.find(separator, from);
        if (next == std::string::npos)
            next = path.size();
        node = addNode(node, path.substr(0, next));
        from = next + 1;
    }
    return node;
}

CheckTree::Node MemoryCheckTree::find(const std::string& path) const
{
    auto it = m_byPath.find(path);
    return it == m_byPath.end() ? nullptr : it->second;
}

CheckTree::Node MemoryCheckTree::parent(Node node) const { return node ? item(node)->parent : nullptr; }

void MemoryCheckTree::clear()
{
    m_byPath.clear();
    m_topLevel.clear();
    m_items.clear();
}

CheckState MemoryCheckTree::stateOf(const std::string& path) const
{
    Node node = find(path);
    return node ? checkState(node) : CheckState::Unchecked;
}

bool MemoryCheckTree::setStateOf(const std::string& path, CheckState state)
{
    Node node = find(path);
    if (!node)
        return false;
    setCheckState(node, state);
    return true;
}

CheckTree::Node MemoryCheckTree::firstTopLevel() const { return m_topLevel.empty() ? nullptr : m_topLevel.front(); }

const std::vector<MemoryCheckTree::Item*>& MemoryCheckTree::siblingsOf(const Item* it) const
{
    return it->parent ? it->parent->children : m_topLevel;
}

CheckTree::Node MemoryCheckTree::nextSibling(Node node) const
{
    if (!node)
        return nullptr;
    const Item* it = item(node);
    const auto& siblings = siblingsOf(it);
    return it->index + 1 < siblings.size() ? siblings[it->index + 1] : nullptr;
}

CheckTree::Node MemoryCheckTree::firstChild(Node node) const
{
    if (!node || item(node)->children.empty())
        return nullptr;
    return item(node)->children.front();
}

int MemoryCheckTree::childCount(Node node) const { return node ? static_cast<int>(item(node)->children.size()) : 0; }

CheckState MemoryCheckTree::checkState(Node node) const { return node ? item(node)->state : CheckState::Unchecked; }

std::string MemoryCheckTree::itemPath(Node node) const { return node ? item(node)->path : std::string(); }

CheckTree::Node MemoryCheckTree::browseTo(const std::string& path)
{
    ++m_browseCount;
    if (Node node = find(path))
        return node;
    if (path.empty())
        return nullptr;
    const char last = path.back();
    if (last == '/' || last == '\\')
        return find(path.substr(0, path.size() - 1));
    if (Node node = find(path + '/'))
        return node;
    return find(path + '\\');
}

void MemoryCheckTree::setCheckState(Node node, CheckState state)
{
    if (!node)
        return;
    Item* it = item(node);
    if (state == CheckState::Checked || state == CheckState::Unchecked)
        spreadDown(it, state);
    else
        it->state = state;
    updateAncestors(it);
}

void MemoryCheckTree::spreadDown(Item* it, CheckState state)
{
    it->state = state;
    for (Item* child : it->children)
        spreadDown(child, state);
}

void MemoryCheckTree::updateAncestors(Item* it)
{
    for (Item* up = it->parent; up; up = up->parent) {
        bool allChecked = true;
        bool allUnchecked = true;
        for (const Item* child : up->children) {
            allChecked = allChecked && child->state == CheckState::Checked;
            allUnchecked = allUnchecked && child->state == CheckState::Unchecked;
        }
        up->state = allChecked ? CheckState::Checked : allUnchecked ? CheckState::Unchecked : CheckState::Mixed;
    }
}

} // namespace torvinel
