#include "support/DiscwrightTestSupport.h"

#include "support/TempDir.h"
#include "app/IniFile.h"
#include "app/Error.h"
#include "discwright/AwaitedFile.h"
#include "discwright/DiscImageFile.h"
#include "discwright/DiscReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace torvinel::test {
namespace {

namespace fs = std::filesystem;

class ImageDriveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startLibrary();
        Discwright_UseTestDrives({});
        Discwright_SetSearch(false, true);
        ImageDriveSettings settings;
        settings.folder = dir / "shelf";
        settings.mediaType = "DVD+R";
        settings.blocks = 20000;
        Discwright_ConfigureImageDrive(settings);
    }
    void TearDown() override
    {
        Discwright_Destroy(&tree);
        Discwright_Destroy(&drive);
    }

    // The staged files of a disc: archives, catalogs, a nested folder and names that only
    // Joliet keeps (lower case, long, non-ASCII).
    std::string stageFiles()
    {
        std::string big(300000, '\0');
        for (std::size_t i = 0; i < big.size(); ++i)
            big[i] = static_cast<char>((i * 7919) % 251);
        dir.write("staged/2026121000001rn.zip", big);
        dir.write("staged/2026121000001rn.csv", "\"/home/u/a.txt\",20261210101010,5,\r\n");
        dir.write("staged/status.ini", "[Status]\r\nDisc=1\r\n");
        dir.write("staged/sub/Überschrift mit langem Namen für Joliet.txt", "umlauts");
        dir.write("staged/empty.txt", "");
        return dir / "staged";
    }

    TempDir dir;
    DiscwrightHandle drive = nullptr;
    DiscwrightHandle tree = nullptr;
    Recorder recorder;
};

TEST_F(ImageDriveTest, SearchReportsTheImageDriveWithItsNameAndAFullBlankDisc)
{
    std::vector<DeviceAddress> found;
    ASSERT_EQ(Discwright_FindDevice(
                  5, 0,
                  [](uint32_t code, void* context, void* p1, void*) {
                      if ((code & 0xFF) == DEVICE_FOUND)
                          static_cast<std::vector<DeviceAddress>*>(context)->push_back(
                              *static_cast<DeviceAddress*>(p1));
                  },
                  &found),
              0);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Valid, 1);
    char name[DiscwrightTextSize];
    ASSERT_EQ(Discwright_GetDeviceNameByDeviceAddress(found[0].PortID, found[0].BusID, found[0].TargetID, found[0].LUN,
                                                      name, sizeof name),
              0);
    EXPECT_STREQ(name + 4, "Image:");

    drive = openDrive(found[0].PortID, found[0].TargetID, recordingCallback, &recorder);
    ASSERT_NE(drive, nullptr);
    Call call;
    char vendor[DiscwrightTextSize], product[DiscwrightTextSize], revision[DiscwrightTextSize];
    uint32_t bufferSize = 0;
    ASSERT_EQ(Discwright_Drive_GetDeviceInformation(drive, vendor, product, revision, &bufferSize, call.text,
                                                    sizeof call.text, &call.status, &call.failure),
              0);
    EXPECT_STREQ(product, "Image Drive");
    SupportedMediaFormats formats;
    SupportedMediaFormatsExEx formatsEx;
    WriteModes modes;
    bool enabled = true, supported = false;
    Discwright_Drive_GetSupportedMediaFormats(drive, &formats);
    Discwright_Drive_GetSupportedMediaFormatsExEx(drive, &formatsEx);
    EXPECT_EQ(Discwright_Drive_ProbeSupportedWriteModes(drive, &modes, call.text, sizeof call.text, &call.status,
                                                        &call.failure),
              0);
    EXPECT_EQ(
        Discwright_Drive_GetBUP(drive, &enabled, &supported, call.text, sizeof call.text, &call.status, &call.failure),
        0);
    EXPECT_TRUE(formats.IsCDRWrite && formats.IsDVDRWrite && formatsEx.IsDVDPLUSRWrite && formatsEx.IsDVDPLUSRDLWrite);
    EXPECT_TRUE(modes.TrackAtOnce);
    EXPECT_TRUE(supported);
    EXPECT_FALSE(enabled);
    EXPECT_EQ(Discwright_Drive_GetInsertedDiscType(drive), DISC_TYPE_DVDPLUSR);

    DiscInformation disc;
    TrackInformation track;
    ASSERT_EQ(
        Discwright_Drive_GetDiscInformation(drive, &disc, call.text, sizeof call.text, &call.status, &call.failure), 0);
    ASSERT_EQ(Discwright_Drive_GetTrackInformation(drive, NextWritableTrack, &track, call.text, sizeof call.text,
                                                   &call.status, &call.failure),
              0);
    EXPECT_EQ(disc.discStatus, DiscStatusBlank);
    EXPECT_EQ(track.trackNumber, 1);
    EXPECT_EQ(track.blank, 1);
    EXPECT_EQ(track.nwaValid, 1);
    EXPECT_EQ(track.nextWritableAddress, 0u);
    EXPECT_EQ(track.freeBlocks, 20000);
}

