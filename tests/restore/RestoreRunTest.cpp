#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <tuple>

#include "RestoreFixture.h"
#include "app/Error.h"
#include "app/SortedList.h"
#include "catalog/DiscHealth.h"
#include "catalog/FileDigest.h"
#include "catalog/Md5.h"
#include "platform/Platform.h"
#include "restore/RestoreRun.h"

namespace torvinel::test {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

std::string bytes(std::size_t size, unsigned seed)
{
    std::string text(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (char& c : text) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return text;
}

class RestoreRunTest : public RestoreFixture {
protected:
    void SetUp() override
    {
        RestoreFixture::SetUp();
        s.log.open(s.AppFolder + "/LogFile.txt");
    }
    Names logLines() { return readLinesOf(s.AppFolder + "/LogFile.txt"); }
    static Names readLinesOf(const std::string& path)
    {
        std::ifstream in(path);
        Names lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line.substr(0, line.find('\r')));
        return lines;
    }
    // One run of three files in one archive, plus a.txt.bak beside a.txt.
    void oneRun()
    {
        deletedCatalog("20240305001", "2024030500001dd", {});
        archive("20240305001", "2024030500002rn",
                {{"/home/u/a.txt", "alpha"},
                 {"/home/u/a.txt.bak", "old alpha"},
                 {"/home/u/b.txt", "beta"},
                 {"/home/u/c.txt", "gamma"}});
    }
    std::string target(const char* number) const { return s.RestoreFolder + "/20240305" + number; }
};

TEST_F(RestoreRunTest, TwoFilesOfOneArchiveCopyItOnce)
{
    oneRun();
    chooseSet(0);
    tick("/home/u/a.txt");
    tick("/home/u/c.txt");
    const RestoreResult result = restore();

    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.target, target("001"));
    EXPECT_EQ(copies, Names{"20240305001/2024030500002rn.zip"});
    EXPECT_EQ(restored(result, "/home/u/a.txt"), "alpha");
    EXPECT_EQ(restored(result, "/home/u/c.txt"), "gamma");
    // The file ticked, not its namesakes.
    EXPECT_FALSE(fs::exists(result.target + "/r/home/u/a.txt.bak"));
    EXPECT_FALSE(fs::exists(result.target + "/r/home/u/b.txt"));
    const auto stamp = platform::lastWriteStamp(result.target + "/r/home/u/a.txt");
    ASSERT_TRUE(stamp);
    EXPECT_EQ(stamp->hour * 10000 + stamp->minute * 100 + stamp->second, 140326);

    EXPECT_EQ(listFile("FQrestorelist.txt"), (Names{"/home/u/a.txt", "/home/u/c.txt"}));
    EXPECT_EQ(listFile("restorelist.txt"),
              (Names{lineOf({"/home/u/a.txt", "alpha"}), lineOf({"/home/u/c.txt", "gamma"})}));
    EXPECT_TRUE(listFile("restoreafter.txt").empty());
    EXPECT_EQ(view.position(Window::RestoreProgress, Control::ProgressBar), 1000);
    EXPECT_EQ(view.text(Window::RestoreProgress, Control::ProgressCaption), "Phase 2 of 2: Restoring files");
    EXPECT_EQ(view.statusText(1), "/home/u/a.txt");
    EXPECT_TRUE(view.has("showInformation The restored files are in " + result.target + "\nRestored 2 files, 10 B (10 bytes), into "
                         + result.target + "."))
        << view.dump();
    EXPECT_EQ(result.restoredFiles, 2);
    EXPECT_EQ(result.restoredBytes, 10);
    EXPECT_TRUE(view.has("openFolder " + result.target));
    EXPECT_TRUE(view.isShown(Window::Main));
    EXPECT_FALSE(view.isShown(Window::RestoreProgress));
    EXPECT_TRUE(view.has("setText RestoreProgress MessageText This restore needs 1 disc: 20240305001"));
    // The archive is read where it lies on the disc.
    EXPECT_EQ(logLines(),
              (Names{"This restore needs 1 disc: 20240305001",
                     "Restoring: /home/u/c.txt From " + drive() + "/20240305001/2024030500002rn.zip",
                     "Restoring: /home/u/a.txt From " + drive() + "/20240305001/2024030500002rn.zip"}));
}

