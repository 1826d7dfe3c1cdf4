#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/Progress.h"
#include "discwriter/DeviceLists.h"
#include "discwright/DiscReader.h"
#include "BurnFixture.h"

namespace torvinel::test {

namespace {

const char* const insertAnyKind = "Please insert a blank CD-R, DVD-R, DVD+R or DVD+R DL disk.";

// The lines every session on the default test drive logs up to its disc check.
std::vector<std::string> openingLines()
{
    return {"Initialising drive:",
            "T: Test Drive: 254 0 0 0",
            "Creating Burner object:",
            "OK!",
            "IsCDRRead:Yes",
            "IsCDERead:Yes",
            "IsDVDROMRead:Yes",
            "IsDVDRRead:Yes",
            "IsDVDRAMRead:No",
            "IsTestWrite:Yes",
            "IsCDRWrite:Yes",
            "IsCDEWrite:No",
            "IsDVDRWrite:Yes",
            "IsDVDRAMWrite:No",
            "IsDVDPLUSRWRead:No",
            "IsDVDPLUSRRead:Yes",
            "IsDVDPLUSRDLRead:Yes",
            "IsDVDPLUSRWWrite:No",
            "IsDVDPLUSRWrite:Yes",
            "IsDVDPLUSRDLWrite:Yes",
            "160 MBs of cache will be used during burn process",
            "Found CD/DVD device \"Torvinel\" - \"Test Drive\" - \"1.0\" with 2097152 UCHARs of cache",
            "Getting BUP (Buffer Underrun Protection) support... ",
            "OK!",
            "BUP (Buffer Underrun Protection) Enabled: No, Supported: Yes",
            "Enabling BUP (Buffer Underrun Protection)... ",
            "OK!",
            "Probing supported write modes... ",
            "OK!",
            "Track-At-Once: Yes, Session-At-Once: Yes, Disc-At-Once PQ: No, Disc-At-Once raw P-W: No",
            "OK!"};
}

void append(std::vector<std::string>& to, const std::vector<std::string>& lines)
{
    to.insert(to.end(), lines.begin(), lines.end());
}

void expectLines(const std::vector<std::string>& actual, const std::vector<std::string>& expected)
{
    for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        const std::string a = i < actual.size() ? actual[i] : "<missing>";
        const std::string e = i < expected.size() ? expected[i] : "<none>";
        if (a != e) {
            std::string whole;
            for (const auto& line : actual)
                whole += line + "\n";
            FAIL() << "log line " << i + 1 << ": \"" << a << "\", expected \"" << e << "\"\nThe log:\n" << whole;
        }
    }
}

TestDriveScript withDiscs(std::vector<ScriptedDisc> discs)
{
    TestDriveScript script;
    script.discs = std::move(discs);
    return script;
}

} // namespace

class BurnSession : public BurnFixture { };

TEST_F(BurnSession, MeasuresABlankDiscAndLeavesItInTheDriveUnlocked)
{
    useDrive(withDiscs({blankDisc(DISC_TYPE_DVDPLUSR, 100000)}));
    bool cancelDisabledWhileLocked = false;
    view.onProcessEvents = [&] {
        if (drive()->locked())
            cancelDisabledWhileLocked = !view.isEnabled(Window::BackupProgress, Control::CancelButton);
    };
    write();

    EXPECT_EQ(outcome, BurnOutcome::Done);
    EXPECT_EQ(discFreeBytes, 194314240); // 100000 x 2048 - 10 MiB
    EXPECT_FALSE(state.CancelRequested);
    EXPECT_EQ(drive()->ejectCount(), 0);
    EXPECT_FALSE(drive()->locked());
    EXPECT_TRUE(cancelDisabledWhileLocked);
    EXPECT_TRUE(view.isEnabled(Window::BackupProgress, Control::CancelButton));

    std::vector<std::string> expected = openingLines();
    append(expected,
           {"Getting disc information... ",
            "Disc erasable: No, Disc status: 0x00, Last session status: 0x00, Disc type: 13",
            "Yay, everything is great!",
            "Locking the drive for writing...",
            "OK!",
            "Waiting for unit ready...",
            "OK!",
            "Setting CD/DVD speeds to 11080 KBps.",
            "Ok!",
            "Getting current CD/DVD speeds... ",
            "Ok!",
            "Current read speed 11080 KBps (22160 maximum)",
            "Current write speed 11080 KBps (22160 maximum)",
            "Getting track information... ",
            "Ok!",
            "Track Blank: Yes, NWA valid: Yes, free LBs 100000, NWA 0, track number 1",
            "Track size: 194314240",
            "Releasing the drive lock...",
            "OK!",
            "Done.",
            "Burner object destroyed"});
    expectLines(logLines(), expected);
}