TEST_F(ImageDriveTest, BurnWritesAnImageThatOtherToolsReadByteForByte)
{
    const std::string source = stageFiles();
    run("touch -d '2020-03-04 05:06:07' " + quoted(source + "/status.ini"));
    drive = openDrive(ImageDrivePort, 0, recordingCallback, &recorder);
    ASSERT_NE(drive, nullptr);
    const BurnResult burn = burnFolder(drive, &tree, source + "/", "20261210001", false, recorder);
    ASSERT_EQ(burn.exception, 0) << burn.text;

    const std::string image = dir / "shelf/20261210001.iso";
    ASSERT_TRUE(fs::exists(image));
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(image)), burn.imageSize);
    EXPECT_FALSE(fs::exists(image + ".part"));

    // Write progress ends at the whole image, once per percent at most; verify covers it all.
    const auto progress = recorder.withCode(CN_CDVD_WRITE_PROGRESS);
    ASSERT_FALSE(progress.empty());
    EXPECT_LE(progress.size(), 101u);
    EXPECT_EQ(progress.back().p1, burn.imageSize);
    EXPECT_EQ(progress.back().p2, burn.imageSize);
    const auto verify = recorder.withCode(VERIFY_PROGRESS);
    ASSERT_FALSE(verify.empty());
    EXPECT_EQ(verify.back().p1, verify.back().p2);
    EXPECT_FALSE(recorder.withCode(BUFFER_STATUS).empty());

    const std::string pvd = run("xorriso -indev " + quoted(image) + " -pvd_info 2>&1");
    EXPECT_NE(pvd.find("Volume Id    : 20261210001"), std::string::npos) << pvd;
    EXPECT_NE(pvd.find("Publisher Id : QUENMARK"), std::string::npos) << pvd;
    EXPECT_NE(pvd.find("App Id       : TORVINEL"), std::string::npos) << pvd;

    const std::string found = run("xorriso -joliet on -indev " + quoted(image) + " -find / 2>/dev/null");
    EXPECT_NE(found.find("'/20261210001/2026121000001rn.zip'"), std::string::npos) << found;
    EXPECT_NE(found.find("'/20261210001/sub/Überschrift mit langem Namen für Joliet.txt'"), std::string::npos) << found;
    // Files keep their own times in the Joliet tree.
    const std::string listing =
        run("xorriso -joliet on -indev " + quoted(image) + " -find /20261210001/status.ini -exec lsdl 2>/dev/null");
    EXPECT_NE(listing.find("Mar  4  2020"), std::string::npos) << listing;

    run("xorriso -joliet on -osirrox on -indev " + quoted(image) + " -extract /20261210001 " + quoted(dir / "out")
        + " >/dev/null 2>&1");
    const auto expected = filesBelow(source);
    ASSERT_EQ(filesBelow(dir / "out"), expected);
    for (const auto& file : expected)
        EXPECT_EQ(fileBytes(dir / ("out/" + file)), fileBytes(source + "/" + file)) << file;

    // Standard tools check the disc by the MD5s recorded on it, and read it without this
    // program: the Rock Ridge tree open to anyone, the Joliet one as before.
    // (xorriso looks at recorded MD5s only when asked to: -md5 on.)
    EXPECT_EQ(std::system(("xorriso -md5 on -indev " + quoted(image) + " -check_md5 FAILURE -- >/dev/null 2>&1").c_str()),
              0);
    const std::string rockRidge =
        run("xorriso -joliet off -indev " + quoted(image) + " -find /20261210001 -exec lsdl 2>/dev/null");
    EXPECT_NE(rockRidge.find("-r--r--r--    1 0        0              18 Mar  4  2020 '/20261210001/status.ini'"),
              std::string::npos)
        << rockRidge;
    EXPECT_NE(rockRidge.find("dr-xr-xr-x"), std::string::npos) << rockRidge;
    const std::string sevenZip = run("7z l " + quoted(image));
    EXPECT_NE(sevenZip.find("20261210001/sub/Überschrift mit langem Namen für Joliet.txt"), std::string::npos)
        << sevenZip;
    const std::string isoinfo = run("isoinfo -J -f -i " + quoted(image));
    EXPECT_NE(isoinfo.find("/20261210001/2026121000001rn.zip"), std::string::npos) << isoinfo;

    // The closed disc has no room; eject leaves the image on the shelf and loads a blank.
    Call call;
    TrackInformation after;
    ASSERT_EQ(Discwright_Drive_GetTrackInformation(drive, NextWritableTrack, &after, call.text, sizeof call.text,
                                                   &call.status, &call.failure),
              0);
    EXPECT_EQ(after.trackNumber, 2);
    EXPECT_EQ(after.freeBlocks, 0);
    ASSERT_EQ(Discwright_Drive_Eject(drive, call.text, sizeof call.text, &call.status, &call.failure), 0);
    ASSERT_EQ(Discwright_Drive_GetTrackInformation(drive, NextWritableTrack, &after, call.text, sizeof call.text,
                                                   &call.status, &call.failure),
              0);
    EXPECT_EQ(after.trackNumber, 1);
    EXPECT_EQ(after.freeBlocks, 20000);
    EXPECT_TRUE(fs::exists(image));
}