TEST_F(RestoreRunTest, TickedFolderRestoresAllBelowIt)
{
    oneRun();
    chooseSet(0);
    tick("/home/");
    const RestoreResult result = restore();
    EXPECT_EQ(listFile("FQrestorelist.txt"), Names{"/"}); // home/ is all the root holds
    EXPECT_EQ(restored(result, "/home/u/a.txt.bak"), "old alpha");
    EXPECT_EQ(restored(result, "/home/u/b.txt"), "beta");
    EXPECT_EQ(copies.size(), 1u);
}

TEST_F(RestoreRunTest, SplitFileOverTwoDiscsIsFetchedNewestDiscFirstAndExtractedOnce)
{
    deletedCatalog("20240304001", "2024030400001dd", {});
    archive("20240304001", "2024030400002rn", {{"/home/u/small.txt", "small"}});
    const std::string big = bytes(150000, 7);
    const int volumes = splitArchive("20240304001", "20240305001", "2024030400003rn", {"/home/u/big.bin", big}, 2);
    ASSERT_EQ(volumes, 3);
    archive("20240305001", "2024030400004rn", {{"/home/u/later.txt", "later"}});
    chooseSet(0);
    tick("/home/u/");
    const RestoreResult result = restore();

    EXPECT_EQ(copies,
              (Names{"20240305001/2024030400004rn.zip", "20240305001/2024030400003rn.zip",
                     "20240304001/2024030400003rn_002.zip", "20240304001/2024030400003rn_001.zip",
                     "20240304001/2024030400002rn.zip"}));
    EXPECT_EQ(restored(result, "/home/u/big.bin"), big);
    EXPECT_EQ(restored(result, "/home/u/small.txt"), "small");
    EXPECT_EQ(restored(result, "/home/u/later.txt"), "later");
    const Names log = logLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Restoring large file from " + s.TempFolder + "/2024030400003rn.zip"),
              1);
    EXPECT_TRUE(view.has("setText RestoreProgress ProgressText File: /home/u/big.bin"));
    EXPECT_TRUE(listFile("restoreafter.txt").empty());
}

// A run that resumed a split files its deletion record beside the volumes it adds, under a
// higher name: met between the split's volumes, it must not end the archive waiting for them.
TEST_F(RestoreRunTest, ADeletionRecordAmongASplitsVolumesLeavesTheSplitWhole)
{
    deletedCatalog("20240304001", "2024030400001dd", {});
    const File big{"/home/u/big.bin", bytes(150000, 5)};
    ASSERT_EQ(splitArchive("20240304001", "20240305001", "2024030400002rf", big, 2), 3);
    deletedCatalog("20240304001", "2024030400003dd", {});
    chooseSet(0);
    tick("/home/u/big.bin");
    const RestoreResult result = restore();
    EXPECT_EQ(restored(result, "/home/u/big.bin"), big.content);
    EXPECT_TRUE(listFile("restoreafter.txt").empty());
}

TEST_F(RestoreRunTest, CancelWhileASplitFileWaitsForItsOlderDiscKeepsItsLine)
{
    deletedCatalog("20240304001", "2024030400001dd", {});
    const File big{"/home/u/big.bin", bytes(150000, 3)};
    splitArchive("20240304001", "20240305001", "2024030400002rn", big, 2);
    chooseSet(0);
    tick("/home/u/big.bin");
    fs::rename(drive() + "/20240304001", dir / "elsewhere"); // the older disc is not at hand
    view.answerCancel("Please insert the disk labeled 20240304001");
    const RestoreResult result = restore();
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(copies, Names{"20240305001/2024030400002rn.zip"});
    EXPECT_EQ(listFile("restoreafter.txt"), Names{lineOf(big)});
}

