#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/RunState.h"
#include "app/View.h"
#include "support/ScriptedView.h"
#include "support/TempDir.h"

namespace torvinel::test {

// The scripted View with the readings these tests make.
class CatalogView : public ScriptedView {
public:
    std::string backupText(Control control) const { return text(Window::BackupProgress, control); }
    int backupPosition(Control control) const { return position(Window::BackupProgress, control); }
    // The message boxes shown, as recorded ("showInformation <text>", "showError <text>").
    std::vector<std::string> messages() const
    {
        std::vector<std::string> shown = callsStartingWith("showInformation ");
        for (auto& call : callsStartingWith("showError "))
            shown.push_back(call);
        return shown;
    }
};

// A temporary application folder with Database and torvineltemp in it, the log open, and
// helpers to write catalogs.
class CatalogFixture : public testing::Test {
protected:
    TempDir dir;
    const std::filesystem::path root{dir.path()};
    RunState state;
    CatalogView view;

    void SetUp() override
    {
        std::filesystem::create_directories(root / "Database");
        std::filesystem::create_directories(root / "torvineltemp");
        state.AppFolder = root.string();
        state.DatabaseFolder = (root / "Database").string();
        state.TempFolder = (root / "torvineltemp").string();
        state.log.open(state.appFile("LogFile.txt"));
    }
    void TearDown() override { state.log.close(); }

    static void writeFile(const std::filesystem::path& path, const std::string& bytes)
    {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    static std::string readFile(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // A catalog in the database: lines written in the given order, each ended by CR LF.
    void catalog(const std::string& disc, const std::string& name, const std::vector<std::string>& lines)
    {
        std::string bytes;
        for (const auto& line : lines)
            bytes += line + "\r\n";
        writeFile(root / "Database" / disc / name, bytes);
    }
    std::vector<std::string> logLines()
    {
        std::vector<std::string> lines;
        std::ifstream in(state.appFile("LogFile.txt"), std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
};

// Noon of a local date, for clocks that pin the day.
inline std::chrono::system_clock::time_point localNoon(int year, int month, int day)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

// A catalog line without digest for tests.
inline std::string line(const std::string& path, const std::string& stamp = "20240305140326", long size = 5)
{
    return "\"" + path + "\"," + stamp + "," + std::to_string(size) + ",";
}

} // namespace torvinel::test