// A file still being written when the burn starts (the recovery data) is read only once it is
// ready, lies after every other file, and fails the burn when its writing failed.
TEST_F(ImageDriveTest, AnAwaitedFileIsReadOnceReadyAndLiesLast)
{
    const std::string source = stageFiles();
    const std::string path = source + "/RECOVERY.DAT";
    std::string content(150000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 131) % 253);
    dir.write("staged/RECOVERY.DAT", "");
    for (const bool written : {true, false}) {
        SCOPED_TRACE(written);
        std::promise<bool> ready;
        std::shared_future<bool> done = ready.get_future().share();
        const AwaitedFileRegistration awaited(path, {content.size(), [done] { return done.get(); }});
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (written)
                dir.write("staged/RECOVERY.DAT", content);
            ready.set_value(written);
        });
        drive = openDrive(ImageDrivePort, 0, recordingCallback, &recorder);
        ASSERT_NE(drive, nullptr);
        const BurnResult burn = burnFolder(drive, &tree, source + "/", "20261210001", false, recorder);
        writer.join();
        Discwright_Destroy(&tree);
        Discwright_Destroy(&drive);
        const std::string image = dir / "shelf/20261210001.iso";
        if (!written) {
            EXPECT_NE(burn.exception, 0);
            EXPECT_FALSE(fs::exists(image));
            continue;
        }
        ASSERT_EQ(burn.exception, 0) << burn.text;
        const auto reader = makeIsoFileReader(image);
        ASSERT_TRUE(reader->copy("20261210001/RECOVERY.DAT", dir / "copy"));
        EXPECT_TRUE(fileBytes(dir / "copy") == content);
        const uint64_t last = reader->locate("20261210001/RECOVERY.DAT")->offset;
        for (const char* name : {"2026121000001rn.zip", "2026121000001rn.csv", "status.ini",
                                 "sub/Überschrift mit langem Namen für Joliet.txt"})
            EXPECT_LT(reader->locate("20261210001/" + std::string(name))->offset, last) << name;
        fs::remove(image);
    }
}