TEST_F(RestoreRunTest, ArchiveStillPendingWhenTheDiscsRunOutIsExtracted)
{
    // The single-file archive is the last catalog of the scan: nothing comes after it.
    archive("20240305001", "2024030500001rn", {{"/home/u/only.txt", "only"}});
    deletedCatalog("20240305001", "2024030500002dd", {});
    chooseSet(0);
    tick("/home/u/only.txt");
    const RestoreResult result = restore();
    EXPECT_EQ(restored(result, "/home/u/only.txt"), "only");
    EXPECT_TRUE(listFile("restoreafter.txt").empty());
}

TEST_F(RestoreRunTest, VersionComesFromTheChosenSetAndTheNewestDiscHoldingIt)
{
    // Run 1 writes a and b; run 2 changes a and writes b again unchanged (rotation).
    deletedCatalog("20240301001", "2024030100001dd", {});
    archive("20240301001", "2024030100002rn", {{"/home/u/a.txt", "first"}, {"/home/u/b.txt", "same"}});
    deletedCatalog("20240302001", "2024030200001dd", {});
    archive("20240302001", "2024030200002rn", {{"/home/u/a.txt", "second", "20240302100000"}, {"/home/u/x", "x"}});
    archive("20240302001", "2024030200003rf", {{"/home/u/b.txt", "same"}, {"/home/u/y", "y"}});

    struct Case {
        int set;
        std::string path, content, disc;
    } cases[] = {
        {1, "/home/u/a.txt", "first", "20240301001"},
        {0, "/home/u/a.txt", "second", "20240302001"},
        {0, "/home/u/b.txt", "same", "20240302001"}, // never asks for the older disc
    };
    for (const Case& c : cases) {
        copies.clear();
        chooseSet(c.set);
        tick(c.path);
        const RestoreResult result = restore();
        EXPECT_EQ(restored(result, c.path), c.content) << c.path;
        ASSERT_EQ(copies.size(), 1u) << c.path;
        EXPECT_EQ(copies[0].substr(0, 11), c.disc) << c.path;
    }
}

TEST_F(RestoreRunTest, ADiscLastCheckedDamagedIsAskedForOnlyForWhatNoOtherDiscHolds)
{
    // b.txt is on both discs, x only on the newer one, which a check found damaged.
    deletedCatalog("20240301001", "2024030100001dd", {});
    archive("20240301001", "2024030100002rn", {{"/home/u/b.txt", "same"}});
    deletedCatalog("20240302001", "2024030200001dd", {});
    archive("20240302001", "2024030200002rf", {{"/home/u/b.txt", "same"}, {"/home/u/x", "x"}});
    recordDiscCheck(s.AppFolder, {"2024-03-03T10:00:00", "20240302001", DiscCondition::Damaged, {"2024030200002rf.zip"}});

    struct Case {
        std::string path;
        Names discs; // asked for, in order
    } cases[] = {
        {"/home/u/b.txt", {"20240301001"}}, // the newer disc holds it too, but it is damaged
        {"/home/u/x", {"20240302001"}},     // only the damaged disc holds it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        chooseSet(0);
        tick(c.path);
        Names planned;
        for (const PlannedDisc& disc : planRestoreRun(s, view, tree).plan.discs)
            planned.push_back(disc.disc);
        EXPECT_EQ(planned, c.discs);
        copies.clear();
        const RestoreResult result = restore();
        EXPECT_TRUE(result.notRestored.empty());
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(copies[0].substr(0, 11), c.discs[0]);
    }

    // When the sound disc's copy fails, the damaged disc's copy is still tried.
    std::filesystem::remove(drive() + "/20240301001/2024030100002rn.zip");
    std::ofstream(drive() + "/20240301001/2024030100002rn.zip") << "not an archive";
    chooseSet(0);
    tick("/home/u/b.txt");
    copies.clear();
    const RestoreResult result = restore();
    EXPECT_EQ(restored(result, "/home/u/b.txt"), "same");
    EXPECT_EQ(copies, (Names{"20240301001/2024030100002rn.zip", "20240302001/2024030200002rf.zip"}));
}

