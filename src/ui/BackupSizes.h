#pragma once
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "backup/DiscMedia.h"
#include "backup/SelectionSize.h"
#include "ui/BackupTreeModel.h"
#include "ui/WalkQueue.h"

class QLabel;
class QModelIndex;
class QTreeView;

namespace torvinel::ui {

// The sizes on the Backup page, counted in the background (countSelection on WalkQueues):
// - the total of every folder shown in the tree (a child of an expanded folder), counted when
//   its parent is expanded, newest first; collapsing a folder withdraws what was asked below
//   it. The top-level item (the whole computer) is not counted.
// - the selection's total in the label: counted again a short pause after the ticks last
//   changed, showing "Counting… N files, X so far" while a count takes long, then
//   "Selected: N files, X — about D discs" for the discs of the chosen writer.
// Results reach the model and the label through queued calls on the user-interface thread;
// a result of a count that was superseded is dropped.
// REQUIRES: the model, the tree and the label outlive this object.
class BackupSizes : public QObject {
    Q_OBJECT
public:
    struct Sources {
        // Folders a backup never enters (ExcludedFolders), asked at each count.
        std::function<std::vector<std::string>()> excluded;
        // The discs of the chosen writer, asked whenever the label is written.
        std::function<std::vector<DiscMedia>()> media;
        // For tests: called on the walking threads with each path about to be looked at and
        // the count's stop token, so a test can hold a walk until it is stopped.
        std::function<void(const std::string& path, const std::stop_token& stop)> visiting = {};
    };
    // How long the ticks must rest before the selection is counted again.
    static constexpr int settleMilliseconds = 250;

    BackupSizes(BackupTreeModel& model, QTreeView& tree, QLabel& total, Sources sources, QObject* parent = nullptr);
    // Stops the counts and waits for each to notice (one file system entry).
    ~BackupSizes() override;

    // The ticks (or the folders left out) changed: counts the selection again once they rest.
    void recount();
    // The writer or its discs changed: writes the label again from the last total.
    void refreshTotalText();

private:
    void startSelectionCount();
    void showSelectionCount(uint64_t run, const SelectionSize& size, bool complete);
    void countFoldersBelow(const QModelIndex& parent);
    void countFoldersShown(BackupTreeModel::Node folder);
    void forgetFoldersBelow(const QModelIndex& parent);
    SizeWalkHooks hooksFor(const std::stop_token& stop) const;

    BackupTreeModel& m_model;
    QTreeView& m_tree;
    QPointer<QLabel> m_total;
    const Sources m_sources; // read by the walking threads too: never changed
    QTimer m_settle;
    uint64_t m_selectionRun = 0; // the count whose results are wanted
    bool m_totalKnown = false;
    SelectionSize m_lastTotal;
    // Last: stopped and joined before anything their jobs use goes.
    WalkQueue m_folderWalks;
    WalkQueue m_selectionWalks;
};

} // namespace torvinel::ui
