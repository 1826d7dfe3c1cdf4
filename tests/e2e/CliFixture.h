#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/CliRunner.h"
#include "support/TempDir.h"

namespace torvinel::test {

// The end-to-end setting: an account of its own (home, application folder), a data folder to
// back up (dir/data), and the image drive writing small CD-R discs into dir/discs (20 MiB of
// room once the writer's reserve is taken, so a 20 MB file runs on over two discs).
class CliFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(appFolder);
        std::filesystem::create_directories(dir / "data");
        setDisc("CD-R", 15360);
    }
    void setDisc(const std::string& type, int64_t blocks)
    {
        std::ofstream(appFolder + "/Torvinel.ini", std::ios::binary)
            << "[ImageDrive]\r\nFolder=" << dir / "discs"
            << "\r\nMediaType=" << type << "\r\nBlocks=" << blocks << "\r\n";
    }
    // Runs torvinel-cli; returns its exit code.
    int cli(const std::string& arguments)
    {
        m_last = m_runner.run(arguments);
        return m_last.code;
    }
    // Everything the last run printed: its standard output, then its errors.
    std::string output() const { return m_last.out + m_last.err; }
    // What the last run wrote on standard output.
    std::string standardOutput() const { return m_last.out; }
    // What the last run wrote on standard error.
    std::string errors() const { return m_last.err; }
    // The last line of the last run's standard output.
    std::string lastLine() const
    {
        std::string text = m_last.out;
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text.substr(text.find_last_of('\n') + 1);
    }

    TempDir dir;

private:
    CliRunner m_runner{dir};
    CliRunner::Result m_last;

protected:
    const std::string home = m_runner.home();
    const std::string appFolder = m_runner.appFolder();
};

} // namespace torvinel::test