TEST_F(RestoreRunTest, ImageDriveLoadsTheDiscFromItsShelf)
{
    oneRun();
    if (!shelve())
        GTEST_SKIP() << "xorriso cannot make an image here";
    chooseSet(0);
    tick("/home/u/b.txt");
    const RestoreResult result = restore();
    EXPECT_EQ(restored(result, "/home/u/b.txt"), "beta");
    EXPECT_EQ(view.countPrefix("askOkCancel"), 0);
}

// An archive in an image is read where it lies inside the .iso, and gives what a copy of it
// gives.
TEST_F(RestoreRunTest, ShelfArchivesReadInPlaceGiveWhatTheirCopiesGive)
{
    const std::vector<File> older = {
        {"/home/u/a.txt", "alpha"}, {"/home/u/b.jpg", "beta"}, {"/home/u/big.bin", bytes(300000, 3)}};
    deletedCatalog("20240301001", "2024030100001dd", {});
    archive("20240301001", "2024030100002rn", older);
    deletedCatalog("20240302001", "2024030200001dd", {});
    archive("20240302001", "2024030200002rn", {{"/home/u/new.txt", "new"}});
    if (!shelve())
        GTEST_SKIP() << "xorriso cannot make an image here";
    RestoreResult results[2];
    for (const bool readsInPlace : {true, false}) {
        SCOPED_TRACE(readsInPlace);
        readInPlace = readsInPlace;
        copies.clear();
        inPlace.clear();
        chooseSet(0);
        tick("/home/u/");
        const RestoreResult& result = results[readsInPlace ? 0 : 1] = restore();
        EXPECT_TRUE(result.notRestored.empty());
        EXPECT_EQ(copies.size(), 2u);
        EXPECT_EQ(inPlace, readsInPlace ? copies : Names{});
        for (const File& file : older)
            EXPECT_EQ(restored(result, file.path), file.content) << file.path;
        EXPECT_EQ(restored(result, "/home/u/new.txt"), "new");
    }
    EXPECT_NE(results[0].target, results[1].target);
}

// The older archive holds a name that, as the engine's mask, also matches another entry (a
// wildcard character, letter case, a file at the top that names one deeper down); that other
// file has a newer version, restored first, which must stay.
struct MaskCase {
    std::string asked, other;
};

void PrintTo(const MaskCase& c, std::ostream* out) { *out << c.asked << " beside " << c.other; }

class ExtractionTest : public RestoreRunTest, public ::testing::WithParamInterface<MaskCase> { };

TEST_P(ExtractionTest, TakesOnlyTheEntryAsked)
{
    const MaskCase& c = GetParam();
    deletedCatalog("20240301001", "2024030100001dd", {});
    archive("20240301001", "2024030100002rn", {{c.asked, "asked"}, {c.other, "old other"}});
    deletedCatalog("20240302001", "2024030200001dd", {});
    archive("20240302001", "2024030200002rn", {{c.other, "new other", "20240302100000"}, {"/x", "x"}});
    chooseSet(0);
    tick(c.asked);
    tick(c.other);
    const RestoreResult result = restore();
    EXPECT_EQ(restored(result, c.asked), "asked");
    EXPECT_EQ(restored(result, c.other), "new other");
    EXPECT_TRUE(listFile("restoreafter.txt").empty());
    EXPECT_FALSE(fs::exists(s.TempFolder + "/extract"));
}

