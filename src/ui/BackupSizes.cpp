#include "ui/BackupSizes.h"

#include <QLabel>
#include <QTreeView>

#include "backup/Selection.h"
#include "backup/SizeText.h"

namespace torvinel::ui {

BackupSizes::BackupSizes(BackupTreeModel& model, QTreeView& tree, QLabel& total, Sources sources, QObject* parent)
    : QObject(parent), m_model(model), m_tree(tree), m_total(&total), m_sources(std::move(sources))
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMilliseconds);
    connect(&m_settle, &QTimer::timeout, this, &BackupSizes::startSelectionCount);
    connect(&m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.contains(Qt::CheckStateRole))
                    recount();
            });
    connect(&m_tree, &QTreeView::expanded, this, &BackupSizes::countFoldersBelow);
    connect(&m_tree, &QTreeView::collapsed, this, &BackupSizes::forgetFoldersBelow);
    // A folder expanded by a click is listed after the view said so.
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent) {
        if (m_tree.isExpanded(parent))
            countFoldersBelow(parent);
    });
    countFoldersShown(m_model.firstTopLevel());
    startSelectionCount();
}

BackupSizes::~BackupSizes() = default;

void BackupSizes::recount() { m_settle.start(); }

void BackupSizes::refreshTotalText()
{
    if (m_totalKnown && m_total)
        m_total->setText(QString::fromStdString(
            selectedText(m_lastTotal, m_sources.media ? m_sources.media() : mediaForDisc(DISC_TYPE_UNKNOWN))));
}

SizeWalkHooks BackupSizes::hooksFor(const std::stop_token& stop) const
{
    SizeWalkHooks hooks;
    if (m_sources.visiting)
        hooks.visiting = [this, stop](const std::string& path) { m_sources.visiting(path, stop); };
    return hooks;
}

// --- the selection's total ------------------------------------------------------------------

void BackupSizes::startSelectionCount()
{
    m_settle.stop();
    const uint64_t run = ++m_selectionRun;
    SizeRequest request;
    FQRunNodes(m_model, request.ticked, m_model.firstTopLevel(), true);
    FQRunNodes(m_model, request.unticked, m_model.firstTopLevel(), false);
    if (m_sources.excluded)
        request.excluded = m_sources.excluded();
    m_selectionWalks.replaceAll(
        {"selection", [this, run, request = std::move(request)](std::stop_token stop) {
             SizeWalkHooks hooks = hooksFor(stop);
             hooks.progress = [this, run](const SelectionSize& size) {
                 QMetaObject::invokeMethod(
                     this, [this, run, size] { showSelectionCount(run, size, false); }, Qt::QueuedConnection);
             };
             const auto size = countSelection(request, stop, hooks);
             if (size)
                 QMetaObject::invokeMethod(
                     this, [this, run, total = *size] { showSelectionCount(run, total, true); }, Qt::QueuedConnection);
         }});
}

void BackupSizes::showSelectionCount(uint64_t run, const SelectionSize& size, bool complete)
{
    if (run != m_selectionRun || !m_total)
        return; // the ticks have changed since: a newer count is on its way
    if (!complete) {
        m_total->setText(QString::fromStdString(countingText(size)));
        return;
    }
    m_lastTotal = size;
    m_totalKnown = true;
    refreshTotalText();
}

// --- folder totals --------------------------------------------------------------------------

void BackupSizes::countFoldersShown(BackupTreeModel::Node folder)
{
    if (folder == nullptr || !m_tree.isExpanded(m_model.indexOf(folder)))
        return;
    countFoldersBelow(m_model.indexOf(folder));
    for (BackupTreeModel::Node child = m_model.firstChild(folder); child != nullptr; child = m_model.nextSibling(child))
        countFoldersShown(child);
}

void BackupSizes::countFoldersBelow(const QModelIndex& parent)
{
    const BackupTreeModel::Node folder = m_model.nodeOf(parent);
    if (folder == nullptr)
        return;
    const std::vector<std::string> excluded = m_sources.excluded ? m_sources.excluded() : std::vector<std::string>();
    std::vector<WalkQueue::KeyedJob> jobs;
    for (BackupTreeModel::Node child = m_model.firstChild(folder); child != nullptr;
         child = m_model.nextSibling(child)) {
        if (!m_model.isFolder(child) || m_model.sizeKnown(child))
            continue;
        m_model.setSizePending(child, true);
        std::string path = m_model.itemPath(child);
        jobs.emplace_back(path, [this, child, path, excluded](std::stop_token stop) {
            const auto size = countSelection({.ticked = {path}, .excluded = excluded}, stop, hooksFor(stop));
            if (size)
                QMetaObject::invokeMethod(
                    this, [this, child, bytes = size->bytes] { m_model.setFolderSize(child, bytes); },
                    Qt::QueuedConnection);
        });
    }
    if (!jobs.empty())
        m_folderWalks.pushFront(std::move(jobs));
}

void BackupSizes::forgetFoldersBelow(const QModelIndex& parent)
{
    const BackupTreeModel::Node folder = m_model.nodeOf(parent);
    if (folder == nullptr)
        return;
    const std::string path = m_model.itemPath(folder);
    m_folderWalks.withdraw([&path](const std::string& key) { return key != path && within(key, path); });
    // What was withdrawn is asked for again when its parent is shown again.
    const std::function<void(BackupTreeModel::Node)> unmark = [&](BackupTreeModel::Node below) {
        for (BackupTreeModel::Node child = m_model.firstChild(below); child != nullptr;
             child = m_model.nextSibling(child)) {
            if (m_model.isFolder(child) && !m_model.sizeKnown(child))
                m_model.setSizePending(child, false);
            unmark(child);
        }
    };
    unmark(folder);
}

} // namespace torvinel::ui
