#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <cctype>

#include "app/Error.h"
#include "discwriter/DeviceLists.h"
#include "discwriter/DriveFinder.h"
#include "discwriter/WrapperServices.h"
#include "BurnFixture.h"

namespace torvinel::test {

namespace {

TestDriveScript writer(const std::string& letter, const std::string& product)
{
    TestDriveScript script;
    script.driveLetter = letter;
    script.product = product;
    script.discs = {blankDisc(DISC_TYPE_DVDPLUSR)};
    return script;
}

std::vector<std::string> readLines(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

} // namespace

class Discovery : public BurnFixture {
protected:
    void SetUp() override
    {
        BurnFixture::SetUp();
        view.setItems(Control::WriterChooser, {}, -1);
    }
    void find(const std::vector<TestDriveScript>& scripts)
    {
        startLibraryWithTestDrives(scripts);
        view.clearCalls();
        fillWriterChooser(view, finder);
    }

    LibraryTrace logger{false, 0};
    DriveFinder finder{logger};
};

TEST_F(Discovery, OneDriveIsChosenAndTheGroupStaysHidden)
{
    find({writer("T:", "Test Drive")});
    EXPECT_EQ(view.items(Control::WriterChooser), std::vector<std::string>{"T: Test Drive"});
    EXPECT_EQ(view.selectedIndex(Control::WriterChooser), 0);
    EXPECT_FALSE(view.isVisible(Window::Main, Control::WriterGroup));
    EXPECT_TRUE(view.isEnabled(Window::Main, Control::BackupButton));

    const DriveInfo& item = finder.DeviceList()[0];
    EXPECT_EQ(item.Vendor, "Torvinel");
    EXPECT_EQ(item.ProductRevisionLevel, "1.0");
    EXPECT_EQ(item.BufferSize, 2097152u);
    EXPECT_EQ(item.DiscType, DISC_TYPE_DVDPLUSR);
    EXPECT_TRUE(item.DVDRPC.Valid);
    EXPECT_TRUE(item.MediaFormatsExEx.IsDVDPLUSRWrite);
    EXPECT_TRUE(item.SupportedWriteModes.TrackAtOnce);
    EXPECT_EQ(item.DeviceAddress.PortID, TestDrivePort);
    EXPECT_TRUE(finder.DeviceList().DeviceError.empty());

    // The busy window: shown with its caption, told what was found, hidden again.
    EXPECT_TRUE(view.has("setText Busy BusyCaption " + DriveFinder::RefreshingText()));
    EXPECT_TRUE(view.has("setVisible Busy BusyCancel 0"));
    EXPECT_TRUE(view.has("setText Busy BusyInfo " + DriveFinder::PleaseWaitText()));
    EXPECT_TRUE(view.has("setText Busy BusyInfo " + DriveFinder::FoundDeviceText() + " Test Drive"));
    const auto shown = std::find(view.calls().begin(), view.calls().end(), "showWindow Busy");
    const auto hidden = std::find(view.calls().begin(), view.calls().end(), "hideWindow Busy");
    EXPECT_LT(shown, hidden);
    EXPECT_NE(hidden, view.calls().end());
}

TEST_F(Discovery, TwoDrivesShowTheGroupInTheOrderFound)
{
    find({writer("E:", "DVD Writer"), writer("F:", "Blu-ray Writer")});
    EXPECT_EQ(view.items(Control::WriterChooser), (std::vector<std::string>{"E: DVD Writer", "F: Blu-ray Writer"}));
    EXPECT_EQ(view.selectedIndex(Control::WriterChooser), 0);
    EXPECT_TRUE(view.isVisible(Window::Main, Control::WriterGroup));
}

TEST_F(Discovery, ADriveThatFailsToOpenIsListedWithTheError)
{
    TestDriveScript broken = writer("G:", "Broken");
    broken.faults = {{"Discwright_Drive_Create", 0, 3, 21, "Device busy"}};
    find({writer("E:", "DVD Writer"), broken});

    ASSERT_EQ(finder.DeviceList().size(), 2u);
    const DriveInfo& item = finder.DeviceList()[1];
    EXPECT_TRUE(item.Product.empty());
    EXPECT_TRUE(item.DeviceAddress.Valid);
    EXPECT_EQ(finder.DeviceList().DeviceError,
              "Discwright_Drive_Create() failed, exception 3, status 21, text \"Device busy\"");
    EXPECT_EQ(view.items(Control::WriterChooser), (std::vector<std::string>{"E: DVD Writer", " "}));

    // The burn session then fails to open it with its own message.
    view.setSelectedIndex(Control::WriterChooser, 1);
    EXPECT_THROW(static_cast<void>(burnDisc(state, view, finder.DeviceList(), "", discFreeBytes, options)), Error);
    EXPECT_TRUE(logHas("Discwright_Drive_Create() failed, exception 3, status 21, text \"Device busy\""));
}

TEST_F(Discovery, ADriveWithoutAValidAddressIsListedWithAZeroOne)
{
    TestDriveScript odd = writer("H:", "Odd");
    odd.validAddress = false;
    find({odd});
    ASSERT_EQ(finder.DeviceList().size(), 1u);
    const DriveInfo& item = finder.DeviceList()[0];
    EXPECT_EQ(item.Product, "Odd");
    EXPECT_FALSE(item.DeviceAddress.Valid);
    EXPECT_EQ(item.DeviceAddress.PortID, 0);

    EXPECT_THROW(static_cast<void>(burnDisc(state, view, finder.DeviceList(), "", discFreeBytes, options)), Error);
    EXPECT_TRUE(logHas("SCSI Info for the drive is not valid"));
}

TEST_F(Discovery, NoDriveDisablesBackup)
{
    find({});
    EXPECT_TRUE(view.items(Control::WriterChooser).empty());
    EXPECT_FALSE(view.isEnabled(Window::Main, Control::BackupButton));
    EXPECT_FALSE(view.isVisible(Window::Main, Control::WriterGroup));
}

TEST_F(Discovery, TheTraceFileGetsALinePerLibraryCall)
{
    const std::string traceFile = dir / "torvinel.log";
    LibraryTrace tracing(true, 0, traceFile);
    DriveFinder tracingFinder(tracing);
    startLibraryWithTestDrives({writer("T:", "Test Drive")});
    tracingFinder.RefreshDevices(view, false);

    const auto lines = readLines(traceFile);
    std::vector<std::string> texts;
    // "hh:nn:ss.zzz: " before each text.
    for (const auto& line : lines) {
        ASSERT_GT(line.size(), 14u) << line;
        const std::string stamp = line.substr(0, 14);
        for (std::size_t i : {0, 1, 3, 4, 6, 7, 9, 10, 11})
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(stamp[i]))) << line;
        EXPECT_EQ(stamp.substr(2, 1) + stamp.substr(5, 1) + stamp.substr(8, 1) + stamp.substr(12, 2), "::.: ") << line;
        texts.push_back(line.substr(14));
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{"Discwright_FindDevice", "Discwright_Drive_Create (before create)",
                                        "Discwright_Drive_Create (after create): "
                                        "PortID:254,BusID:0,TargetID:0,LUN:0",
                                        "Discwright_GetDeviceNameByDeviceAddress",
                                        "Discwright_Drive_GetDeviceInformation", "Discwright_Drive_TestUnitReady",
                                        "Discwright_Drive_GetInsertedDiscType", "Discwright_Drive_GetDiscInformation",
                                        "Discwright_Drive_GetTrackInformation", "Discwright_Drive_GetTOCInformation",
                                        "Discwright_Drive_GetRPC", "Discwright_Drive_GetSupportedMediaFormats",
                                        "Discwright_Drive_GetSupportedMediaFormatsExEx",
                                        "Discwright_Drive_ProbeSupportedWriteModes",
                                        "Discwright_Drive_ProbeSupportedReadModes", "Discwright_Destroy: Grabber"}));
    EXPECT_EQ(view.countPrefix("showWindow Busy"), 0); // no busy window without ShowProgress
}