INSTANTIATE_TEST_SUITE_P(Masks, ExtractionTest,
                         ::testing::Values(MaskCase{"/home/u/a?.txt", "/home/u/ab.txt"},
                                           MaskCase{"/home/u/README", "/home/u/readme"},
                                           MaskCase{"/notes.txt", "/home/u/notes.txt"}));

TEST_F(RestoreRunTest, FileMissingFromItsArchiveOrNotAsItsLineSaysIsReported)
{
    oneRun();
    // The catalog names a file the archive lacks, and gives b.txt the digest of other bytes
    // of its size: the archive's b.txt passes its CRC but is not the file backed up.
    const std::string catalog = s.DatabaseFolder + "/20240305001/2024030500002rn.csv";
    SortedList lines;
    lines.loadFromFile(catalog);
    const std::string b = lineOf({"/home/u/b.txt", "beta"});
    const std::string crafted = b + DigestHex(md5("BETA", 4));
    std::size_t at = 0;
    ASSERT_TRUE(lines.find(b, at));
    lines.erase(at);
    lines.add(crafted);
    const std::string missing = lineOf({"/home/u/missing.txt", "?"});
    lines.add(missing);
    lines.saveToFile(catalog);
    chooseSet(0);
    // Some lines of the archive, or all of them.
    const std::vector<Names> selections = {{"/home/u/missing.txt", "/home/u/b.txt", "/home/u/c.txt"}, {"/home/u/"}};
    for (const Names& selection : selections) {
        view.clearCalls();
        tree.setCheckState(tree.firstTopLevel(), CheckState::Unchecked);
        for (const std::string& path : selection)
            tick(path);
        const RestoreResult result = restore();
        EXPECT_FALSE(result.cancelled);
        EXPECT_EQ(restored(result, "/home/u/c.txt"), "gamma");
        EXPECT_FALSE(fs::exists(result.target + "/r/home/u/b.txt")); // deleted once found wrong
        EXPECT_EQ(listFile("restoreafter.txt"), (Names{crafted, missing}));
        const Names details = {
            "/home/u/b.txt: 20240305001/2024030500002rn.zip: its content differs from its catalog line",
            "/home/u/missing.txt: 20240305001/2024030500002rn.zip: it is not in the archive"};
        EXPECT_TRUE(view.countPrefix("showInformation The restore is finished, but 2 files could not be restored.\n") == 1)
            << view.dump();
        Names shown;
        for (const std::string& line : details)
            shown.push_back("Not restored: " + line);
        EXPECT_EQ(view.informationDetails(), shown);
        EXPECT_EQ(readLinesOf(result.target + "/Not restored.txt"), details);
        EXPECT_TRUE(view.has("openFolder " + result.target));
        ASSERT_EQ(result.notRestored.size(), 2u);
        EXPECT_EQ(result.notRestored[1].path, "/home/u/missing.txt");
    }
}

// A catalog path that could land outside the target folder is refused, even when a file of
// that name exists out there.
TEST_F(RestoreRunTest, PathThatCouldLeaveTheTargetIsRefused)
{
    oneRun();
    const std::string catalog = s.DatabaseFolder + "/20240305001/2024030500002rn.csv";
    const Names hostile = {"/home/u/../../../../escape.txt", "/home/u/./dot.txt", "/home/u//empty.txt"};
    for (const std::string& path : hostile)
        std::ofstream(catalog, std::ios::app) << lineOf({path, "outside"}) << "\r\n";
    const std::string outside = dir.write("restores/escape.txt", "outside");
    chooseSet(0);
    tick("/home/u/");
    const RestoreResult result = restore();
    EXPECT_EQ(restored(result, "/home/u/a.txt"), "alpha");
    EXPECT_EQ(dir.read("restores/escape.txt"), "outside");
    EXPECT_EQ(result.notRestored.size(), hostile.size());
    for (const NotRestored& file : result.notRestored)
        EXPECT_EQ(file.reason, "its path would lead outside the restore folder") << file.path;
    EXPECT_TRUE(view.countPrefix("showInformation The restore is finished, but 3 files could not be restored.\n") == 1);
    EXPECT_EQ(copies.size(), 1u);
}

