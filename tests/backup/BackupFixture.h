#pragma once
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/Error.h"
#include "app/RunState.h"
#include "app/TextFile.h"
#include "backup/BackupRun.h"
#include "backup/BackupSetup.h"
#include "discwriter/DriveList.h"
#include "discwriter/BurnSession.h"
#include "discwright/Discwright.h"
#include "restore/RestoreChooser.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreTree.h"
#include "support/ScriptedView.h"
#include "support/TempDir.h"

namespace torvinel::test {

// Room on a blank test disc, in MiB, as the burn session measures it (10 MiB reserve).
inline ScriptedDisc discWithRoom(int mebibytes)
{
    ScriptedDisc disc;
    disc.type = DISC_TYPE_DVDPLUSR;
    disc.blank = true;
    disc.freeBlocks = (mebibytes + 10) * 512;
    return disc;
}

// Bytes that do not compress (a fixed pseudo-random sequence), so sizes on the discs are
// predictable.
inline std::string incompressible(std::size_t size, uint32_t seed = 12345)
{
    std::string bytes(size, '\0');
    for (auto& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

// Writes content over the start of path, then sets its last-write time back to the
// nanosecond: the same size and stamp, other bytes.
inline void overwriteInPlace(const std::string& path, const std::string& content)
{
    struct stat before { };
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    {
        std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// A whole program's surroundings for backup runs: working folders, log and the archive-bit
// record in a temporary folder, the data to back up in dir/data, a scripted view, and the
// burn session on one test drive. The date is 5 March 2024.
class BackupFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        state.AppFolder = dir / "app";
        state.DatabaseFolder = state.AppFolder + "/Database";
        state.TempFolder = state.AppFolder + "/torvineltemp";
        fs::create_directories(state.DatabaseFolder);
        fs::create_directories(state.TempFolder);
        fs::create_directories(dir / "data");
        state.log.open(state.appFile("LogFile.txt"));
        bits = std::make_unique<platform::ArchiveAttribute>(state.AppFolder);
        configureArchiveEngine(ZF, state);
        view.setChecked(Control::Md5Check, false);
        view.setChecked(Control::VerifyCheck, false);
        view.setSelectedIndex(Control::CdSpeed, 12);
        view.setSelectedIndex(Control::DvdSpeed, 8);
        options.pollInterval = std::chrono::milliseconds(0);
        options.freeSpace = [](const std::string&) { return int64_t(1) << 50; };
        options.dateTimeText = [] { return std::string("05/03/2024 12:00:00"); };
        selection = {data()};
    }
    void TearDown() override { state.log.close(); }

    // The test drive holds these discs, one after the other.
    void useDiscs(const std::vector<ScriptedDisc>& discs)
    {
        TestDriveScript script;
        script.discs = discs;
        useScript(script);
    }
    // The test drive does what the script says (its discs, its faults).
    void useScript(const TestDriveScript& script)
    {
        static const bool started = [] {
            const DiscwrightStartUpBlock block{};
            const auto result = Discwright_StartUpEx(&block, sizeof block);
            return result == 0 || result == 3;
        }();
        ASSERT_TRUE(started);
        Discwright_SetSearch(false, false);
        Discwright_UseTestDrives({script});
        devices.clear();
        DriveInfo item;
        item.Vendor = script.vendor;
        item.Product = script.product;
        item.ProductRevisionLevel = script.revision;
        item.BufferSize = script.bufferSize;
        item.DriveLetter = script.driveLetter;
        item.DeviceAddress = Discwright_GetTestDrive(0)->address();
        devices.Items.push_back(item);
        view.setItems(Control::WriterChooser, {item.DriveLetter + " " + item.Product}, 0);
    }
    std::shared_ptr<TestDrive> drive() { return Discwright_GetTestDrive(0); }

    std::string data() const { return dir / "data"; }
    std::string file(const std::string& relative, const std::string& content) const
    {
        return dir.write("data/" + relative, content);
    }

    BackupOutcome run()
    {
        BackupContext context{state,
                              view,
                              ZF,
                              *bits,
                              [this](const std::string& name, int64_t& free) {
                                  return burnDisc(state, view, devices, name, free, options);
                              },
                              [this] { ++refreshes; },
                              excluded,
                              selection,
                              clock};
        view.clearCalls();
        return runBackup(context);
    }

    // The text of the Error a run that must fail raises; "" when it did not fail.
    std::string failure()
    {
        try {
            run();
        } catch (const Error& e) {
            return e.what();
        }
        return "";
    }

    // The catalogs and other files filed for a disc, sorted.
    std::vector<std::string> filed(const std::string& discId) const
    {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(state.DatabaseFolder + "/" + discId, error))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> catalog(const std::string& discId, const std::string& name) const
    {
        return readLines(state.DatabaseFolder + "/" + discId + "/" + name);
    }
    std::vector<std::string> discs() const { return filed(""); }
    // How many times the test drive has been asked to do call.
    long driveCalls(const std::string& call) const
    {
        const auto calls = Discwright_GetTestDrive(0)->calls();
        return std::count(calls.begin(), calls.end(), call);
    }
    std::vector<std::string> listFile(const std::string& name) const { return readLines(state.appFile(name)); }
    std::vector<std::string> captions() const
    {
        std::vector<std::string> out;
        for (const auto& call : view.callsStartingWith("setText BackupProgress ProgressCaption "))
            out.push_back(call.substr(std::string("setText BackupProgress ProgressCaption ").size()));
        return out;
    }
    bool logHas(const std::string& line) const
    {
        const auto lines = readLines(state.appFile("LogFile.txt"));
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool tempEmpty() const { return std::filesystem::is_empty(state.TempFolder); }

    // Once the engine has handed over the first piece of path's content, act runs, as another
    // program writing to the file at that moment would. It takes over the run's own hooks, so
    // it is called while a BackupRun holds the engine (a full run: from onProcessEvents).
    void whileReading(const std::string& path, std::function<void()> act)
    {
        auto reading = std::make_shared<std::string>();
        auto progress = ZF.onFileProgress;
        ZF.onFileProgress = [=](ZipArchive& zip, const std::string& name, double percent, ZipOperation operation,
                                ZipProgressPhase phase, bool& cancel) {
            if (phase == ZipProgressPhase::Start)
                *reading = "/" + name;
            progress(zip, name, percent, operation, phase, cancel);
        };
        auto data = ZF.onFileData;
        ZF.onFileData = [=, once = std::make_shared<bool>(false)](const unsigned char* bytes, std::size_t size) {
            data(bytes, size);
            if (*reading == path && !*once) {
                *once = true;
                act();
            }
        };
    }

    // Restores path from the newest backup set, reading the discs the test drive has ejected
    // from a shelf of their images; the restored bytes ("" when nothing came back).
    std::string restoreNewest(const std::string& path)
    {
        namespace fs = std::filesystem;
        const std::string shelf = dir / "shelf";
        fs::remove_all(shelf);
        fs::create_directories(shelf);
        for (const EjectedDisc& disc : drive()->ejectedDiscs())
            if (disc.written)
                std::ofstream(shelf + "/" + disc.volumeLabel + ".iso", std::ios::binary)
                    .write(reinterpret_cast<const char*>(disc.data.data()),
                           static_cast<std::streamsize>(disc.data.size()));
        state.RestoreFolder = dir / "restores";
        fs::create_directories(state.RestoreFolder);
        view.setItems(Control::RestoreDrive, {shelf}, 0);
        fillBackupSetChooser(state, view);
        view.setSelectedIndex(Control::BackupSetChooser, 0);
        RestoreTree tree;
        chooseBackupSet(state, view, tree);
        const CheckTree::Node node = tree.browseTo(path);
        if (node == nullptr)
            return "";
        tree.setCheckState(node, CheckState::Checked);
        RestoreRunOptions restoreOptions;
        restoreOptions.clock = clock;
        const RestoreResult result = runRestore(state, view, tree, restoreOptions);
        std::ifstream in(result.target + "/r" + path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    TempDir dir;
    RunState state;
    ScriptedView view;
    ZipArchive ZF;
    std::unique_ptr<platform::ArchiveAttribute> bits;
    DriveList devices;
    BurnOptions options;
    std::optional<std::vector<std::string>> selection;
    std::vector<std::string> excluded;
    int refreshes = 0;
    Clock clock = [] { return std::chrono::sys_days{std::chrono::year{2024} / 3 / 5} + std::chrono::hours(12); };
};

} // namespace torvinel::test