TEST_F(Discovery, ATraceFileThatCannotBeWrittenNeverStopsTheSearch)
{
    LibraryTrace tracing(true, 0, dir / "no such folder/torvinel.log");
    DriveFinder tracingFinder(tracing);
    startLibraryWithTestDrives({writer("E:", "DVD Writer"), writer("F:", "Blu-ray Writer")});
    tracingFinder.RefreshDevices(view, true);
    EXPECT_EQ(tracingFinder.DeviceList().size(), 2u);
    EXPECT_EQ(tracingFinder.DeviceList()[1].Product, "Blu-ray Writer");
}

TEST_F(Discovery, TheTraceSwitchIsReadFromTheWrappersSettings)
{
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_FALSE(LibraryTrace().enabled()); // no settings: off
    dir.write("Discwright Labs/DiscwrightWrapper.ini", "[DiscwrightWrapper]\r\nLogEnabled=1\r\nLogLevel=3\r\n");
    LibraryTrace on;
    EXPECT_TRUE(on.enabled());
    EXPECT_EQ(on.level(), 3);
    dir.write("Discwright Labs/DiscwrightWrapper.ini", "[DiscwrightWrapper]\r\nLogEnabled=0\r\n");
    EXPECT_FALSE(LibraryTrace().enabled());
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");

    // Beside the program file, named after it.
    const std::string name = LibraryTrace(true, 0).LogFileName();
    EXPECT_EQ(name.substr(name.size() - std::string("/discwriter_tests.log").size()), "/discwriter_tests.log");
}

