#include "support/DiscwrightTestSupport.h"

#include "discwright/DiscReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace torvinel::test {
namespace {

class TestDriveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startLibrary();
        Discwright_SetSearch(false, false);
    }
    void TearDown() override
    {
        Discwright_Destroy(&tree);
        Discwright_Destroy(&drive);
        Discwright_UseTestDrives({});
    }

    void use(const TestDriveScript& script)
    {
        Discwright_UseTestDrives({script});
        drive = openDrive(TestDrivePort, 0, recordingCallback, &recorder);
        ASSERT_NE(drive, nullptr);
    }

    TempDir dir;
    DiscwrightHandle drive = nullptr;
    DiscwrightHandle tree = nullptr;
    Recorder recorder;
    Call call;
};

TEST_F(TestDriveTest, ScriptedFaultsFailTheNamedCallWithTheScriptedResult)
{
    struct Case {
        const char* call;
        int occurrence;
    } cases[] = {{"Discwright_Drive_Lock", 0},
                 {"Discwright_Drive_TestUnitReady", 0},
                 {"Discwright_Drive_GetTrackInformation", 2},
                 {"Discwright_Drive_TrackAtOnceFromTree", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        TestDriveScript script;
        script.discs = {ScriptedDisc{}};
        script.faults = {{c.call, c.occurrence, 7, 42, "scripted failure"}};
        use(script);
        dir.write("src/a.txt", "a");
        const std::string name = c.call;
        auto callIt = [&]() -> DiscwrightException {
            if (name == "Discwright_Drive_Lock")
                return Discwright_Drive_Lock(drive, call.text, sizeof call.text, &call.status, &call.failure);
            if (name == "Discwright_Drive_TestUnitReady")
                return Discwright_Drive_TestUnitReady(drive, call.text, sizeof call.text, &call.status, &call.failure);
            if (name == "Discwright_Drive_GetTrackInformation") {
                TrackInformation info;
                return Discwright_Drive_GetTrackInformation(drive, NextWritableTrack, &info, call.text,
                                                            sizeof call.text, &call.status, &call.failure);
            }
            return burnFolder(drive, &tree, dir / "src", "20261210001", false, recorder, false).exception;
        };
        if (c.occurrence == 2) {
            EXPECT_EQ(callIt(), 0) << "only the second call fails";
        }
        call = Call{};
        EXPECT_EQ(callIt(), 7);
        if (name != "Discwright_Drive_TrackAtOnceFromTree") {
            EXPECT_EQ(call.status, 42);
            EXPECT_STREQ(call.text, "scripted failure");
        }
        // Everything else goes on working.
        EXPECT_EQ(Discwright_Drive_Release(drive, call.text, sizeof call.text, &call.status, &call.failure), 0);
        EXPECT_EQ(Discwright_Drive_GetInsertedDiscType(drive), DISC_TYPE_DVDPLUSR);
        Discwright_Destroy(&tree);
        Discwright_Destroy(&drive);
    }
}

TEST_F(TestDriveTest, AFailingCreateLeavesNoHandle)
{
    TestDriveScript script;
    script.faults = {{"Discwright_Drive_Create", 0, 3, 5, "cannot open"}};
    Discwright_UseTestDrives({script});
    EXPECT_EQ(Discwright_Drive_Create(&drive, call.text, sizeof call.text, &call.status, &call.failure, nullptr,
                                      nullptr, TestDrivePort, 0, 0, 0, 0),
              3);
    EXPECT_EQ(drive, nullptr);
    EXPECT_EQ(call.status, 5);
    EXPECT_STREQ(call.text, "cannot open");
}

TEST_F(TestDriveTest, DiscsComeInScriptedOrderAfterEachEject)
{
    TestDriveScript script;
    script.trayPollsUntilInserted = 2;
    script.discs = {{DISC_TYPE_NO_MEDIA}, {DISC_TYPE_CDR, false, 5000, true}, {DISC_TYPE_DVDPLUSR, true, 100000}};
    use(script);
    auto tray = [&] {
        MediaTrayStatus status;
        EXPECT_EQ(Discwright_Drive_GetMediaTrayStatus(drive, &status, call.text, sizeof call.text, &call.status,
                                                      &call.failure),
                  0);
        return status.DiscPresent;
    };
    auto eject = [&] {
        EXPECT_EQ(Discwright_Drive_Eject(drive, call.text, sizeof call.text, &call.status, &call.failure), 0);
    };
    EXPECT_EQ(Discwright_Drive_GetInsertedDiscType(drive), DISC_TYPE_NO_MEDIA);
    EXPECT_FALSE(tray());
    EXPECT_NE(Discwright_Drive_TestUnitReady(drive, call.text, sizeof call.text, &call.status, &call.failure), 0);

    eject();
    EXPECT_FALSE(tray());
    EXPECT_FALSE(tray());
    EXPECT_TRUE(tray());
    EXPECT_EQ(Discwright_Drive_GetInsertedDiscType(drive), DISC_TYPE_CDR);
    DiscInformation disc;
    ASSERT_EQ(
        Discwright_Drive_GetDiscInformation(drive, &disc, call.text, sizeof call.text, &call.status, &call.failure), 0);
    EXPECT_EQ(disc.discStatus, DiscStatusComplete);

    eject();
    EXPECT_FALSE(tray());
    EXPECT_FALSE(tray());
    EXPECT_TRUE(tray());
    EXPECT_EQ(Discwright_Drive_GetInsertedDiscType(drive), DISC_TYPE_DVDPLUSR);
    TrackInformation track;
    ASSERT_EQ(Discwright_Drive_GetTrackInformation(drive, NextWritableTrack, &track, call.text, sizeof call.text,
                                                   &call.status, &call.failure),
              0);
    EXPECT_EQ(track.trackNumber, 1);
    EXPECT_EQ(track.blank, 1);
    EXPECT_EQ(track.freeBlocks, 100000);

    eject();
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(tray()) << "nothing left to put in";
    const auto test = Discwright_GetTestDrive(0);
    ASSERT_EQ(test->ejectedDiscs().size(), 2u);
    EXPECT_EQ(test->ejectedDiscs()[0].type, DISC_TYPE_CDR);
    EXPECT_TRUE(test->ejectedDiscs()[0].written);
    EXPECT_EQ(test->ejectCount(), 3);
}

TEST_F(TestDriveTest, AnUnderrunIsReportedOnceAndTheWriteGoesOn)
{
    TestDriveScript script;
    script.discs = {{DISC_TYPE_DVDR, true, 50000}};
    script.underrunAtByte = 40000;
    script.bufferSize = 4096;
    script.bufferFreeDuringWrite = 1024;
    use(script);
    dir.write("src/a.bin", std::string(100000, 'a'));
    const BurnResult burn = burnFolder(drive, &tree, dir / "src", "20261210001", false, recorder);
    ASSERT_EQ(burn.exception, 0) << burn.text;
    EXPECT_EQ(recorder.withCode(BUFFER_UNDERRUN).size(), 1u);
    EXPECT_EQ(recorder.withCode(CN_CDVD_WRITE_PROGRESS).back().p2, burn.imageSize);
    // The buffer status is the script's, once with every progress notice.
    const auto buffer = recorder.withCode(BUFFER_STATUS);
    ASSERT_EQ(buffer.size(), recorder.withCode(CN_CDVD_WRITE_PROGRESS).size());
    EXPECT_EQ(buffer[0].p1, 4096);
    EXPECT_EQ(buffer[0].p2, 1024);

    TrackInformation after;
    ASSERT_EQ(Discwright_Drive_GetTrackInformation(drive, NextWritableTrack, &after, call.text, sizeof call.text,
                                                   &call.status, &call.failure),
              0);
    EXPECT_EQ(after.trackNumber, 2);
    EXPECT_EQ(after.freeBlocks, 0);

    // What the drive holds is a readable disc.
    const auto data = Discwright_GetTestDrive(0)->currentData();
    dir.write("disc.iso", std::string(data.begin(), data.end()));
    const auto reader = makeIsoFileReader(dir / "disc.iso");
    ASSERT_TRUE(reader->copy("20261210001/a.bin", dir / "copy"));
    EXPECT_EQ(dir.read("copy"), std::string(100000, 'a'));
}

TEST_F(TestDriveTest, CapabilitiesAddressAndSpeedsComeFromTheScript)
{
    TestDriveScript script;
    script.validAddress = false;
    script.driveLetter = "E:";
    script.product = "Writer 2000";
    script.writeModes = WriteModes{false, true, false, false};
    script.formats.IsCDRWrite = false;
    script.bupSupported = false;
    script.discs = {{DISC_TYPE_DVDPLUSRW, true, 1000}};
    Discwright_UseTestDrives({script, TestDriveScript{}});

    std::vector<DeviceAddress> found;
    ASSERT_EQ(Discwright_FindDevice(
                  5, 0,
                  [](uint32_t, void* context, void* p1, void*) {
                      static_cast<std::vector<DeviceAddress>*>(context)->push_back(*static_cast<DeviceAddress*>(p1));
                  },
                  &found),
              0);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].Valid, 0);
    EXPECT_EQ(found[1].Valid, 1);
    EXPECT_EQ(found[1].TargetID, 1);
    char name[DiscwrightTextSize];
    ASSERT_EQ(Discwright_GetDeviceNameByDeviceAddress(found[0].PortID, 0, found[0].TargetID, 0, name, sizeof name), 0);
    EXPECT_STREQ(name + 4, "E:");

    drive = openDrive(found[0].PortID, found[0].TargetID, nullptr, nullptr);
    WriteModes modes;
    SupportedMediaFormats formats;
    bool enabled = true, supported = true;
    EXPECT_EQ(Discwright_Drive_ProbeSupportedWriteModes(drive, &modes, call.text, sizeof call.text, &call.status,
                                                        &call.failure),
              0);
    Discwright_Drive_GetSupportedMediaFormats(drive, &formats);
    EXPECT_EQ(
        Discwright_Drive_GetBUP(drive, &enabled, &supported, call.text, sizeof call.text, &call.status, &call.failure),
        0);
    EXPECT_FALSE(modes.TrackAtOnce);
    EXPECT_FALSE(formats.IsCDRWrite);
    EXPECT_FALSE(supported);
    EXPECT_NE(Discwright_Drive_SetBUP(drive, 1, call.text, sizeof call.text, &call.status, &call.failure), 0);
    EXPECT_EQ(Discwright_Drive_GetInsertedDiscType(drive), DISC_TYPE_DVDPLUSRW);

    ASSERT_EQ(Discwright_Drive_SetSpeeds(drive, 65535, 3250, call.text, sizeof call.text, &call.status, &call.failure),
              0);
    EXPECT_EQ(Discwright_GetTestDrive(0)->speedsSet(), std::make_pair(65535, 3250));
    int32_t read = 0, readMax = 0, write = 0, writeMax = 0;
    ASSERT_EQ(Discwright_Drive_GetSpeeds(drive, &read, &readMax, &write, &writeMax, call.text, sizeof call.text,
                                         &call.status, &call.failure),
              0);
    EXPECT_EQ(read, 22160);
    EXPECT_EQ(write, 3250);
}

} // namespace
} // namespace torvinel::test