TEST_F(BurnSession, BurnsTempFolderClosesTheDiscEjectsItAndAsksForTheLabel)
{
    dir.write("torvineltemp/2026121000001rn.zip", std::string(300000, 'z'));
    dir.write("torvineltemp/2026121000001rn.csv", "\"/home/u/a.txt\",20261210020304,5,\r\n");
    TestDriveScript script = withDiscs({blankDisc(DISC_TYPE_CDR, 20000)});
    script.bufferFreeDuringWrite = 524288; // a quarter of the drive's buffer
    useDrive(script);
    write("20261210001");

    EXPECT_EQ(outcome, BurnOutcome::Done);
    EXPECT_EQ(discFreeBytes, 0);
    EXPECT_TRUE(view.has("showInformation Please remove the disk and mark it with the following number: 20261210001"));
    ASSERT_EQ(drive()->ejectedDiscs().size(), 1u);
    const EjectedDisc burnt = drive()->ejectedDiscs()[0];
    EXPECT_TRUE(burnt.written);
    EXPECT_EQ(burnt.volumeLabel, "20261210001");
    EXPECT_EQ(drive()->speedsSet(), std::make_pair(4224, 4224)); // CD item 12: 24X

    const std::vector<std::string> actual = logLines();

    std::string burning;
    for (const auto& line : actual)
        if (line.rfind("Burning ", 0) == 0)
            burning = line;
    const std::string tail = " UCHARs of ISO9660/Joliet image...";
    ASSERT_GT(burning.size(), 8 + tail.size());
    ASSERT_EQ(burning.substr(burning.size() - tail.size()), tail);
    const int64_t imageBytes = std::stoll(burning.substr(8, burning.size() - 8 - tail.size()));
    EXPECT_EQ(static_cast<int64_t>(burnt.data.size()), imageBytes);
    ASSERT_EQ(imageBytes % 2048, 0);

    std::vector<std::string> expected = openingLines();
    append(expected,
           {"Getting disc information... ",
            "Disc erasable: No, Disc status: 0x00, Last session status: 0x00, Disc type: 2",
            "Yay, everything is great!",
            "Locking the drive for writing...",
            "OK!",
            "Waiting for unit ready...",
            "OK!",
            "Setting CD/DVD speeds to 4224 KBps.",
            "Ok!",
            "Getting current CD/DVD speeds... ",
            "Ok!",
            "Current read speed 4224 KBps (22160 maximum)",
            "Current write speed 4224 KBps (22160 maximum)",
            "Getting track information... ",
            "Ok!",
            "Track Blank: Yes, NWA valid: Yes, free LBs 20000, NWA 0, track number 1",
            "Track size: 30474240",
            "OK!",
            "Getting Root of the file tree... ",
            "OK!",
            "Adding \"20261210001\" to the file tree...",
            "OK!",
            "Building ISO image... ",
            "Callback(): TARGET_FILE_ANALYZE_BEGIN",
            "Callback(): Target file size in UCHARs " + std::to_string(imageBytes) + ", LBs "
                + std::to_string(imageBytes / 2048),
            "Callback(): TARGET_FILE_ANALYZE_END",
            "OK!",
            "Sending OPC (Optimum Power Calibration)... ",
            "OK!",
            burning});
    // Write progress: the stream is read in pieces of 256 KiB (the last one shorter), with a
    // notice for each piece that moves the percentage, shown when the shown one moves.
    const int64_t blocks = imageBytes / 2048;
    int64_t noticed = -1, shown = 0;
    for (int64_t done = 0; done < blocks;) {
        done = std::min<int64_t>(done + 128, blocks);
        const int64_t percent = done * 100 / blocks;
        if (percent == noticed)
            continue;
        noticed = percent;
        expected.push_back("Callback(): CN_CDVD_WRITE_PROGRESS");
        if (percent != shown)
            expected.push_back("Written:" + std::to_string(percent) + "%");
        shown = percent;
        expected.push_back("[ Buffer full: 75%, 524288 free from 2097152 ] ");
    }
    append(expected,
           {"OK!", "Closing session... ", "OK!", "Rescanning the disk for added information... ", "OK!",
            "No verification will be done.", "Destroying the File Tree... ", "OK!", "Getting track information... ",
            "Ok!", "Track Blank: No, NWA valid: No, free LBs 0, NWA 0, track number 2", "Track size: 0",
            "Releasing the drive lock...", "OK!", "Ejecting...", "OK!", "Done.", "Burner object destroyed"});
    expectLines(actual, expected);

    // The bars end blank and at 0 after the closing and verification steps.
    EXPECT_EQ(view.text(Window::BackupProgress, Control::PhaseText), " ");
    EXPECT_EQ(view.position(Window::BackupProgress, Control::PhaseBar), 0);
    EXPECT_TRUE(view.has("setText BackupProgress PhaseText Closing the disk:"));
    EXPECT_TRUE(view.has("setPosition BackupProgress PhaseBar 1000")); // 100 % written
    EXPECT_TRUE(view.has("setPosition BackupProgress ExtraBar 750"));  // the buffer 75 % full
}

