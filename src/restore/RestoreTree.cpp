#include "restore/RestoreTree.h"

#include "platform/Platform.h"
#include "restore/StateBlock.h"

namespace torvinel {

struct RestoreTree::Item {
    std::string text;
    CheckState state = CheckState::Unchecked;
    Item* parent = nullptr;
    int row = 0;
    bool folder = false;
    bool loaded = false;
    std::vector<std::unique_ptr<Item>> children;
};

RestoreTree::RestoreTree() : m_root(std::make_unique<Item>())
{
    m_root->folder = true;
    m_root->loaded = true;
}

RestoreTree::~RestoreTree() = default;

RestoreTree::Item* RestoreTree::itemOrRoot(Node node) const { return node ? item(node) : m_root.get(); }

void RestoreTree::clear()
{
    if (m_listener)
        m_listener->aboutToReset();
    m_root->children.clear();
    m_root->state = CheckState::Unchecked;
    if (m_listener)
        m_listener->resetDone();
}

void RestoreTree::addChildren(Node parentNode, const std::vector<std::string>& names)
{
    Item* parent = itemOrRoot(parentNode);
    parent->loaded = true;
    if (names.empty())
        return;
    const int first = static_cast<int>(parent->children.size());
    if (m_listener)
        m_listener->aboutToAddChildren(parentNode, first, first + static_cast<int>(names.size()) - 1);
    const char separator = platform::pathSeparator();
    // The root is never ticked itself; only a real node passes its tick on.
    const bool ticked = parent != m_root.get() && parent->state == CheckState::Checked;
    for (const std::string& name : names) {
        auto child = std::make_unique<Item>();
        child->text = name;
        child->parent = parent;
        child->row = static_cast<int>(parent->children.size());
        child->folder = name.find(separator) != std::string::npos;
        child->state = ticked ? CheckState::Checked : CheckState::Unchecked;
        parent->children.push_back(std::move(child));
    }
    if (m_listener)
        m_listener->childrenAdded();
}

bool RestoreTree::canExpand(Node node) const
{
    const Item* it = itemOrRoot(node);
    return it->folder && !it->loaded;
}

bool RestoreTree::expand(Node node)
{
    if (!node || !canExpand(node))
        return false;
    const std::vector<std::string> names = m_lister ? m_lister(itemPath(node)) : std::vector<std::string>{};
    addChildren(node, names);
    return !names.empty();
}

CheckTree::Node RestoreTree::parent(Node node) const
{
    Item* p = item(node)->parent;
    return p == m_root.get() ? nullptr : p;
}

CheckTree::Node RestoreTree::child(Node parentNode, int row) const
{
    const Item* p = itemOrRoot(parentNode);
    if (row < 0 || row >= static_cast<int>(p->children.size()))
        return nullptr;
    return p->children[static_cast<std::size_t>(row)].get();
}

int RestoreTree::row(Node node) const { return item(node)->row; }

const std::string& RestoreTree::text(Node node) const { return item(node)->text; }

std::string RestoreTree::displayText(Node node) const
{
    const std::string& t = item(node)->text;
    if (item(node)->folder && t.size() > 1 && t.back() == platform::pathSeparator())
        return t.substr(0, t.size() - 1);
    return t;
}

bool RestoreTree::isFolder(Node node) const { return item(node)->folder; }

CheckTree::Node RestoreTree::firstTopLevel() const { return child(nullptr, 0); }

CheckTree::Node RestoreTree::nextSibling(Node node) const
{
    const Item* it = item(node);
    return child(it->parent == m_root.get() ? nullptr : it->parent, it->row + 1);
}

CheckTree::Node RestoreTree::firstChild(Node node) const { return child(node, 0); }

int RestoreTree::childCount(Node node) const { return static_cast<int>(itemOrRoot(node)->children.size()); }

CheckState RestoreTree::checkState(Node node) const { return item(node)->state; }

std::string RestoreTree::itemPath(Node node) const
{
    std::string path;
    for (const Item* it = item(node); it && it != m_root.get(); it = it->parent)
        path.insert(0, it->text);
    return path;
}

CheckTree::Node RestoreTree::browseTo(const std::string& path)
{
    const char separator = platform::pathSeparator();
    Item* level = m_root.get();
    std::size_t done = 0;
    while (true) {
        if (level != m_root.get())
            expand(level);
        const std::string_view rest = std::string_view(path).substr(done);
        Item* next = nullptr;
        for (const auto& c : level->children) {
            const std::string& t = c->text;
            // A folder's text ends with the separator, so a prefix is a whole name; a file
            // must match to the end (a.txt is not a.txt.bak).
            const bool fits = c->folder ? rest.size() >= t.size() : rest.size() == t.size();
            if (fits && platform::samePath(rest.substr(0, t.size()), t)) {
                next = c.get();
                break;
            }
            // A folder named without its closing separator.
            if (c->folder && rest.size() + 1 == t.size() && t.back() == separator
                && platform::samePath(rest, std::string_view(t).substr(0, rest.size())))
                return c.get();
        }
        if (!next)
            return nullptr;
        done += next->text.size();
        if (done == path.size())
            return next;
        if (!next->folder)
            return nullptr;
        level = next;
    }
}

void RestoreTree::setCheckState(Node node, CheckState state)
{
    Item* it = item(node);
    if (state == CheckState::Checked || state == CheckState::Unchecked) {
        spreadDown(it, state);
    } else if (it->state != state) {
        it->state = state;
        changed(it);
    }
    updateAncestors(it);
}

void RestoreTree::spreadDown(Item* it, CheckState state)
{
    if (it->state != state) {
        it->state = state;
        changed(it);
    }
    for (const auto& c : it->children)
        spreadDown(c.get(), state);
}

void RestoreTree::updateAncestors(Item* it)
{
    for (Item* p = it->parent; p && p != m_root.get(); p = p->parent) {
        bool allChecked = true, allUnchecked = true;
        for (const auto& c : p->children) {
            allChecked = allChecked && c->state == CheckState::Checked;
            allUnchecked = allUnchecked && c->state == CheckState::Unchecked;
        }
        const CheckState state = allChecked ? CheckState::Checked
            : allUnchecked                  ? CheckState::Unchecked
                                            : CheckState::Mixed;
        if (p->state == state)
            break;
        p->state = state;
        changed(p);
    }
}

void RestoreTree::changed(Item* it)
{
    if (m_listener)
        m_listener->stateChanged(it);
}

std::string NodePath(const CheckTree& tree, CheckTree::Node node) { return tree.itemPath(node); }

void RestoreRunNodes(std::vector<std::string>& list, const CheckTree& tree, CheckTree::Node node)
{
    for (; node; node = tree.nextSibling(node)) {
        const CheckState state = tree.checkState(node);
        if (state == CheckState::Checked)
            list.push_back(NodePath(tree, node));
        else if (state == CheckState::Mixed)
            if (CheckTree::Node first = tree.firstChild(node))
                RestoreRunNodes(list, tree, first);
    }
}

void AddTreeChildren(RestoreTree& tree, CheckTree::Node node, const std::vector<std::string>& names)
{
    tree.addChildren(node, names);
}

void BuildRestoreTree(RunState& state, RestoreTree& tree)
{
    tree.clear();
    const SortedList* backupState = &state.BackupState;
    tree.setLister([backupState](const std::string& prefix) { return ListTreeChildren(*backupState, prefix); });
    if (state.BackupState.empty())
        return;
    AddTreeChildren(tree, nullptr, ListTreeChildren(state.BackupState, ""));
}

} // namespace torvinel
