#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "app/Progress.h"
#include "backup/BackupFixture.h"
#include "catalog/CatalogLine.h"
#include "catalog/FileDigest.h"
#include "catalog/Md5.h"

namespace torvinel {
namespace {

using test::BackupFixture;
using test::discWithRoom;
using test::incompressible;
using test::overwriteInPlace;

// The estimate counts the discs the writer makes: the image drive's kind at its Blocks, not a
// standard disc; without a writer's discs the estimate's 650 MiB CDs and 4500 MiB DVDs.
TEST(DiscEstimateTest, CountsTheDiscsTheWriterMakes)
{
    const std::vector<DiscMedia> standard;
    const std::vector<DiscMedia> smallCd = mediaForDisc(DISC_TYPE_CDR, 15360); // 31,457,280 bytes
    const std::vector<DiscMedia> smallDl = mediaForDisc(DISC_TYPE_DVDPLUSR_DL, 1000);
    const int64_t mebibyte = 1048576;
    const struct {
        int64_t bytes;
        const std::vector<DiscMedia>& media;
        const char* text;
    } cases[] = {
        {0, standard, "This backup should fit on 1 CD or 1 DVD."},
        {650 * mebibyte - 1, standard, "This backup should fit on 1 CD or 1 DVD."},
        {650 * mebibyte, standard, "This backup should fit on 2 CDs or 1 DVD."},
        {4500 * mebibyte, standard, "This backup should fit on 7 CDs or 2 DVDs."},
        {25000000, smallCd, "This backup should fit on 1 CD."},
        {40000000, smallCd, "This backup should fit on 2 CDs."},
        {100 * mebibyte, smallCd, "This backup should fit on 4 CDs."},
        {1000, smallDl, "This backup should fit on 1 DVD+R DL disc."},
        {5000000, smallDl, "This backup should fit on 3 DVD+R DL discs."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(discEstimateText(c.bytes, c.media), c.text) << c.bytes;
}

TEST(RotationStartTest, BeginsAfterTheRotationPointAndWrapsNearTheEnd)
{
    SortedList full;
    for (const char* p : {"/a", "/b", "/c", "/d", "/e"})
        full.add(p);
    const struct {
        const char* point;
        int start;
    } cases[] = {
        {"", 0},               // no old-files catalog yet
        {"/e", 0},             // the last entry
        {"/d", 0},             // the second-to-last
        {"/c", 3},             // the third-to-last: starts on the second-to-last
        {"/a", 1}, {"/bb", 2}, // gone from the list: where it would stand
        {"/z", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rotationStartIndex(full, c.point), c.start) << c.point;
}

TEST_F(BackupFixture, FirstRunGoesThroughEveryPhaseAndFilesOneDisc)
{
    useDiscs({discWithRoom(50), discWithRoom(50)});
    const std::string a = file("a.txt", "alpha");
    const std::string b = file("sub/b.txt", "beta");
    const std::string empty = file("sub/empty", "");
    // The selection comes from the tree: the data folder ticked, its sibling not.
    selection.reset();
    auto& tree = view.backupMemoryTree();
    tree.addPath(data());
    tree.addPath(dir / "other");
    tree.setStateOf(data(), CheckState::Checked);

    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();

    EXPECT_EQ(captions(),
              (std::vector<std::string>{
                  "Phase 1 of 9: Get backup selection", "Phase 2 of 9: Check current backup state",
                  "Phase 3 of 9: Check for new and changed files.", "Phase 4 of 9: Check backup disk OK",
                  "Phase 5 of 9: Completing previous backup files.", "Phase 6 of 9: Backup new and changed files.",
                  "Phase 7 of 9: Backup old files.", "Phase 8 of 9: Updating current backup state.", " "}));
    EXPECT_EQ(view.calls().front(), "hideWindow Main");
    EXPECT_EQ(view.calls().back(), "showWindow Main");
    // The closing box ends with what the run put on its disc; a test drive writes no image.
    EXPECT_TRUE(view.has("showInformation The backup is finished.\nBacked up 3 files, 9 B (9 bytes).\n"
                         "Disc 20240305001 was written."))
        << view.dump();
    EXPECT_EQ(view.text(Window::BackupProgress, Control::MessageText), "Done.");
    EXPECT_EQ(view.text(Window::BackupProgress, Control::DiscCount), "This backup should fit on 1 CD or 1 DVD.");
    EXPECT_TRUE(logHas("Estimated backup size: 9"));
    EXPECT_TRUE(logHas("Treesize bigger than 0, so writing last bits."));

    EXPECT_EQ(listFile("FQList.txt"), std::vector<std::string>{data()});
    EXPECT_EQ(listFile("NewList.txt"), (std::vector<std::string>{a, b, empty}));
    EXPECT_TRUE(listFile("FullList.txt").empty());

    EXPECT_EQ(discs(), std::vector<std::string>{"20240305001"});
    EXPECT_EQ(filed("20240305001"),
              (std::vector<std::string>{"2024030500001dd.csv", "2024030500002rn.csv", "STATUS.INI"}));
    const auto lines = catalog("20240305001", "2024030500002rn.csv");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(CatalogPath(lines[0]), a);
    EXPECT_EQ(CatalogSize(lines[0]), 5);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 33), "," + DigestHex(md5("alpha", 5)));
    EXPECT_EQ(lines[2].substr(lines[2].size() - 33), ",d41d8cd98f00b204e9800998ecf8427e"); // the empty file
    EXPECT_EQ(state.BackupState.size(), 3u);
    EXPECT_EQ(refreshes, 1);
    EXPECT_TRUE(tempEmpty());
    ASSERT_EQ(drive()->ejectedDiscs().size(), 1u);
    EXPECT_EQ(drive()->ejectedDiscs()[0].volumeLabel, "20240305001");
    EXPECT_TRUE(view.has("showInformation Please remove the disk and mark it with the following number: 20240305001"));
}

TEST_F(BackupFixture, UnchangedFilesAreWrittenAgainInRotationAndTheNextRunStartsAfterThem)
{
    useDiscs({discWithRoom(50), discWithRoom(50), discWithRoom(50)});
    const std::string a = file("a.txt", "alpha");
    const std::string b = file("b.txt", "beta");
    ASSERT_EQ(run(), BackupOutcome::Finished);
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();

    EXPECT_TRUE(listFile("NewList.txt").empty());
    EXPECT_EQ(listFile("FullList.txt"), (std::vector<std::string>{a, b}));
    EXPECT_EQ(filed("20240305002"),
              (std::vector<std::string>{"2024030500003dd.csv", "2024030500004rf.csv", "STATUS.INI"}));
    EXPECT_EQ(catalog("20240305002", "2024030500004rf.csv").size(), 2u);
    EXPECT_EQ(state.RotationPoint, b);
    EXPECT_EQ(view.text(Window::BackupProgress, Control::DiscCount), "This backup should fit on 1 CD or 1 DVD.");
}

// How a second run sees a file after one change.
struct ChangeCase {
    const char* name;
    bool md5;
    void (*change)(const std::string& path, platform::ArchiveAttribute& bits);
    bool changed;
};

class ChangeDetectionTest : public BackupFixture, public ::testing::WithParamInterface<ChangeCase> { };

// Other content of the same size under the same last-write stamp.
void overwriteKeepingStamp(const std::string& path)
{
    const auto stamp = platform::lastWriteStamp(path);
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    std::fputs("ALPHA", f);
    std::fclose(f);
    ASSERT_TRUE(platform::setLastWriteStamp(path, *stamp));
}

// The same, with the archive bit cleared again afterwards, as on a file system that did not
// set it.
void sameStampOtherContent(const std::string& path, platform::ArchiveAttribute& bits)
{
    overwriteKeepingStamp(path);
    bits.clear(path);
}

const ChangeCase changeCases[] = {
    {"Nothing", false, [](const std::string&, platform::ArchiveAttribute&) {}, false},
    {"ArchiveBitSet", false, [](const std::string& path, platform::ArchiveAttribute&) { ::chmod(path.c_str(), 0600); },
     true},
    {"ContentWithoutDigest", false, sameStampOtherContent, false},
    {"ContentWithDigest", true, sameStampOtherContent, true},
    {"Size", false,
     [](const std::string& path, platform::ArchiveAttribute& bits) {
         const auto stamp = platform::lastWriteStamp(path);
         std::FILE* f = std::fopen(path.c_str(), "ab");
         std::fputs("+", f);
         std::fclose(f);
         ASSERT_TRUE(platform::setLastWriteStamp(path, *stamp));
         bits.clear(path);
     },
     true},
};

TEST_P(ChangeDetectionTest, SecondRunClassifiesTheFile)
{
    useDiscs({discWithRoom(50), discWithRoom(50)});
    const std::string a = file("a.txt", "alpha");
    ASSERT_EQ(run(), BackupOutcome::Finished);
    GetParam().change(a, *bits);
    view.setChecked(Control::Md5Check, GetParam().md5);
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();
    EXPECT_EQ(listFile("NewList.txt"), GetParam().changed ? std::vector<std::string>{a} : std::vector<std::string>{});
    EXPECT_EQ(listFile("FullList.txt"), GetParam().changed ? std::vector<std::string>{} : std::vector<std::string>{a});
}

INSTANTIATE_TEST_SUITE_P(Cases, ChangeDetectionTest, ::testing::ValuesIn(changeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BackupFixture, TheProgramsOwnFoldersAreNeverBackedUpEvenInsideATickedFolder)
{
    useDiscs({discWithRoom(50)});
    const std::string a = file("a.txt", "alpha");
    dir.write("images/20240101001.iso", "an earlier disc image");
    dir.write("app/torvineltemp/leftover.zip", "staged by an interrupted run");
    selection = std::vector<std::string>{dir.path()};
    excluded = {dir / "images"}; // the image drive's folder
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();
    EXPECT_EQ(listFile("NewList.txt"), std::vector<std::string>{a});
}

TEST_F(BackupFixture, NamesThatDifferOnlyInCaseAreTwoFiles)
{
    useDiscs({discWithRoom(50)});
    const std::string lower = file("a.txt", "lower");
    const std::string upper = file("A.txt", "upper");
    ASSERT_EQ(run(), BackupOutcome::Finished);
    const auto lines = catalog("20240305001", "2024030500002rn.csv");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(CatalogPath(lines[0]), upper);
    EXPECT_EQ(CatalogPath(lines[1]), lower);
}

TEST_F(BackupFixture, NothingTickedRecordsEveryFileAsGoneOnADiscOfItsOwn)
{
    useDiscs({discWithRoom(50), discWithRoom(50)});
    file("a.txt", "alpha");
    file("b.txt", "beta");
    ASSERT_EQ(run(), BackupOutcome::Finished);
    selection = std::vector<std::string>{};
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();

    EXPECT_EQ(view.text(Window::BackupProgress, Control::DiscCount), "This backup should fit on 1 CD or 1 DVD.");
    EXPECT_FALSE(std::filesystem::exists(state.appFile("FQList.txt"))) << "a run's own selection is not saved";
    EXPECT_EQ(filed("20240305002"), (std::vector<std::string>{"2024030500003dd.csv", "STATUS.INI"}));
    EXPECT_EQ(catalog("20240305002", "2024030500003dd.csv").size(), 2u);
    EXPECT_TRUE(state.BackupState.empty());
    EXPECT_EQ(state.DeletedPaths.size(), 2u);
}

TEST_F(BackupFixture, CancelWhileWaitingForABlankDiscSkipsToTheStateUpdate)
{
    ScriptedDisc none;
    none.type = DISC_TYPE_NO_MEDIA;
    useDiscs({none});
    file("a.txt", "alpha");
    int polls = 0;
    view.onProcessEvents = [&] {
        if (view.text(Window::BackupProgress, Control::ProgressCaption) == "Phase 4 of 9: Check backup disk OK"
            && ++polls == 20)
            requestBackupCancel(state, view);
    };
    ASSERT_EQ(run(), BackupOutcome::Cancelled) << view.dump();

    const auto seen = captions();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "Phase 5 of 9: Completing previous backup files."), 0);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "Phase 8 of 9: Updating current backup state."), 1);
    EXPECT_EQ(view.text(Window::BackupProgress, Control::MessageText), "The backup was cancelled.");
    EXPECT_TRUE(view.has("showInformation The backup was cancelled.\n"
                         "Nothing has been written to the disk in the CD/DVD writer.\n"
                         "Backed up 0 files, 0 B (0 bytes)."));
    EXPECT_TRUE(discs().empty());
    EXPECT_TRUE(tempEmpty());
    EXPECT_EQ(view.calls().back(), "showWindow Main");
}

