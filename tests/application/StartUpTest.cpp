#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "application/Application.h"
#include "app/Error.h"
#include "app/IniFile.h"
#include "support/ScriptedView.h"
#include "support/TempDir.h"

namespace torvinel {
namespace {

namespace fs = std::filesystem;

// A home folder of its own for every test: the application folder, the documents folder and
// the settings all live below it. The power guard stays off: a test takes no system locks.
class StartUpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("HOME", home.path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        view.setScreen(1024, 768);
    }
    std::string appFolder() const { return home / "data/Torvinel"; }
    std::string ini() const { return appFolder() + "/Torvinel.ini"; }
    void settings(const std::string& content) const { home.write("data/Torvinel/Torvinel.ini", content); }
    std::string startUpFailure(Application& app)
    {
        try {
            app.startUp();
        } catch (const Error& e) {
            return e.what();
        }
        return "";
    }

    test::TempDir home;
    test::ScriptedView view;
};

TEST_F(StartUpTest, FirstStartWritesEveryKeyWithItsDefault)
{
    Application app(view);
    app.setPowerGuardEnabled(false);
    app.startUp();
    ASSERT_TRUE(app.startedUp());
    const WindowGeometry g = view.geometry(Window::Main);
    EXPECT_EQ(g.width, 620);
    EXPECT_EQ(g.height, 440);
    EXPECT_EQ(g.top, (768 - 440) / 2);
    EXPECT_EQ(g.left, (1024 - 620) / 2);
    EXPECT_EQ(home.read("data/Torvinel/Torvinel.ini"),
              "[Form]\r\nWidth=620\r\nHeight=440\r\nTop=164\r\nLeft=202\r\n\r\n"
              "[Status]\r\nNewestDisc=\r\nOldestCSV=\r\nDoMD5=0\r\nDoVerify=0\r\nMaxCDSpeed=12\r\nMaxDVDSpeed=8\r\nRecoveryPercent=12\r\n\r\n"
              "[Paths]\r\nRestoreBase="
                  + home.path() + "/Documents\r\nTempBase=" + appFolder()
                  + "\r\n\r\n"
                    "[ImageDrive]\r\nFolder="
                  + home.path() + "/Torvinel Discs\r\nMediaType=DVD+R\r\nBlocks=2295104\r\n");
    EXPECT_EQ(view.selectedIndex(Control::CdSpeed), 12);
    EXPECT_EQ(view.items(Control::CdSpeed)[12], "24X");
    EXPECT_EQ(view.items(Control::DvdSpeed)[8], "8X");
    // The working folders; the documents folder did not exist and was made for the restores.
    const RunState& s = app.state();
    EXPECT_EQ(s.AppFolder, appFolder());
    EXPECT_EQ(s.DatabaseFolder, appFolder() + "/Database");
    EXPECT_EQ(s.TempFolder, appFolder() + "/torvineltemp");
    EXPECT_EQ(s.RestoreFolder, home.path() + "/Documents/Torvinel Restores");
    for (const auto& folder : {s.DatabaseFolder, s.TempFolder, s.RestoreFolder})
        EXPECT_TRUE(fs::is_directory(folder)) << folder;
    EXPECT_TRUE(fs::exists(appFolder() + "/LogFile.txt"));
    EXPECT_EQ(s.SplitVolumeSize, 8388608);
}

TEST_F(StartUpTest, StoredValuesAreAppliedAndWrittenBackAtClose)
{
    settings("[Form]\r\nWidth=500\r\nHeight=600\r\nTop=7\r\nLeft=9\r\n"
             "[Status]\r\nMaxCDSpeed=40\r\nMaxDVDSpeed=10\r\nDoMD5=1\r\nNewestDisc=20240305002\r\n");
    home.write("data/Torvinel/BackupList.txt", ""); // so start-up keeps the stored NewestDisc
    Application app(view);
    app.setPowerGuardEnabled(false);
    app.startUp();
    const WindowGeometry g = view.geometry(Window::Main);
    EXPECT_EQ(g.width, 620) << "the window never gets narrower than 620";
    EXPECT_EQ(g.height, 600);
    EXPECT_EQ(g.top, 7);
    EXPECT_EQ(g.left, 9);
    EXPECT_EQ(view.selectedIndex(Control::CdSpeed), -1) << "a position outside the list selects nothing";
    EXPECT_EQ(view.selectedIndex(Control::DvdSpeed), 10);
    EXPECT_TRUE(view.isChecked(Control::Md5Check));
    EXPECT_FALSE(view.isChecked(Control::VerifyCheck));
    EXPECT_EQ(app.state().NewestDisc, "20240305002");

    view.setChecked(Control::VerifyCheck, true);
    app.shutDown();
    EXPECT_EQ(IniReadOrCreateInteger(ini(), "Status", "MaxCDSpeed", 12), -1);
    EXPECT_EQ(IniReadOrCreateInteger(ini(), "Form", "Width", 0), 620);
    EXPECT_TRUE(IniReadOrCreateBool(ini(), "Status", "DoVerify", false));
    EXPECT_EQ(IniReadOrCreateString(ini(), "Status", "NewestDisc", "x"), "20240305002");
}

TEST_F(StartUpTest, AMissingTempBaseStopsStartUpAndNothingIsWrittenAtClose)
{
    const std::string missing = home / "no/such/folder";
    settings("[Paths]\r\nTempBase=" + missing + "\r\n[Form]\r\nWidth=700\r\n");
    Application app(view);
    app.setPowerGuardEnabled(false);
    const std::string failure = startUpFailure(app);
    EXPECT_EQ(failure, "Could not create " + missing + "/torvineltemp");
    EXPECT_EQ(errorBoxText(failure), "Could not create " + missing + "/torvineltemp.");
    EXPECT_FALSE(app.startedUp());

    const std::string before = home.read("data/Torvinel/Torvinel.ini");
    view.setGeometry(Window::Main, {1, 2, 800, 500});
    app.shutDown();
    EXPECT_EQ(home.read("data/Torvinel/Torvinel.ini"), before);
}

TEST_F(StartUpTest, LeftoversOfAnInterruptedRunAreDiscarded)
{
    home.write("data/Torvinel/torvineltemp/20240305001/2024030500001rn.zip", "partial");
    home.write("data/Torvinel/torvineltemp/status.ini", "[MD5]\r\n");
    home.write("data/Torvinel/LogFile.txt", "old log line\r\n");
    Application app(view);
    app.setPowerGuardEnabled(false);
    app.startUp();
    EXPECT_TRUE(fs::is_empty(app.state().TempFolder));
    // The old log is kept beside the new one, which starts with the AutoPlay and library lines.
    const std::string fresh =
        "AutoPlay: nothing to suppress on this platform\r\nDiscwright : disc library version : 0x20060630\r\n";
    EXPECT_EQ(home.read("data/Torvinel/LogFile.txt"), fresh);
    EXPECT_EQ(home.read("data/Torvinel/LogFile.1.txt"), "old log line\r\n");
    app.state().WriteLog("one");
    app.state().WriteLog("two");
    EXPECT_EQ(home.read("data/Torvinel/LogFile.txt"), fresh + "one\r\ntwo\r\n") << "flushed per line";
}

// A crash between copying a disc's catalogs and renaming their folder into place leaves the
// folder under its temporary name: it goes, the filed disc beside it stays.
TEST_F(StartUpTest, AHalfFiledDiscIsRemovedAndLogged)
{
    home.write("data/Torvinel/Database/20240305001/2024030500001rn.csv", "");
    home.write("data/Torvinel/Database/filing-20240305002/2024030500002rn.csv", "");
    Application app(view);
    app.setPowerGuardEnabled(false);
    app.startUp();
    const std::string database = appFolder() + "/Database";
    EXPECT_FALSE(fs::exists(database + "/filing-20240305002"));
    EXPECT_TRUE(fs::exists(database + "/20240305001/2024030500001rn.csv"));
    EXPECT_NE(home.read("data/Torvinel/LogFile.txt")
                  .find("Removed the half-filed disc folder " + database
                        + "/filing-20240305002; the disc can be added again.\r\n"),
              std::string::npos);
}

TEST_F(StartUpTest, BackupStateComesFromBackupListOrFromTheCatalogs)
{
    const std::string line = "\"/home/u/a.txt\",20240305140326,5,";
    home.write("data/Torvinel/Database/20240305001/2024030500001dd.csv", "");
    home.write("data/Torvinel/Database/20240305001/2024030500002rn.csv", line + "\r\n");
    {
        // No BackupList.txt: the catalogs are read, and the list is written for next time.
        Application app(view);
        app.setPowerGuardEnabled(false);
        app.startUp();
        EXPECT_EQ(app.state().BackupState.lines(), std::vector<std::string>{line});
        EXPECT_EQ(app.state().NewestDisc, "20240305001");
        EXPECT_EQ(home.read("data/Torvinel/BackupList.txt"), line + "\r\n");
        EXPECT_EQ(view.countPrefix("setText BackupProgress"), 0) << "start-up shows no progress";
        app.shutDown();
    }
    // BackupList.txt present: the database is not read.
    const std::string listed = "\"/home/u/listed.txt\",20240305140326,7,";
    home.write("data/Torvinel/BackupList.txt", listed + "\r\n" + listed + "\r\n");
    Application app(view);
    app.setPowerGuardEnabled(false);
    app.startUp();
    EXPECT_EQ(app.state().BackupState.lines(), std::vector<std::string>{listed});
}

// The Advanced page sets the image drive's shelf and media type; the settings file keeps
// them, a new type brings its blank-disc size, and nonsense is refused without a change.
TEST_F(StartUpTest, ImageDriveSettingsChangeFromTheAdvancedPage)
{
    settings("[ImageDrive]\r\nFolder=/shelf\r\nMediaType=CD-R\r\nBlocks=15360\r\n");
    Application app(view);
    app.setPowerGuardEnabled(false);
    app.startUp();
    ASSERT_TRUE(app.startedUp());
    EXPECT_EQ(view.text(Window::Main, Control::ImageFolder), "/shelf");
    EXPECT_EQ(view.items(Control::ImageMediaType), (std::vector<std::string>{"CD-R", "DVD-R", "DVD+R", "DVD+R DL"}));
    EXPECT_EQ(view.selectedIndex(Control::ImageMediaType), 0);

    app.setImageDrive("/elsewhere", "CD-R"); // the same type keeps the size the user set
    EXPECT_EQ(IniReadOrCreateString(ini(), "ImageDrive", "Folder", ""), "/elsewhere");
    EXPECT_EQ(IniReadOrCreateInteger(ini(), "ImageDrive", "Blocks", 0), 15360);
    app.setImageDrive("/elsewhere", "DVD+R DL");
    EXPECT_EQ(IniReadOrCreateString(ini(), "ImageDrive", "MediaType", ""), "DVD+R DL");
    EXPECT_EQ(IniReadOrCreateInteger(ini(), "ImageDrive", "Blocks", 0), 4173824);
    EXPECT_EQ(view.selectedIndex(Control::ImageMediaType), 3);

    const std::string before = home.read("data/Torvinel/Torvinel.ini");
    for (const auto& [folder, type] : std::vector<std::pair<std::string, std::string>>{
             {"/elsewhere", "BD-R"}, {"relative/folder", "DVD-R"}, {"", "DVD-R"}}) {
        EXPECT_THROW(app.setImageDrive(folder, type), Error) << folder << " " << type;
    }
    EXPECT_EQ(home.read("data/Torvinel/Torvinel.ini"), before);
    app.shutDown();
    EXPECT_EQ(IniReadOrCreateString(ini(), "ImageDrive", "Folder", ""), "/elsewhere");
}

} // namespace
} // namespace torvinel