TEST_F(BurnSession, AWriterWithoutTrackAtOnceCancelsBeforeAskingForADisc)
{
    TestDriveScript script = withDiscs({});
    script.writeModes.TrackAtOnce = false;
    useDrive(script);
    write();

    EXPECT_EQ(outcome, BurnOutcome::Cancelled);
    EXPECT_TRUE(state.CancelRequested);
    EXPECT_TRUE(view.has("showInformation Track-At-Once is not supported on this drive. Cancelling."));
    EXPECT_EQ(view.countPrefix("setText BackupProgress MessageText"), 0);
    EXPECT_EQ(drive()->ejectCount(), 0);
    const auto lines = logLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Cancelled");
    EXPECT_EQ(lines.back(), "Burner object destroyed");
}

TEST_F(BurnSession, WithNoDiscItAsksOpensTheTrayAndWaitsUntilCancelled)
{
    useDrive(withDiscs({}));
    int polls = 0;
    view.onProcessEvents = [&] {
        if (view.text(Window::BackupProgress, Control::MessageText) == insertAnyKind && ++polls == 5)
            requestBackupCancel(state, view);
    };
    write();

    EXPECT_EQ(outcome, BurnOutcome::Cancelled);
    EXPECT_GE(drive()->ejectCount(), 1);
    EXPECT_TRUE(view.has(std::string("setText BackupProgress MessageText ") + insertAnyKind));
    EXPECT_TRUE(logHas(insertAnyKind));
    const auto lines = logLines();
    EXPECT_EQ(lines[lines.size() - 2], "Cancelled");
    EXPECT_FALSE(logHas("Locking the drive for writing..."));
}

