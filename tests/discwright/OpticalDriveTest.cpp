#include "support/DiscwrightTestSupport.h"

#include "discwright/DiscReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace torvinel::test {
namespace {

namespace fs = std::filesystem;

// libburn's stdio: pseudo-drive stands in for a recorder as far as it can: it writes and
// reads back, but has no disc kinds, track numbers, closing or tray.
TEST(OpticalDriveTest, AStdioDriveIsFoundWritesTheImageAndVerifiesIt)
{
    startLibrary();
    TempDir dir;
    const std::string disc = dir / "disc.iso";
    Discwright_UseTestDrives({});
    Discwright_SetSearch(false, false);
    Discwright_UseOpticalAddresses({"stdio:" + disc});

    std::vector<DeviceAddress> found;
    ASSERT_EQ(Discwright_FindDevice(
                  5, 0,
                  [](uint32_t, void* context, void* p1, void*) {
                      static_cast<std::vector<DeviceAddress>*>(context)->push_back(*static_cast<DeviceAddress*>(p1));
                  },
                  &found),
              0);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].PortID, OpticalPort);
    char name[DiscwrightTextSize];
    ASSERT_EQ(Discwright_GetDeviceNameByDeviceAddress(found[0].PortID, 0, found[0].TargetID, 0, name, sizeof name), 0);
    EXPECT_EQ(std::string(name + 4), disc);

    Recorder recorder;
    DiscwrightHandle drive = openDrive(found[0].PortID, found[0].TargetID, recordingCallback, &recorder);
    ASSERT_NE(drive, nullptr);
    dir.write("src/a.zip", std::string(500000, 'q'));
    dir.write("src/a.csv", "catalog");
    DiscwrightHandle tree = nullptr;
    const BurnResult burn = burnFolder(drive, &tree, dir / "src", "20261210001", false, recorder);
    EXPECT_EQ(burn.exception, 0) << burn.text;
    EXPECT_FALSE(recorder.withCode(VERIFY_PROGRESS).empty());
    Discwright_Destroy(&tree);
    Discwright_Destroy(&drive);
    Discwright_UseOpticalAddresses({});

    ASSERT_GE(static_cast<int64_t>(fs::file_size(disc)), burn.imageSize);
    const auto reader = makeIsoFileReader(disc);
    ASSERT_TRUE(reader->copy("20261210001/a.zip", dir / "a.zip"));
    EXPECT_EQ(dir.read("a.zip"), std::string(500000, 'q'));
}

// Through libburn too, an awaited file that watches its image sees every byte written, and a
// watcher's failure fails the burn with its message.
TEST(OpticalDriveTest, AStdioDriveShowsTheImageToItsWatcher)
{
    startLibrary();
    TempDir dir;
    Discwright_UseTestDrives({});
    Discwright_SetSearch(false, false);
    dir.write("src/a.zip", std::string(500000, 'q'));
    dir.write("src/empty.txt", "");
    dir.write("src/RECOVERY.DAT", std::string(20000, 'r'));
    for (const bool fails : {false, true}) {
        SCOPED_TRACE(fails);
        const std::string disc = dir / (fails ? "failed.iso" : "disc.iso");
        Discwright_UseOpticalAddresses({"stdio:" + disc});
        std::vector<DeviceAddress> found;
        ASSERT_EQ(Discwright_FindDevice(
                      5, 0,
                      [](uint32_t, void* context, void* p1, void*) {
                          static_cast<std::vector<DeviceAddress>*>(context)->push_back(
                              *static_cast<DeviceAddress*>(p1));
                      },
                      &found),
                  0);
        ASSERT_EQ(found.size(), 1u);
        ImageWatcher watcher;
        if (fails)
            watcher.throwAt = 300000;
        const AwaitedFileRegistration awaited(dir / "src/RECOVERY.DAT", watcher.awaited(20000));
        Recorder recorder;
        DiscwrightHandle drive = openDrive(found[0].PortID, found[0].TargetID, recordingCallback, &recorder);
        ASSERT_NE(drive, nullptr);
        DiscwrightHandle tree = nullptr;
        const BurnResult burn = burnFolder(drive, &tree, dir / "src", "20261210001", false, recorder);
        Discwright_Destroy(&tree);
        Discwright_Destroy(&drive);
        Discwright_UseOpticalAddresses({});
        if (fails) {
            EXPECT_EQ(burn.exception, DW_WRITE_FAILED);
            EXPECT_EQ(burn.text, watcher.message);
            continue;
        }
        ASSERT_EQ(burn.exception, 0) << burn.text;
        ASSERT_EQ(watcher.layouts.size(), 1u);
        EXPECT_EQ(watcher.layouts[0].files.size(), 3u);
        const std::string written = fileBytes(disc);
        ASSERT_EQ(static_cast<int64_t>(watcher.streamed.size()), burn.imageSize);
        ASSERT_GE(written.size(), watcher.streamed.size());
        EXPECT_TRUE(std::equal(watcher.streamed.begin(), watcher.streamed.end(),
                               reinterpret_cast<const uint8_t*>(written.data())));
    }
}

} // namespace
} // namespace torvinel::test