TEST_F(Discovery, RestoreDrivesAreTheOpticalDrivesThenTheImageDrive)
{
    const std::vector<platform::SystemDrive> drives = {{2, "C:\\", false}, {3, "D:\\", true}, {5, "F:\\", true}};
    EXPECT_TRUE(fillRestoreDrives(state, view, drives, std::string("/home/u/Torvinel Discs")));
    const std::vector<std::string> expected = {"D:\\", "F:\\", "/home/u/Torvinel Discs"};
    EXPECT_EQ(view.items(Control::RestoreDrive), expected);
    EXPECT_EQ(view.items(Control::AddDiscDrive), expected);
    EXPECT_EQ(view.selectedIndex(Control::RestoreDrive), 0);
    EXPECT_EQ(view.selectedIndex(Control::AddDiscDrive), 0);
    EXPECT_TRUE(view.isVisible(Window::Main, Control::RestoreDriveGroup));
    EXPECT_TRUE(view.isVisible(Window::Main, Control::AddDiscDrive));
    EXPECT_EQ(logLines(), (std::vector<std::string>{"Drive : 2", "Drive : 3", "Drive : 5"}));

    // The image drive alone: one item, the group hidden.
    EXPECT_TRUE(fillRestoreDrives(state, view, {}, std::string("/home/u/Torvinel Discs")));
    EXPECT_EQ(view.items(Control::RestoreDrive), std::vector<std::string>{"/home/u/Torvinel Discs"});
    EXPECT_FALSE(view.isVisible(Window::Main, Control::RestoreDriveGroup));
}

TEST_F(Discovery, NoDriveToReadFromEndsTheProgram)
{
    EXPECT_FALSE(fillRestoreDrives(state, view, {{2, "C:\\", false}}, std::nullopt));
    EXPECT_TRUE(view.has("showInformation You do not have any CD or DVD drives on this computer. "
                         "Torvinel will exit now."));
    EXPECT_FALSE(view.isEnabled(Window::Main, Control::RestoreButton));
    EXPECT_FALSE(view.isEnabled(Window::Main, Control::AddDiscButton));
    EXPECT_FALSE(view.isVisible(Window::Main, Control::AddDiscDrive));
}

TEST_F(Discovery, ALibraryOfAnotherVersionIsReportedOnce)
{
    EXPECT_TRUE(CheckLibraryVersion(view, 0x20060630));
    EXPECT_EQ(view.countPrefix("showError"), 0);
    EXPECT_FALSE(CheckLibraryVersion(view, 0x1A2B));
    EXPECT_EQ(view.callsStartingWith("showError"),
              std::vector<std::string>{
                  "showError Discwright : Invalid disc library version : 0x00001A2B. Expected : 0x20060630"});
}

TEST(WrapperServices, TheBusyWindowSpeaksTheUsersLanguage)
{
    struct Saved {
        std::string name;
        std::optional<std::string> value;
    };
    std::vector<Saved> saved;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
        unsetenv(name);
    }
    setenv("LANG", "ru_RU.UTF-8", 1);
    EXPECT_EQ(DriveFinder::RefreshingText(), "Обновление списка устройств");
    setenv("LC_ALL", "de_DE.UTF-8", 1); // no German texts: English
    EXPECT_EQ(DriveFinder::RefreshingText(), "Refreshing device list");
    EXPECT_EQ(DriveFinder::PleaseWaitText(), "Please, wait ...");
    EXPECT_EQ(DriveFinder::FoundDeviceText(), "Found device:");
    for (const Saved& s : saved) {
        if (s.value)
            setenv(s.name.c_str(), s.value->c_str(), 1);
        else
            unsetenv(s.name.c_str());
    }
}

TEST(WrapperServices, BufferTextStopsAtTheFirstNulOrTheSize)
{
    const char text[] = {'a', 'b', '\0', 'c'};
    EXPECT_EQ(BufferText(text, 4), "ab");
    EXPECT_EQ(BufferText(text, 1), "a");
    const char full[] = {'x', 'y', 'z'};
    EXPECT_EQ(BufferText(full, 3), "xyz");
    EXPECT_EQ(NameWithoutExtension("/usr/bin/torvinel.bin"), "torvinel");
    EXPECT_EQ(NameWithoutExtension("C:\\Program Files\\Torvinel\\Torvinel.exe"), "Torvinel");
}

} // namespace torvinel::test
