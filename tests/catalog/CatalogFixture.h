#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/RunState.h"
#include "app/View.h"

namespace torvinel::test {

// A View that keeps control values and records messages; enough for the catalog's calls.
class RecordingView : public View {
public:
    std::map<std::string, std::string, std::less<>> texts;
    std::map<std::string, int, std::less<>> positions;
    std::map<std::string, std::vector<std::string>, std::less<>> lists;
    std::map<std::string, int, std::less<>> selected;
    std::vector<std::string> messages; // "information: ...", "error: ...", "retry/ignore: ..."
    int setItemsCalls = 0;
    bool retryAnswer = false;

    static std::string key(Window w, std::string_view control)
    {
        return std::to_string(static_cast<int>(w)) + ":" + std::string(control);
    }
    void setText(Window w, std::string_view c, const std::string& t) override { texts[key(w, c)] = t; }
    std::string text(Window w, std::string_view c) const override
    {
        auto it = texts.find(key(w, c));
        return it == texts.end() ? std::string() : it->second;
    }
    void setPosition(Window w, std::string_view c, int p) override { positions[key(w, c)] = p; }
    int position(Window w, std::string_view c) const override
    {
        auto it = positions.find(key(w, c));
        return it == positions.end() ? 0 : it->second;
    }
    void setEnabled(Window, std::string_view, bool) override {}
    bool isEnabled(Window, std::string_view) const override { return true; }
    void setVisible(Window, std::string_view, bool) override {}
    void setChecked(std::string_view, bool) override {}
    bool isChecked(std::string_view) const override { return false; }
    void setItems(std::string_view c, const std::vector<std::string>& items, int s) override
    {
        ++setItemsCalls;
        lists[std::string(c)] = items;
        selected[std::string(c)] = s;
    }
    std::vector<std::string> items(std::string_view c) const override
    {
        auto it = lists.find(c);
        return it == lists.end() ? std::vector<std::string>() : it->second;
    }
    void setSelectedIndex(std::string_view c, int i) override { selected[std::string(c)] = i; }
    int selectedIndex(std::string_view c) const override
    {
        auto it = selected.find(c);
        return it == selected.end() ? -1 : it->second;
    }
    void setStatusText(int, const std::string&) override {}
    void showWindow(Window) override {}
    void hideWindow(Window) override {}
    WindowGeometry geometry(Window) const override { return {0, 0, 620, 440}; }
    void setGeometry(Window, const WindowGeometry&) override {}
    WindowGeometry screen() const override { return {0, 0, 1920, 1080}; }
    void processEvents() override {}
    void showInformation(const std::string& t) override { messages.push_back("information: " + t); }
    void showError(const std::string& t) override { messages.push_back("error: " + t); }
    bool askYesNo(const std::string& t) override { messages.push_back("yes/no: " + t); return false; }
    bool askRetryIgnore(const std::string& t) override
    {
        messages.push_back("retry/ignore: " + t);
        return retryAnswer;
    }
    bool askOkCancel(const std::string& t) override { messages.push_back("ok/cancel: " + t); return false; }
    void openFolder(const std::string&) override {}
    void openUrl(const std::string&) override {}
    CheckTree& backupTree() override { throw std::logic_error("no backup tree here"); }
    CheckTree& restoreTree() override { throw std::logic_error("no restore tree here"); }

    std::string backupText(std::string_view control) const { return text(Window::BackupProgress, control); }
    int backupPosition(std::string_view control) const { return position(Window::BackupProgress, control); }
};

// A temporary application folder with Database and torvineltemp in it, the log open, and
// helpers to write catalogs.
class CatalogFixture : public testing::Test {
protected:
    std::filesystem::path root;
    RunState state;
    RecordingView view;

    void SetUp() override
    {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::path(testing::TempDir()) / "catalog-tests" /
               (std::string(info->test_suite_name()) + "." + info->name());
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "Database");
        std::filesystem::create_directories(root / "torvineltemp");
        state.AppFolder = root.string();
        state.DatabaseFolder = (root / "Database").string();
        state.TempFolder = (root / "torvineltemp").string();
        state.log.open(state.appFile("LogFile.txt"));
    }
    void TearDown() override
    {
        state.log.close();
        std::filesystem::remove_all(root);
    }

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