// A name longer than the file system takes beneath the target: that file is reported, the
// others are restored.
TEST_F(RestoreRunTest, FileTheTargetCannotHoldIsReportedAndTheRestGoesOn)
{
    const std::string longName = "/home/u/" + std::string(250, 'n');
    deletedCatalog("20240305001", "2024030500001dd", {});
    archive("20240305001", "2024030500002rn", {{"/home/u/a.txt", "alpha"}, {longName, "long"}, {"/home/u/z", "z"}});
    // A deep restore folder leaves room for the short names only.
    s.RestoreFolder = dir.path();
    while (s.RestoreFolder.size() < 3800)
        s.RestoreFolder += "/" + std::string(200, 'd');
    fs::create_directories(s.RestoreFolder);
    chooseSet(0);
    tick("/home/u/");
    const RestoreResult result = restore();
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(restored(result, "/home/u/a.txt"), "alpha");
    EXPECT_EQ(restored(result, "/home/u/z"), "z");
    ASSERT_EQ(result.notRestored.size(), 1u);
    EXPECT_EQ(result.notRestored[0].path, longName);
    EXPECT_NE(result.notRestored[0].reason.find("the restore folder cannot hold it"), std::string::npos)
        << result.notRestored[0].reason;
    EXPECT_EQ(listFile("restoreafter.txt"), Names{lineOf({longName, "long"})});
}

TEST_F(RestoreRunTest, DeletedFilesCatalogIsNeverFetched)
{
    // The newest catalog promises a.txt but its archive lacks it; the scan goes on past a
    // deleted-files catalog naming the same line (which has no archive to ask for) to the
    // older archive holding that version.
    deletedCatalog("20240301001", "2024030100001dd", {});
    archive("20240301001", "2024030100002rn", {{"/home/u/a.txt", "alpha"}, {"/home/u/z", "z"}});
    deletedCatalog("20240301001", "2024030100003dd", {"/home/u/a.txt"});
    std::ofstream(s.DatabaseFolder + "/20240301001/2024030100003dd.csv", std::ios::trunc)
        << lineOf({"/home/u/a.txt", "alpha"}) << "\r\n";
    archive("20240301001", "2024030100004rn", {{"/home/u/b.txt", "b"}, {"/home/u/c.txt", "c"}});
    std::ofstream(s.DatabaseFolder + "/20240301001/2024030100004rn.csv", std::ios::app)
        << lineOf({"/home/u/a.txt", "alpha"}) << "\r\n";
    chooseSet(0);
    tick("/home/u/a.txt");
    const RestoreResult result = restore();
    EXPECT_EQ(restored(result, "/home/u/a.txt"), "alpha");
    EXPECT_EQ(view.countPrefix("askOkCancel"), 0);
    EXPECT_TRUE(listFile("restoreafter.txt").empty());
}

TEST_F(RestoreRunTest, CancelInTheDiscDialogLeavesTheRestInRestoreAfter)
{
    oneRun();
    fs::rename(drive() + "/20240305001", dir / "elsewhere"); // the disc is not in the drive
    chooseSet(0);
    tick("/home/u/");
    view.answerOk("Please insert the disk labeled 20240305001 into Drive " + drive());
    view.answerCancel("Please insert the disk labeled 20240305001 into Drive " + drive());
    const RestoreResult result = restore();

    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(view.countPrefix("askOkCancel"), 2); // the dialog repeats while the disc is missing
    EXPECT_TRUE(view.has("showInformation The Restore was cancelled.\nRestored 0 files, 0 B (0 bytes), into " + result.target
                         + "."));
    EXPECT_FALSE(view.has("openFolder " + result.target));
    EXPECT_EQ(listFile("restoreafter.txt").size(), 4u);
    EXPECT_TRUE(view.isShown(Window::Main));
}