TEST_F(BurnSession, UnsuitableDiscsAreEjectedUntilABlankOneComes)
{
    struct Case {
        const char* what;
        ScriptedDisc first;
        const char* reason;   // logged before the insert request
        bool userSeesRequest; // the message line shows the insert request
    };
    ScriptedDisc writtenCDR = blankDisc(DISC_TYPE_CDR);
    writtenCDR.blank = false;
    const Case cases[] = {
        {"a written CD-R", writtenCDR, "This disc is not blank.", false},
        {"a DVD+RW", blankDisc(DISC_TYPE_DVDPLUSRW), "Torvinel currently does not support rewritable disks.", true},
        {"a CD-RW", blankDisc(DISC_TYPE_CDRW), "Torvinel currently does not support rewritable disks.", true},
        {"a DVD-ROM", blankDisc(DISC_TYPE_DVDROM), "The disk cannot be written to.", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::resize_file(dir / "LogFile.txt", 0);
        useDrive(withDiscs({c.first, blankDisc(DISC_TYPE_CDR)}));
        state.CancelRequested = false;
        write();

        EXPECT_EQ(outcome, BurnOutcome::Done);
        EXPECT_EQ(drive()->ejectCount(), 1);
        EXPECT_EQ(discFreeBytes, 194314240);
        const auto lines = logLines();
        const auto reason = std::find(lines.begin(), lines.end(), c.reason);
        ASSERT_NE(reason, lines.end());
        ASSERT_NE(reason + 1, lines.end());
        EXPECT_EQ(*(reason + 1), insertAnyKind);
        EXPECT_EQ(view.has(std::string("setText BackupProgress MessageText ") + insertAnyKind), c.userSeesRequest);
        EXPECT_EQ(view.text(Window::BackupProgress, Control::MessageText), " ");
        EXPECT_EQ(view.countPrefix("showInformation"), 0);
    }
}

TEST_F(BurnSession, AWriterThatCannotWriteTheDiscRefusesItWithItsKind)
{
    TestDriveScript script = withDiscs({blankDisc(DISC_TYPE_DVDR), blankDisc(DISC_TYPE_CDR)});
    script.formats.IsDVDRWrite = false;
    useDrive(script);
    write();

    EXPECT_EQ(outcome, BurnOutcome::Done);
    EXPECT_TRUE(logHas("Your CD/DVD writer does not support DVD-R Disks."));
    EXPECT_TRUE(logHas("Please insert a blank CD-R, DVD+R or DVD+R DL disk."));
}

TEST_F(BurnSession, SpeedsComeFromTheChosenItemsOfTheSpeedLists)
{
    struct Case {
        DISC_TYPE disc;
        int cdItem;
        int dvdItem;
        int32_t kbps;
    };
    const Case cases[] = {
        {DISC_TYPE_CDR, 0, 8, 65535},          // "Maximum"
        {DISC_TYPE_CDR, 11, 8, 3250},          // "20X"
        {DISC_TYPE_DVDR, 11, 3, 3324},         // "2.4X"
        {DISC_TYPE_DVDPLUSR_DL, 0, 10, 22160}, // a DVD+R DL goes like a DVD+R
        {DISC_TYPE_CDR, -1, 8, 65535},         // no item chosen: the drive's maximum
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kbps);
        std::filesystem::resize_file(dir / "LogFile.txt", 0);
        useDrive(withDiscs({blankDisc(c.disc)}));
        view.setSelectedIndex(Control::CdSpeed, c.cdItem);
        view.setSelectedIndex(Control::DvdSpeed, c.dvdItem);
        write();
        EXPECT_EQ(outcome, BurnOutcome::Done);
        EXPECT_TRUE(logHas("Setting CD/DVD speeds to " + std::to_string(c.kbps) + " KBps.")) << logText();
        EXPECT_EQ(drive()->speedsSet(), std::make_pair(c.kbps, c.kbps));
    }
}

TEST(BurnRoom, FreeBlocksLessTheReserveAndNothingBeyondTheTrackLimit)
{
    EXPECT_EQ(RoomOnDisc(1, 100000, 1), 194314240);
    EXPECT_EQ(RoomOnDisc(1, 5120, 1), 0); // exactly the reserve
    EXPECT_EQ(RoomOnDisc(1, 5121, 1), 2048);
    EXPECT_EQ(RoomOnDisc(2, 100000, 1), 0); // a closed disc
    EXPECT_EQ(RoomOnDisc(1, -5, 1), 0);
    EXPECT_EQ(RoomOnDisc(1, 2147483647, 1), int64_t(2147483647) * 2048 - 10485760); // no 32-bit overflow
    EXPECT_EQ(RoomOnDisc(1, 100000, 2), 50000 * 2048 - 10485760);                   // room shared by the tracks left
}

TEST(BurnInsertRequest, NamesTheKindsTheWriterCanWrite)
{
    EXPECT_EQ(InsertRequestFor(true, true, true, true), insertAnyKind);
    EXPECT_EQ(InsertRequestFor(true, true, false, false), "Please insert a blank CD-R or DVD-R disk.");
    EXPECT_EQ(InsertRequestFor(true, false, false, false), "Please insert a blank CD-R disk.");
    EXPECT_EQ(InsertRequestFor(false, false, false, false), "Please insert a blank  disk.");
}

TEST_F(BurnSession, TooLittleRoomOnTheHardDiskCancelsAfterReleasingTheDrive)
{
    useDrive(withDiscs({blankDisc(DISC_TYPE_DVDPLUSR, 100000)}));
    hardDiskFree = 194314240 + 400000000 - 1;
    write();

    EXPECT_EQ(outcome, BurnOutcome::Cancelled);
    EXPECT_TRUE(state.CancelRequested);
    EXPECT_TRUE(view.has("showInformation You do not have enough space on your hard drive to prepare the backup. "
                         "Cancelling."));
    EXPECT_FALSE(drive()->locked());
    const auto lines = logLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "Releasing the drive lock...");
    EXPECT_EQ(lines[lines.size() - 2], "Cancelled");

    // Exactly enough is enough.
    std::filesystem::resize_file(dir / "LogFile.txt", 0);
    useDrive(withDiscs({blankDisc(DISC_TYPE_DVDPLUSR, 100000)}));
    hardDiskFree = 194314240 + 400000000;
    write();
    EXPECT_FALSE(state.CancelRequested);
    EXPECT_EQ(view.countPrefix("showInformation"), 0);
}