// The recovery data covers the whole image it goes into: its awaited file sees every byte of
// the image as it is written, and where each file lies before any file's data has passed.
// Both sessions of a disc: the second starts past the first.
TEST_F(ImageDriveTest, AnAwaitedFileWatchesTheImageItGoesInto)
{
    stageFiles();
    dir.write("second/a.txt", "second session");
    dir.write("second/empty.txt", "");
    dir.write("second/deep/er/b.bin", std::string(5000, 'b'));
    const std::string image = dir / "shelf/20261210001.iso";
    drive = openDrive(ImageDrivePort, 0, recordingCallback, &recorder);
    ASSERT_NE(drive, nullptr);
    struct Session {
        const char* folder;
        const char* discId;
        bool leaveOpen;
    } sessions[] = {{"staged", "20261210001", true}, {"second", "20261210002", false}};
    for (const Session& session : sessions) {
        SCOPED_TRACE(session.discId);
        const std::string source = dir / session.folder;
        std::string content(70000, '\0');
        for (std::size_t i = 0; i < content.size(); ++i)
            content[i] = static_cast<char>((i * 131) % 253);
        dir.write(std::string(session.folder) + "/RECOVERY.DAT", content);
        ImageWatcher watcher;
        const AwaitedFileRegistration awaited(source + "/RECOVERY.DAT", watcher.awaited(content.size()));
        Discwright_Destroy(&tree);
        const BurnResult burn = burnFolder(drive, &tree, source, session.discId, session.leaveOpen, recorder);
        ASSERT_EQ(burn.exception, 0) << burn.text;

        // Byte for byte what the session's blocks of the image file hold.
        const uint64_t start = burn.before.nextWritableAddress;
        const std::string bytes = fileBytes(image);
        ASSERT_GE(bytes.size(), start * 2048 + static_cast<uint64_t>(burn.imageSize));
        ASSERT_EQ(watcher.streamed.size(), static_cast<std::size_t>(burn.imageSize));
        EXPECT_TRUE(std::equal(watcher.streamed.begin(), watcher.streamed.end(),
                               reinterpret_cast<const uint8_t*>(bytes.data()) + start * 2048));

        // One layout: the session's place and each file where xorriso finds it, in block order.
        ASSERT_EQ(watcher.layouts.size(), 1u);
        const ImageLayout& layout = watcher.layouts[0];
        EXPECT_EQ(layout.startBlock, start);
        EXPECT_EQ(layout.blocks, static_cast<uint64_t>(burn.imageSize) / 2048);
        std::map<std::string, Placed> expected;
        uint64_t firstData = UINT64_MAX;
        for (const auto& [path, placed] : xorrisoPlacements(image)) {
            const std::string top = "/" + std::string(session.discId) + "/";
            if (path.rfind(top, 0) != 0)
                continue; // a file of the session before
            expected[source + "/" + path.substr(top.size())] = placed;
            firstData = std::min(firstData, placed.block);
        }
        EXPECT_EQ(expected.size(), filesBelow(source).size());
        std::map<std::string, Placed> laidOut;
        for (const auto& file : layout.files)
            laidOut[file.localPath] = {file.block, file.size};
        EXPECT_EQ(laidOut, expected);
        EXPECT_TRUE(std::is_sorted(layout.files.begin(), layout.files.end(),
                                   [](const auto& a, const auto& b) { return a.block < b.block; }));
        EXPECT_EQ(layout.files.back().localPath, source + "/RECOVERY.DAT");

        // The layout came when every byte before the files' data had passed, and no later one
        // (the files' data begins with the block empty files point at).
        EXPECT_EQ(watcher.streamedAtLayout, (firstData - start) * 2048);
    }
}