TEST_F(RestoreRunTest, DriveIsOpenedAgainWhenTheDiscIsNotFound)
{
    // An optical disc is mounted at a folder named by its label, so the drive's folder is
    // known only once the disc asked for is in.
    oneRun();
    chooseSet(0);
    tick("/home/u/b.txt");
    std::string mountedAt = dir / "nothing-mounted";
    view.answerOk("Please insert the disk labeled 20240305001");
    int opens = 0;
    RestoreRunOptions options;
    options.openDrive = [&](const std::string& text) {
        EXPECT_EQ(text, drive());
        if (++opens == 3) // after the user pressed OK
            mountedAt = drive();
        return makeFolderReader(mountedAt);
    };
    const RestoreResult result = runRestore(s, view, tree, options);
    EXPECT_EQ(restored(result, "/home/u/b.txt"), "beta");
    EXPECT_EQ(view.countPrefix("askOkCancel"), 1);
}

TEST_F(RestoreRunTest, CancelClickStopsTheRun)
{
    oneRun();
    chooseSet(0);
    tick("/home/u/");
    view.post([&] { s.CancelRequested = true; });
    const RestoreResult result = restore();
    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(copies.empty());
    EXPECT_TRUE(view.has("showInformation The Restore was cancelled."));
}

// A Cancel click while a large file is extracted takes effect inside it, not at its end.
TEST_F(RestoreRunTest, CancelDuringALargeFileStopsItsExtraction)
{
    deletedCatalog("20240305001", "2024030500001dd", {});
    archive("20240305001", "2024030500002rn", {{"/home/u/big.bin", bytes(8 << 20, 5)}, {"/home/u/c.txt", "gamma"}});
    chooseSet(0);
    tick("/home/u/big.bin");
    const std::string partial = target("001") + "/r/home/u/big.bin";
    view.onProcessEvents = [&] {
        if (fs::exists(partial))
            s.CancelRequested = true; // the click arrives while the file is being written
    };
    const RestoreResult result = restore();
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_EQ(listFile("restoreafter.txt").size(), 1u);
}

TEST_F(RestoreRunTest, FailedCopyFromTheOnlyDiscIsReported)
{
    oneRun();
    chooseSet(0);
    tick("/home/u/b.txt");
    failCopies = true;
    const RestoreResult result = restore();
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(copies, Names{"20240305001/2024030500002rn.zip"}); // one try: no other copy
    ASSERT_EQ(result.notRestored.size(), 1u);
    EXPECT_EQ(result.notRestored[0].reason, "20240305001/2024030500002rn.zip: it could not be copied from the disc");
    EXPECT_TRUE(view.countPrefix("showInformation The restore is finished, but 1 file could not be restored.\n") == 1);
    EXPECT_EQ(listFile("restoreafter.txt"), Names{lineOf({"/home/u/b.txt", "beta"})});
    EXPECT_TRUE(view.isShown(Window::Main));
    EXPECT_FALSE(view.isShown(Window::RestoreProgress));
}

// The newest disc's rotation copy is damaged; the older disc holds the same versions.
struct DamageCase {
    std::string what;
    std::function<void(std::string& archive)> damage;
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.what; }

// The discs as folders, or as images on the image drive's shelf.
class DamagedCopyTest : public RestoreRunTest, public ::testing::WithParamInterface<std::tuple<DamageCase, bool>> { };

