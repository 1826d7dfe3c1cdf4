#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Log.h"
#include "app/SortedList.h"

namespace torvinel {

// Run-wide state: the working folders, the run-wide values and lists, and the cancel flag.
// One object, owned by the application and passed by reference; no mutable globals.
struct RunState {
    // Working folders: absolute, without a trailing separator.
    std::string AppFolder;
    std::string DatabaseFolder;
    std::string TempFolder;
    std::string RestoreFolder;
    // The folder the user chose to restore into for this session ("" for RestoreFolder).
    std::string ChosenRestoreFolder;
    std::string settingsFile() const { return AppFolder + "/Torvinel.ini"; }
    std::string appFile(const std::string& name) const { return AppFolder + "/" + name; }

    Log log;
    void WriteLog(const std::string& text) { log.WriteLog(text); }

    // Values.
    int64_t SplitVolumeSize = 8388608;
    int CDTrackLimit = 1;
    int DVDTrackLimit = 1;
    unsigned QueryCancelAutoPlay = 0; // the registered message's number (0 where there is none)
    std::string NewestDisc;
    std::string OldestCSV;
    int64_t DiscFreeBytes = 0;
    int64_t StagedBytes = 0;
    // The share of each disc's room that goes to recovery data (0: none; at most 50); read
    // from [Status] RecoveryPercent at start-up and written back at shut-down.
    int RecoveryPercent = 12;

    // Results of the last backup-state assembly.
    std::string SplitArchiveName;
    std::string SplitFileLine;
    int SplitVolumesDone = -1;
    std::string RotationPoint;
    int RotationIndex = 0;

    // The highest archive names, looked up once per backup run: while a run goes on only the
    // run itself stages and files catalogs, and it raises these as it names and files them.
    // Not engaged outside a run: every archive name is then looked up on all discs and in
    // TempFolder.
    struct ArchiveNames {
        bool lookedUp = false;
        std::string filed;  // in the database
        std::string staged; // in TempFolder, or handed out by the run
    };
    std::optional<ArchiveNames> RunArchiveNames;

    // Sorted lists (path collation, duplicates ignored).
    SortedList DiscList;
    SortedList ScratchNames; // scratch list of file names
    SortedList BackupState;
    SortedList DeletedPaths;
    SortedList FullList;
    SortedList NewList;
    SortedList ArchiveCatalog;
    // Lists kept in the order lines were added.
    std::vector<std::string> ScratchLines; // scratch list of catalog lines, as loaded
    std::vector<std::string> FQList;
    std::vector<std::string> FQUList; // looked up with the path collation
    std::vector<std::string> StagedFiles;

    bool CancelRequested = false;

    // Set by a backup run while it goes on: the burn callback hands it the bytes of the track
    // written so far and the track's size. While it is set the phase bar is the run's: it
    // shows the whole run's work, and neither staging nor the burn moves it on its own.
    std::function<void(int64_t written, int64_t total)> OnBurnProgress;

    // The burn callback's counters: they run on across burn sessions for the whole program run.
    int32_t TreeNodeCount = 0;
    int64_t LastWritePercent = 0;
    int32_t RenameCounter = 1;
};

} // namespace torvinel