TEST_F(BackupFixture, CancelWhilePackingDiscardsTheDiscAndKeepsItsFilesMarked)
{
    useDiscs({discWithRoom(50)});
    const std::string a = file("a.txt", "alpha");
    const std::string b = file("b.txt", "beta");
    view.onProcessEvents = [&] {
        if (view.text(Window::BackupProgress, Control::PhaseText) == "File: " + b && !state.CancelRequested)
            requestBackupCancel(state, view);
    };
    ASSERT_EQ(run(), BackupOutcome::Cancelled) << view.dump();
    EXPECT_TRUE(discs().empty());
    EXPECT_TRUE(tempEmpty());
    EXPECT_TRUE(bits->isSet(a)); // packed before the cancel, never burnt
    EXPECT_TRUE(drive()->ejectedDiscs().empty());
}

TEST_F(BackupFixture, AFailedBurnEndsTheRunLeavesTheStateWholeAndBringsBackTheMainWindow)
{
    useDiscs({discWithRoom(50), discWithRoom(50)});
    const std::string a = file("a.txt", "alpha");
    file("b.txt", "beta");
    ASSERT_EQ(run(), BackupOutcome::Finished);
    const auto before = state.BackupState.lines();

    TestDriveScript failing;
    failing.discs = {discWithRoom(50)};
    failing.faults = {{"Discwright_Drive_TrackAtOnceFromTree", 0, 1, 0, "Write error"}};
    Discwright_UseTestDrives({failing});
    devices.Items[0].DeviceAddress = Discwright_GetTestDrive(0)->address();
    overwriteKeepingStamp(a); // only the archive bit tells
    EXPECT_NE(failure().find("Discwright_Drive_TrackAtOnceFromTree() failed"), std::string::npos);

    EXPECT_TRUE(view.callsStartingWith("showError ").empty()); // the caller shows the box
    const auto& calls = view.calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[calls.size() - 2], "hideWindow BackupProgress");
    EXPECT_EQ(calls.back(), "showWindow Main");
    EXPECT_EQ(state.BackupState.lines(), before);
    // Packed, never burnt: still to be backed up.
    EXPECT_TRUE(bits->isSet(a));
    useDiscs({discWithRoom(50)});
    ASSERT_EQ(run(), BackupOutcome::Finished);
    EXPECT_EQ(listFile("NewList.txt"), std::vector<std::string>{a});
}