// The disc is closed as far as it got, but it is spoilt: the session fails without a label.
TEST_F(BurnSession, ABufferUnderrunClosesTheDiscAndFailsTheSession)
{
    dir.write("torvineltemp/2026121000001rn.zip", std::string(400000, 'u'));
    TestDriveScript script = withDiscs({blankDisc(DISC_TYPE_DVDPLUSR, 20000)});
    script.underrunAtByte = 100000;
    useDrive(script);
    view.setChecked(Control::VerifyCheck, true);
    EXPECT_THROW(write("20261210002"), Error);

    EXPECT_FALSE(outcome);
    EXPECT_TRUE(state.CancelRequested);
    for (const char* line :
         {"Error: Buffer Underrun.", "Closing session... ", "Verifying the file tree.", "Releasing the drive lock..."})
        EXPECT_TRUE(logHas(line)) << line;
    EXPECT_FALSE(logHas("Ejecting..."));
    EXPECT_EQ(view.countPrefix("showInformation Please remove the disk"), 0);
    EXPECT_FALSE(drive()->locked());
}

TEST_F(BurnSession, FailuresEndAtTheErrorExitWithTheCallsMessage)
{
    struct Case {
        const char* call;
        const char* message;
        const char* lastLogBefore; // a line that must not be logged
    };
    const Case cases[] = {
        {"Discwright_Drive_Create", "Discwright_Drive_Create() failed, exception 1, status 7, text \"Scripted fault\"",
         "IsCDRRead:Yes"},
        {"Discwright_Drive_Lock", "Discwright_Drive_Lock() failed, exception 1, status 7, text \"Scripted fault\"",
         "Waiting for unit ready..."},
        {"Discwright_Drive_GetTrackInformation",
         "Discwright_Drive_GetTrackInformation() failed, exception 1, status 7, text \"Scripted fault\"",
         "Destroying the File Tree... "},
        {"Discwright_Drive_TrackAtOnceFromTree",
         "Discwright_Drive_TrackAtOnceFromTree() failed, exception 1, status 7, text \"Scripted fault\"",
         "Closing session... "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        std::filesystem::resize_file(dir / "LogFile.txt", 0);
        TestDriveScript script = withDiscs({blankDisc(DISC_TYPE_DVDPLUSR, 20000)});
        script.faults = {{c.call, 0, 1, 7, "Scripted fault"}};
        useDrive(script);
        try {
            write("20261210003");
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_FALSE(outcome); // no outcome: the failure was raised
        EXPECT_FALSE(logHas(c.lastLogBefore));
        EXPECT_TRUE(view.isEnabled(Window::BackupProgress, Control::CancelButton));
        const auto lines = logLines();
        auto at = std::find(lines.begin(), lines.end(), c.message);
        ASSERT_NE(at, lines.end());
        // A drive handle that was made is destroyed after the message; a failed create made none.
        const std::vector<std::string> after(at + 1, lines.end());
        if (std::string(c.call) == "Discwright_Drive_Create")
            EXPECT_TRUE(after.empty());
        else
            EXPECT_EQ(after.at(0), "Burner object destroyed");
        EXPECT_EQ(drive()->ejectCount(), 0); // the disc stays in the drive
    }
    // The failed write also left the tree behind, which the session's end destroys.
    EXPECT_TRUE(logHas("Tree object destroyed"));
}

TEST_F(BurnSession, ADriveThatNeverGetsReadyGivesUpAfterTwoMinutes)
{
    TestDriveScript script = withDiscs({blankDisc(DISC_TYPE_DVDPLUSR)});
    script.faults = {{"Discwright_Drive_TestUnitReady", 0, 4, 0, "Not ready"}};
    useDrive(script);
    auto now = std::chrono::steady_clock::time_point();
    int asked = 0;
    options.clock = [&] {
        ++asked;
        return now += std::chrono::seconds(10); // every look at the clock is ten seconds later
    };
    EXPECT_THROW(
        {
            try {
                write();
            } catch (const Error& e) {
                EXPECT_STREQ(e.what(), "The drive did not become ready.");
                throw;
            }
        },
        Error);
    EXPECT_FALSE(outcome); // no outcome: the failure was raised
    EXPECT_GE(asked, 12);
    EXPECT_LE(asked, 14);
    EXPECT_TRUE(logHas("The drive did not become ready."));
}

TEST_F(BurnSession, AnUnexpectedFailureLeavesNoHandleAndCancelEnabled)
{
    useDrive(withDiscs({blankDisc(DISC_TYPE_DVDPLUSR)}));
    view.onProcessEvents = [&] {
        if (drive()->locked())
            throw std::runtime_error("the window went away");
    };
    EXPECT_THROW(write(), std::runtime_error);
    EXPECT_TRUE(view.isEnabled(Window::BackupProgress, Control::CancelButton));
    EXPECT_EQ(logLines().back(), "Burner object destroyed");
}

TEST_F(BurnSession, AnAddressThatIsNotValidIsRefusedBeforeTheDriveIsOpened)
{
    useDrive(withDiscs({blankDisc(DISC_TYPE_DVDPLUSR)}));
    devices.Items[0].DeviceAddress = DeviceAddress{};
    EXPECT_THROW(write(), Error);
    EXPECT_TRUE(logHas("SCSI Info for the drive is not valid"));
    EXPECT_FALSE(logHas("Creating Burner object:"));
    EXPECT_TRUE(drive()->calls().empty());
}

} // namespace torvinel::test

namespace torvinel::test {

// The image drive behind the same session: the burnt disc lands on the shelf as
// <DiscId>.iso, holding the staged files in the DiscId folder.
TEST_F(BurnSession, TheImageDriveWritesTheDiscAsAnImageOnTheShelf)
{
    startLibraryWithTestDrives({});
    ImageDriveSettings settings;
    settings.folder = dir / "shelf";
    settings.mediaType = "CD-R";
    settings.blocks = 6000; // room for one small burn, then the disc is closed
    Discwright_ConfigureImageDrive(settings);
    DriveInfo item;
    item.DriveLetter = "Image:";
    item.Product = "Image Drive";
    item.DeviceAddress = DeviceAddress{1, ImageDrivePort, 0, 0, 0};
    devices.Items = {item};
    view.setItems(Control::WriterChooser, {"Image: Image Drive"}, 0);
    view.setChecked(Control::VerifyCheck, true);

    const std::string archive = std::string(70000, 'a') + "end";
    dir.write("torvineltemp/2026121000001rn.zip", archive);
    dir.write("torvineltemp/2026121000001rn.csv", "\"/home/u/a.txt\",20261210020304,5,\r\n");
    write();
    EXPECT_EQ(outcome, BurnOutcome::Done);
    EXPECT_EQ(discFreeBytes, 6000 * 2048 - 10485760);
    write("20261210004");
    EXPECT_EQ(outcome, BurnOutcome::Done);
    EXPECT_EQ(discFreeBytes, 0);
    EXPECT_TRUE(logHas("Verifying the file tree."));
    EXPECT_TRUE(view.has("showInformation Please remove the disk and mark it with the following number: 20261210004"));

    auto disc = makeIsoFileReader(dir / "shelf/20261210004.iso");
    ASSERT_TRUE(disc->exists("20261210004/2026121000001rn.zip"));
    ASSERT_TRUE(disc->copy("20261210004/2026121000001rn.zip", dir / "back.zip"));
    EXPECT_EQ(dir.read("back.zip"), archive);
    EXPECT_TRUE(disc->exists("20261210004/2026121000001rn.csv"));

    // Offered for restore as its folder, the shelf reads the disc from its image.
    EXPECT_TRUE(OpenRestoreDrive(dir / "shelf")->exists("20261210004/2026121000001rn.zip"));
    dir.write("mounted/20261210004/2026121000001rn.zip", "x");
    EXPECT_TRUE(OpenRestoreDrive(dir / "mounted")->exists("20261210004/2026121000001rn.zip"));
    EXPECT_FALSE(OpenRestoreDrive("/dev/sr97")->exists("20261210004/2026121000001rn.zip")); // nothing mounted
}

} // namespace torvinel::test