TEST_P(DamagedCopyTest, FilesComeFromTheOlderDiscAndTheRunFinishes)
{
    deletedCatalog("20240301001", "2024030100001dd", {});
    archive("20240301001", "2024030100002rn", {{"/home/u/a.txt", "alpha"}, {"/home/u/b.jpg", "beta"}});
    deletedCatalog("20240302001", "2024030200001dd", {});
    archive("20240302001", "2024030200002rn", {{"/home/u/a.txt", "alpha"}, {"/home/u/b.jpg", "beta"}});
    archive("20240302001", "2024030200003rn", {{"/home/u/new.txt", "new"}, {"/home/u/z", "z"}});
    const std::string damaged = "discs/20240302001/2024030200002rn.zip";
    std::string bytes = dir.read(damaged);
    std::get<0>(GetParam()).damage(bytes);
    dir.write(damaged, bytes);
    if (std::get<1>(GetParam()) && !shelve())
        GTEST_SKIP() << "xorriso cannot make an image here";
    chooseSet(0);
    tick("/home/u/");
    const RestoreResult result = restore();

    EXPECT_EQ(restored(result, "/home/u/a.txt"), "alpha");
    EXPECT_EQ(restored(result, "/home/u/b.jpg"), "beta");
    EXPECT_EQ(restored(result, "/home/u/new.txt"), "new");
    EXPECT_TRUE(result.notRestored.empty());
    // Each file counts once, though its first copy failed.
    EXPECT_TRUE(view.has("showInformation The restored files are in " + result.target + "\nRestored 4 files, 13 B (13 bytes), into "
                         + result.target + "."))
        << view.dump();
    EXPECT_TRUE(listFile("restoreafter.txt").empty());
    EXPECT_EQ(copies.back(), "20240301001/2024030100002rn.zip");
    EXPECT_EQ(view.callsStartingWith("setText RestoreProgress MessageText This"),
              (Names{"setText RestoreProgress MessageText This restore needs 1 disc: 20240302001",
                     "setText RestoreProgress MessageText This restore needs 1 disc: 20240301001"}));
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedCopyTest,
    ::testing::Combine(
        ::testing::Values(DamageCase{"not an archive at all", [](std::string& bytes) { bytes = "not an archive at all"; }},
                          DamageCase{"one entry's data",
                                     [](std::string& bytes) {
                                         const std::size_t at = bytes.find("beta");
                                         ASSERT_NE(at, std::string::npos); // stored, as a photo is
                                         bytes[at] = 'B';
                                     }}),
        ::testing::Bool()));

TEST_F(RestoreRunTest, NothingTickedSaysSoAndMakesNoFolder)
{
    oneRun();
    chooseSet(0);
    const RestoreResult result = restore();
    EXPECT_EQ(result.target, "");
    EXPECT_TRUE(fs::is_empty(s.RestoreFolder));
    EXPECT_TRUE(view.has("showInformation Nothing is selected for restore."));
    EXPECT_TRUE(listFile("FQrestorelist.txt").empty());
    EXPECT_TRUE(listFile("restorelist.txt").empty());
    EXPECT_EQ(view.countPrefix("openFolder"), 0);
    EXPECT_TRUE(copies.empty());
}

TEST_F(RestoreRunTest, TargetThatCannotBeMadeIsAnError)
{
    oneRun();
    chooseSet(0);
    tick("/home/u/a.txt");
    s.RestoreFolder = dir / "missing/Torvinel Restores"; // its parent is gone
    try {
        restore();
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), "Could not create " + target("001"));
    }
    EXPECT_TRUE(view.isShown(Window::Main));
}

TEST(RestoreTargetTest, FirstFreeNumberOfTheDay)
{
    struct Case {
        int existing;
        std::string expected;
    } cases[] = {{0, "20240305001"}, {1, "20240305002"}, {99, "20240305100"}};
    for (const Case& c : cases) {
        TempDir folder;
        for (int n = 1; n <= c.existing; ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "20240305%03d", n);
            fs::create_directory(folder / name);
        }
        EXPECT_EQ(nextRestoreTarget(folder.path(), "20240305"), folder / c.expected) << c.existing;
    }
}

} // namespace
} // namespace torvinel::test