// A burnt disc whose catalogs or STATUS.INI did not reach the database is unknown to every
// restore: the run fails, nothing half-filed is left, and its files stay marked for the next
// run.
TEST_F(BackupFixture, ADiscThatCouldNotBeFiledFailsTheRunAndLeavesNothingHalfFiled)
{
    namespace fs = std::filesystem;
    const std::string disc = state.DatabaseFolder + "/20240305001";
    const std::string filing = state.DatabaseFolder + "/filing-20240305001";
    struct Case {
        const char* fault;
        std::string error;
    };
    const Case cases[] = {
        {"a staged catalog unreadable", "Could not copy " + state.TempFolder + "/2024030500002rn.csv to " + disc},
        {"the status file unreadable", "Could not copy " + state.TempFolder + "/status.ini to " + disc},
        {"the database not writable there", "Could not create " + disc},
        {"the disc's name taken", "Could not file " + filing + " as " + disc},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        fs::remove_all(state.DatabaseFolder);
        fs::create_directories(state.DatabaseFolder);
        fs::remove(state.settingsFile()); // a new database: the failed case's number is not used
        useDiscs({discWithRoom(50)});
        const std::string a = file("a.txt", "alpha");
        // Made once the disc is written (its session closed), so only the filing meets it;
        // a folder where a file is read, or a file where a folder is made, fails whoever runs
        // the test.
        bool planted = false;
        view.onProcessEvents = [&] {
            if (planted || driveCalls("Discwright_Drive_CloseSession") == 0)
                return;
            planted = true;
            const std::string fault = c.fault;
            if (fault == "a staged catalog unreadable" || fault == "the status file unreadable") {
                const std::string staged = state.TempFolder
                    + (fault == "the status file unreadable" ? "/status.ini" : "/2024030500002rn.csv");
                fs::remove(staged);
                fs::create_directories(staged);
            } else if (fault == "the database not writable there") {
                std::ofstream(filing) << "in the way";
            } else {
                fs::create_directories(disc);
            }
        };

        const std::string error = failure();

        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(planted);
        EXPECT_FALSE(view.has("showInformation The backup is finished."));
        EXPECT_TRUE(logHas(error));
        EXPECT_TRUE(bits->isSet(a));
        EXPECT_FALSE(fs::is_directory(filing));
        if (c.fault != std::string("the disc's name taken")) {
            EXPECT_FALSE(fs::exists(disc));
        } else {
            EXPECT_TRUE(fs::is_empty(disc)); // only what the test made
        }
        view.onProcessEvents = nullptr;
    }
}

