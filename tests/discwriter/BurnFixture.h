#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/RunState.h"
#include "discwriter/DriveList.h"
#include "discwriter/BurnSession.h"
#include "discwright/Discwright.h"
#include "support/ScriptedView.h"
#include "support/TempDir.h"

namespace torvinel::test {

// The disc library started once for the test program, searching only the test drives.
inline void startLibraryWithTestDrives(const std::vector<TestDriveScript>& scripts)
{
    static const bool started = [] {
        const DiscwrightStartUpBlock block{};
        const auto result = Discwright_StartUpEx(&block, sizeof block);
        return result == 0 || result == 3; // 3: another test started it already
    }();
    ASSERT_TRUE(started);
    Discwright_SetSearch(false, false);
    Discwright_UseTestDrives(scripts);
}

// A blank disc of a kind, with room for that many blocks.
inline ScriptedDisc blankDisc(DISC_TYPE type, int32_t freeBlocks = 100000)
{
    ScriptedDisc disc;
    disc.type = type;
    disc.blank = true;
    disc.freeBlocks = freeBlocks;
    return disc;
}

// A burn session's surroundings: working folders and the log in a temporary folder, a
// scripted view with the first writer chosen, and the test drives as the device list.
class BurnFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.AppFolder = dir.path();
        state.TempFolder = dir / "torvineltemp";
        std::filesystem::create_directories(state.TempFolder);
        state.log.open(dir / "LogFile.txt");
        view.setSelectedIndex(Control::CdSpeed, 12);
        view.setSelectedIndex(Control::DvdSpeed, 8);
        view.setChecked(Control::VerifyCheck, false);
        options.pollInterval = std::chrono::milliseconds(0);
        options.freeSpace = [this](const std::string&) { return hardDiskFree; };
        options.dateTimeText = [] { return std::string("12/10/2026 02:03:04"); };
    }

    // Starts the library with these drives and lists them as the search would.
    void useDrives(const std::vector<TestDriveScript>& scripts)
    {
        startLibraryWithTestDrives(scripts);
        devices.clear();
        std::vector<std::string> items;
        for (std::size_t i = 0; i < scripts.size(); ++i) {
            DriveInfo item;
            item.Vendor = scripts[i].vendor;
            item.Product = scripts[i].product;
            item.ProductRevisionLevel = scripts[i].revision;
            item.BufferSize = scripts[i].bufferSize;
            item.DriveLetter = scripts[i].driveLetter;
            item.DeviceAddress = Discwright_GetTestDrive(i)->address();
            devices.Items.push_back(item);
            items.push_back(item.DriveLetter + " " + item.Product);
        }
        view.setItems(Control::WriterChooser, items, items.empty() ? -1 : 0);
        view.clearCalls();
    }
    void useDrive(const TestDriveScript& script) { useDrives({script}); }
    std::shared_ptr<TestDrive> drive(std::size_t index = 0) { return Discwright_GetTestDrive(index); }

    // Runs a session; measure mode when name is empty. outcome stays empty when it fails.
    void write(const std::string& name = "")
    {
        outcome.reset();
        outcome = burnDisc(state, view, devices, name, discFreeBytes, options);
    }

    std::vector<std::string> logLines() const
    {
        std::ifstream in(dir / "LogFile.txt", std::ios::binary);
        std::stringstream whole;
        whole << in.rdbuf();
        std::vector<std::string> lines;
        std::string text = whole.str();
        for (std::size_t start = 0; start < text.size();) {
            const auto end = text.find("\r\n", start);
            lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos)
                break;
            start = end + 2;
        }
        return lines;
    }
    bool logHas(const std::string& line) const
    {
        for (const auto& l : logLines())
            if (l == line)
                return true;
        return false;
    }
    std::string logText() const
    {
        std::string all;
        for (const auto& l : logLines())
            all += l + "\n";
        return all;
    }

    TempDir dir;
    RunState state;
    ScriptedView view;
    DriveList devices;
    BurnOptions options;
    int64_t hardDiskFree = int64_t(1) << 50;
    int64_t discFreeBytes = -1;
    std::optional<BurnOutcome> outcome;
};

} // namespace torvinel::test
