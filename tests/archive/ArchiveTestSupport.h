#pragma once
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/ZipArchive.h"

namespace torvinel::archivetest {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/torvinel-archive-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        // Read-only folders and files must not stop the clean-up.
        for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
             it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root, ec);
    }
    std::string path(const std::string& name) const { return root + "/" + name; }

    std::string root;
};

inline void writeFile(const std::string& path, const std::string& content)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Text that deflates well, or bytes that do not.
inline std::string textOf(std::size_t size, unsigned seed = 1)
{
    std::string s;
    s.reserve(size);
    std::mt19937 rng(seed);
    static const char* words[] = {"backup ", "disc ", "archive ", "volume ", "catalog ", "file\n"};
    while (s.size() < size)
        s += words[rng() % 6];
    s.resize(size);
    return s;
}

inline std::string randomBytes(std::size_t size, unsigned seed = 7)
{
    std::string s(size, '\0');
    std::mt19937 rng(seed);
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

// Runs a shell command; returns its exit status and collects its output.
inline int run(const std::string& command, std::string* output = nullptr)
{
    std::string text;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe))
        text.append(buffer, n);
    const int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool haveTool(const std::string& name) { return run("command -v " + name + " >/dev/null") == 0; }

inline std::string shellQuoted(const std::string& path)
{
    std::string q = "'";
    for (char c : path)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Records the failures reported to onProcessFileFailure and answers with a fixed action.
struct FailureLog {
    std::vector<std::string> messages;
    std::vector<std::string> files;
    std::vector<int> codes;
    ZipFailureAction answer = ZipFailureAction::Ignore;
    void attach(ZipArchive& zip)
    {
        zip.onProcessFileFailure = [this](ZipArchive&, const std::string& fileName, ZipOperation, int, int code,
                                          const std::string& message, ZipFailureAction& action) {
            files.push_back(fileName);
            messages.push_back(message);
            codes.push_back(code);
            action = answer;
        };
    }
};

} // namespace torvinel::archivetest