// A watcher that fails fails the burn with its message, and no image is left: through the
// image drive and as a disc image file.
TEST_F(ImageDriveTest, AWatcherThatFailsFailsTheBurnAndLeavesNoImage)
{
    const std::string source = stageFiles();
    dir.write("staged/RECOVERY.DAT", std::string(10000, 'r'));
    struct Case {
        const char* what;
        int64_t throwAt;
        bool throwAtLayout;
        bool imageFile;
    } cases[] = {
        {"at the first byte", 0, false, false},
        {"in the files' data", 200000, false, false},
        {"at the layout", -1, true, false},
        {"in the files' data of a disc image file", 200000, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageWatcher watcher;
        watcher.throwAt = c.throwAt;
        watcher.throwAtLayout = c.throwAtLayout;
        const AwaitedFileRegistration awaited(source + "/RECOVERY.DAT", watcher.awaited(10000));
        if (c.imageFile) {
            const std::string target = dir.folder("images") + "/repaired.iso";
            try {
                writeDiscImageFile(source, "20261210001", {}, target);
                ADD_FAILURE() << "the image was written";
            } catch (const Error& error) {
                EXPECT_EQ(std::string(error.what()), "Could not write " + target + ": " + watcher.message);
            }
        } else {
            Discwright_Destroy(&tree);
            Discwright_Destroy(&drive);
            drive = openDrive(ImageDrivePort, 0, recordingCallback, &recorder);
            const BurnResult burn = burnFolder(drive, &tree, source, "20261210001", false, recorder);
            EXPECT_EQ(burn.exception, DW_WRITE_FAILED);
            EXPECT_EQ(burn.text, watcher.message);
        }
        EXPECT_TRUE(watcher.layouts.empty() == (c.throwAt == 0 || c.throwAtLayout));
        EXPECT_TRUE(!fs::exists(dir / "shelf") || fs::is_empty(dir / "shelf"));
        EXPECT_TRUE(!fs::exists(dir / "images") || fs::is_empty(dir / "images"));
    }
}

TEST_F(ImageDriveTest, AnOpenDiscTakesASecondSessionThatKeepsTheFirst)
{
    dir.write("one/a.txt", "first session");
    dir.write("two/b.txt", "second session");
    drive = openDrive(ImageDrivePort, 0, recordingCallback, &recorder);
    BurnResult first = burnFolder(drive, &tree, dir / "one", "20261210001", true, recorder);
    ASSERT_EQ(first.exception, 0) << first.text;
    Discwright_Destroy(&tree);

    BurnResult second = burnFolder(drive, &tree, dir / "two", "20261210002", false, recorder);
    ASSERT_EQ(second.exception, 0) << second.text;
    EXPECT_EQ(second.before.trackNumber, 2);
    EXPECT_GT(second.before.nextWritableAddress, 0u);

    // The disc keeps its first name; readers of the file see both folders.
    const auto reader = makeIsoFileReader(dir / "shelf/20261210001.iso");
    std::vector<std::string> top;
    for (const auto& entry : reader->list(""))
        top.push_back(entry.name);
    EXPECT_EQ(top, (std::vector<std::string>{"20261210001", "20261210002"}));
    ASSERT_TRUE(reader->copy("20261210001/a.txt", dir / "a.txt"));
    EXPECT_EQ(dir.read("a.txt"), "first session");
    const std::string pvd = run("xorriso -indev " + quoted(dir / "shelf/20261210001.iso") + " -pvd_info 2>&1");
    EXPECT_NE(pvd.find("Volume Id    : 20261210002"), std::string::npos) << pvd;
    EXPECT_EQ(std::system(("xorriso -md5 on -indev " + quoted(dir / "shelf/20261210001.iso")
                           + " -check_md5 FAILURE -- >/dev/null 2>&1")
                              .c_str()),
              0);
}

TEST_F(ImageDriveTest, AnImageThatDoesNotFitIsRefusedAndLeavesNothingOnTheShelf)
{
    ImageDriveSettings tiny;
    tiny.folder = dir / "shelf";
    tiny.blocks = 30;
    Discwright_ConfigureImageDrive(tiny);
    dir.write("big/file.bin", std::string(200000, 'x'));
    drive = openDrive(ImageDrivePort, 0, recordingCallback, &recorder);
    const BurnResult burn = burnFolder(drive, &tree, dir / "big", "20261210001", false, recorder);
    EXPECT_NE(burn.exception, 0);
    EXPECT_NE(burn.text.find("does not fit"), std::string::npos) << burn.text;
    EXPECT_TRUE(!fs::exists(dir / "shelf") || fs::is_empty(dir / "shelf"));
}

TEST_F(ImageDriveTest, AnOlderImageOfTheSameNameIsKeptAside)
{
    dir.write("old.iso", "an earlier disc");
    fs::create_directories(dir / "shelf");
    fs::copy_file(dir / "old.iso", dir / "shelf/20261210001.iso");
    dir.write("src/a.txt", "new");
    drive = openDrive(ImageDrivePort, 0, recordingCallback, &recorder);
    ASSERT_EQ(burnFolder(drive, &tree, dir / "src", "20261210001", false, recorder).exception, 0);
    EXPECT_EQ(dir.read("shelf/20261210001-1.iso"), "an earlier disc");
    EXPECT_TRUE(makeIsoFileReader(dir / "shelf/20261210001.iso")->exists("20261210001/a.txt"));
}

TEST(ImageDriveSettingsTest, MissingKeysAreWrittenWithDefaultsByMediaType)
{
    TempDir dir;
    const std::string ini = dir / "Torvinel.ini";
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", dir.path().c_str(), 1);
    ImageDriveSettings settings = ReadImageDriveSettings(ini);
    EXPECT_EQ(settings.folder, dir.path() + "/Torvinel Discs");
    EXPECT_EQ(settings.mediaType, "DVD+R");
    EXPECT_EQ(settings.blocks, 2295104);
    EXPECT_EQ(IniReadOrCreateInteger(ini, "ImageDrive", "Blocks", 0), 2295104);

    struct Case {
        const char* type;
        int64_t blocks;
    } cases[] = {{"CD-R", 359849}, {"DVD-R", 2295104}, {"DVD+R DL", 4173824}, {"BD-R", 2295104}};
    for (const Case& c : cases) {
        const std::string file = dir / (std::string(c.type) + ".ini");
        IniWriteString(file, "ImageDrive", "MediaType", c.type);
        settings = ReadImageDriveSettings(file);
        EXPECT_EQ(settings.blocks, c.blocks) << c.type;
    }
    IniWriteInteger(ini, "ImageDrive", "Blocks", -5);
    EXPECT_EQ(ReadImageDriveSettings(ini).blocks, 2295104);
    IniWriteInteger(ini, "ImageDrive", "Blocks", 6000);
    EXPECT_EQ(ReadImageDriveSettings(ini).blocks, 6000);
    IniWriteString(ini, "ImageDrive", "Folder", "");
    EXPECT_EQ(ReadImageDriveSettings(ini).folder, dir.path() + "/Torvinel Discs");
    if (oldHome)
        setenv("HOME", savedHome.c_str(), 1);
    else
        unsetenv("HOME");
}

} // namespace
} // namespace torvinel::test