// A burn that did not go through files nothing: the run stops as cancelled or failed and
// says only what is true about the discs.
TEST_F(BackupFixture, ADiscThatWasNotBurntIsNeverFiledOrLabelled)
{
    const std::string cancelledNothing = "showInformation The backup was cancelled.\n"
                                         "Nothing has been written to the disk in the CD/DVD writer.\n"
                                         "Backed up 0 files, 0 B (0 bytes).";
    struct Case {
        const char* name;
        std::function<void(TestDriveScript&)> script;
        std::function<bool()> cancelNow; // when the user cancels; empty: never
        std::string error;               // the run's failure; empty: it is cancelled
    };
    const Case cases[] = {
        {"cancel while the locked drive gets ready", nullptr,
         [&] { return drive()->locked() && driveCalls("Discwright_Drive_Lock") == 2; }, ""},
        {"cancel while the disc's image is built", nullptr,
         [&] { return drive()->locked() && logHas("Adding \"20240305001\" to the file tree..."); }, ""},
        {"a buffer underrun", [](TestDriveScript& s) { s.underrunAtByte = 0; }, nullptr,
         "A buffer underrun spoilt the disk in the CD/DVD writer; it is not recorded as a backup disk. Please "
         "insert a new blank disk and start the backup again."},
        {"track information that cannot be read",
         [](TestDriveScript& s) { s.faults = {{"Discwright_Drive_GetTrackInformation", 2, 1, 7, "No track"}}; },
         nullptr, "Discwright_Drive_GetTrackInformation() failed, exception 1, status 7, text \"No track\""},
        {"a disc too small for the reserve", [](TestDriveScript& s) { s.discs[0].freeBlocks = 5000; }, nullptr,
         "The disk in the CD/DVD writer is too small: it does not even hold the 10 MB every backup disk keeps "
         "free. Please insert a larger blank disk."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(state.settingsFile()); // each case numbers its disc as the first
        TestDriveScript script;
        script.discs = {discWithRoom(50)};
        if (c.script)
            c.script(script);
        useScript(script);
        const std::string a = file("a.txt", "alpha");
        view.onProcessEvents = [&] {
            if (c.cancelNow && !state.CancelRequested && c.cancelNow())
                requestBackupCancel(state, view);
        };

        if (c.error.empty()) {
            EXPECT_EQ(run(), BackupOutcome::Cancelled);
            EXPECT_TRUE(view.has(cancelledNothing)) << view.dump();
        } else {
            EXPECT_EQ(failure(), c.error);
            EXPECT_TRUE(view.callsStartingWith("showInformation The backup was cancelled.").empty());
        }
        EXPECT_TRUE(discs().empty());
        EXPECT_FALSE(view.has("showInformation The backup is finished."));
        EXPECT_TRUE(view.callsStartingWith("showInformation Please remove the disk").empty()) << view.dump();
        EXPECT_TRUE(bits->isSet(a));
        if (c.error.empty()) {
            EXPECT_TRUE(tempEmpty());
        }
        view.onProcessEvents = nullptr;
        if (c.name == std::string("a disc too small for the reserve")) {
            const auto seen = captions(); // refused before anything was staged for it
            EXPECT_EQ(std::count(seen.begin(), seen.end(), "Phase 5 of 9: Completing previous backup files."), 0);
        }
    }
}

TEST_F(BackupFixture, AFileGoneAtPackTimeIsSkippedWithAWarningAndBackedUpNextRun)
{
    useDiscs({discWithRoom(50), discWithRoom(50)});
    const std::string a = file("a.txt", "alpha");
    const std::string b = file("b.txt", "beta");
    view.onProcessEvents = [&] {
        if (view.text(Window::BackupProgress, Control::ProgressCaption) == "Phase 4 of 9: Check backup disk OK")
            std::filesystem::remove(a);
    };
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();
    EXPECT_TRUE(view.has("setText BackupProgress MessageText Warning: Could not read file " + a));
    EXPECT_TRUE(logHas("Warning: Could not read file " + a));
    const auto lines = catalog("20240305001", "2024030500002rn.csv");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(CatalogPath(lines[0]), b);

    view.onProcessEvents = nullptr;
    file("a.txt", "alpha");
    ASSERT_EQ(run(), BackupOutcome::Finished);
    EXPECT_EQ(listFile("NewList.txt"), std::vector<std::string>{a});
}

// Rewritten in place while the run reads it (same size, same stamp): the run claims nothing of
// it, the next run takes it for new, and its newest set gives the bytes written.
TEST_F(BackupFixture, AFileWrittenToWhileItIsReadIsTakenByTheNextRunWithItsNewBytes)
{
    useDiscs({discWithRoom(50), discWithRoom(50)});
    std::string written = incompressible(3 << 20);
    const std::string a = file("a.zip", written);
    written.replace(0, 7, "CHANGED");
    const std::string b = file("b.txt", "beta");
    bool hooked = false;
    view.onProcessEvents = [&] {
        if (!hooked) {
            hooked = true;
            whileReading(a, [&] { overwriteInPlace(a, "CHANGED"); });
        }
    };
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();
    EXPECT_TRUE(logHas("Warning: File changed while it was read: " + a));
    const auto lines = catalog("20240305001", "2024030500002rn.csv");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(CatalogPath(lines[0]), b);
    EXPECT_FALSE(StateHasPath(state.BackupState, a).found);

    view.onProcessEvents = nullptr;
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();
    EXPECT_EQ(listFile("NewList.txt"), std::vector<std::string>{a});
    EXPECT_EQ(restoreNewest(a), written);
}

// A file of 20 MB stored as it is (".zip") takes three 8 MiB volumes.
TEST_F(BackupFixture, ASplitFileRunsOnOntoTheNextDiscInPhase6)
{
    useDiscs({discWithRoom(20), discWithRoom(20)});
    const std::string big = file("big.zip", incompressible(20000000));
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();

    EXPECT_EQ(filed("20240305001"),
              (std::vector<std::string>{"2024030500001dd.csv", "2024030500002rn_001.csv", "2024030500002rn_002.csv",
                                        "STATUS.INI"}));
    EXPECT_EQ(filed("20240305002"), (std::vector<std::string>{"2024030500002rn.csv", "STATUS.INI"}));
    for (const auto& [disc, name] : std::vector<std::pair<std::string, std::string>>{
             {"20240305001", "2024030500002rn_001.csv"}, {"20240305002", "2024030500002rn.csv"}}) {
        const auto lines = catalog(disc, name);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(CatalogPath(lines[0]), big);
    }
    EXPECT_EQ(drive()->ejectedDiscs().size(), 2u);
    EXPECT_EQ(state.SplitVolumesDone, 0);
}

// A run stopped on its second disc names the first, which was burnt and filed.
// A finished run that left files out says so in its closing box and lists them in the
// details; links and FIFOs inside a ticked folder only add one counting line. A file too large
// for an empty disc is known from the blank disc's room: the files after it share its disc.
TEST_F(BackupFixture, AFinishedRunNamesTheFilesItLeftOut)
{
    const std::string skippedTwo = "Skipped 2 links, FIFOs, sockets or devices inside the selected folders; they are "
                                   "listed in the log.";
    const std::string skippedOne =
        "Skipped 1 link, FIFO, socket or device inside the selected folders; it is listed in the log.";
    const struct {
        const char* folder;
        bool tooLarge;   // a 6 MB file, before c.txt, on discs of 4 MiB
        bool badName;    // a name with a line break
        int specials;    // a FIFO, then a link
        std::string box; // the closing box as the view recorded it; <f> stands for the folder
    } cases[] = {
        {"specials", false, false, 2,
         "showInformation The backup is finished.\n" + skippedTwo
             + "\nBacked up 2 files, 10 B (10 bytes).\nDisc 20240305001 was written."},
        {"both", true, true, 0,
         "showInformation The backup is finished, but 2 files were not backed up.\n"
         "Backed up 2 files, 10 B (10 bytes).\nDisc 20240305002 was written.\n"
         "Not backed up: <f>/bad\\nname: a catalog line cannot carry its name\n"
         "Not backed up: <f>/big.bin: too large for an empty disc"},
        {"one", true, false, 1,
         "showInformation The backup is finished, but 1 file was not backed up.\n" + skippedOne
             + "\nBacked up 2 files, 10 B (10 bytes).\nDisc 20240305003 was written."
             + "\nNot backed up: <f>/big.bin: too large for an empty disc"},
    };
    for (const auto& c : cases) {
        useDiscs({discWithRoom(4), discWithRoom(4)});
        const std::string folder = data() + "/" + c.folder;
        file(std::string(c.folder) + "/a.txt", "alpha");
        file(std::string(c.folder) + "/c.txt", "gamma");
        if (c.tooLarge)
            file(std::string(c.folder) + "/big.bin", incompressible(6000000));
        if (c.badName)
            file(std::string(c.folder) + "/bad\nname", "x");
        if (c.specials > 0) {
            ASSERT_EQ(mkfifo((folder + "/pipe").c_str(), 0600), 0);
        }
        if (c.specials > 1)
            std::filesystem::create_symlink(folder + "/a.txt", folder + "/link");
        selection = {folder};
        const std::size_t discsBefore = discs().size();

        ASSERT_EQ(run(), BackupOutcome::Finished) << c.folder << "\n" << view.dump();
        std::string box = c.box;
        for (std::size_t at; (at = box.find("<f>")) != std::string::npos;)
            box.replace(at, 3, folder);
        EXPECT_TRUE(view.has(box)) << c.folder << "\n" << view.dump();
        EXPECT_EQ(discs().size(), discsBefore + 1) << c.folder << ": the files after a too large one share its disc";
        // The box's lines after its first are logged as they are.
        for (std::size_t at = box.find('\n'); at != std::string::npos;) {
            const std::size_t end = box.find('\n', at + 1);
            const std::string line = box.substr(at + 1, end == std::string::npos ? end : end - at - 1);
            EXPECT_TRUE(logHas(line)) << c.folder << ": " << line;
            at = end;
        }
    }
}

TEST_F(BackupFixture, ACancelOnTheSecondDiscNamesTheFirst)
{
    useDiscs({discWithRoom(20), discWithRoom(20)});
    file("big.zip", incompressible(20000000));
    view.onProcessEvents = [&] {
        if (!state.CancelRequested && drive()->locked() && driveCalls("Discwright_Drive_Lock") == 4)
            requestBackupCancel(state, view);
    };
    ASSERT_EQ(run(), BackupOutcome::Cancelled) << view.dump();
    // The split file is not counted: its last volume never reached a disc.
    EXPECT_TRUE(view.has("showInformation The backup was cancelled.\nDisc 20240305001 was written and recorded; "
                         "nothing has been written to the disk now in the CD/DVD writer.\n"
                         "Backed up 0 files, 0 B (0 bytes).\nDisc 20240305001 was written."))
        << view.dump();
    EXPECT_EQ(discs(), std::vector<std::string>{"20240305001"});
    EXPECT_EQ(view.callsStartingWith("showInformation Please remove the disk").size(), 1u);
}

class SplitInRotation : public BackupFixture {
protected:
    // Run 1 backs up the big file whole; run 2 rotates it onto a disc that holds two of
    // its three volumes and throws the third away.
    void abandonInPhase7()
    {
        useDiscs({discWithRoom(50), discWithRoom(20), discWithRoom(50)});
        big = file("big.zip", incompressible(20000000));
        ASSERT_EQ(run(), BackupOutcome::Finished);
        ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();
        ASSERT_EQ(filed("20240305002"),
                  (std::vector<std::string>{"2024030500003dd.csv", "2024030500004rf_001.csv", "2024030500004rf_002.csv",
                                            "STATUS.INI"}));
        ASSERT_EQ(state.SplitVolumesDone, 2);
        ASSERT_EQ(state.SplitArchiveName, "2024030500004rf");
    }
    std::string big;
};

TEST_F(SplitInRotation, TheNextRunCompletesTheAbandonedSplitUnderItsName)
{
    abandonInPhase7();
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();
    EXPECT_EQ(filed("20240305003"),
              (std::vector<std::string>{"2024030500004rf.csv", "2024030500005dd.csv", "STATUS.INI"}));
    EXPECT_EQ(state.SplitVolumesDone, 0);
    EXPECT_TRUE(state.BackupState.contains(catalog("20240305003", "2024030500004rf.csv")[0]));
}

// The run that resumes the split is stopped after one more disc: the one after it resumes
// the split again, from there.
TEST_F(BackupFixture, AResumeThatIsCancelledIsResumedAgainAndTheFileRestoresWhole)
{
    // 40 MB: five volumes. Run 1 packs them all; run 2 rotates the file onto a disc that
    // takes two; run 3 resumes onto a disc that takes two more and is cancelled at the next.
    useDiscs({discWithRoom(60), discWithRoom(20), discWithRoom(20), discWithRoom(20)});
    const std::string content = incompressible(40000000);
    const std::string big = file("big.zip", content);
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();
    ASSERT_EQ(state.SplitVolumesDone, 2);
    view.onProcessEvents = [&] {
        if (!state.CancelRequested && std::filesystem::exists(state.DatabaseFolder + "/20240305003"))
            requestBackupCancel(state, view);
    };
    ASSERT_EQ(run(), BackupOutcome::Cancelled) << view.dump();
    EXPECT_EQ(filed("20240305003"), (std::vector<std::string>{"2024030500004rf_003.csv", "2024030500004rf_004.csv",
                                                              "2024030500005dd.csv", "STATUS.INI"}));
    EXPECT_EQ(state.SplitArchiveName, "2024030500004rf");
    EXPECT_EQ(state.SplitVolumesDone, 4);

    view.onProcessEvents = nullptr;
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();
    // (20240305004 was named for the disc the cancelled run asked for, and is never given again.)
    EXPECT_EQ(filed("20240305005"),
              (std::vector<std::string>{"2024030500004rf.csv", "2024030500006dd.csv", "STATUS.INI"}));
    EXPECT_EQ(state.SplitVolumesDone, 0);
    EXPECT_TRUE(state.BackupState.contains(catalog("20240305005", "2024030500004rf.csv")[0]));
    EXPECT_EQ(restoreNewest(big), content);
}

TEST_F(SplitInRotation, AChangedFileGivesUpThePendingSplitAndGoesWholeInPhase6)
{
    abandonInPhase7();
    file("big.zip", incompressible(20000001));
    ASSERT_EQ(run(), BackupOutcome::Finished) << view.dump();
    EXPECT_EQ(listFile("NewList.txt"), std::vector<std::string>{big});
    EXPECT_EQ(filed("20240305003"),
              (std::vector<std::string>{"2024030500005dd.csv", "2024030500006rn.csv", "2024030500006rn_001.csv",
                                        "2024030500006rn_002.csv", "STATUS.INI"}));
    EXPECT_EQ(state.SplitVolumesDone, 0);
}

} // namespace
} // namespace torvinel
