#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <sstream>

#include "support/CliRunner.h"
#include "support/TempDir.h"

namespace torvinel::test {

// Runs the built torvinel-cli with its folders inside a temporary folder.
TEST(DrivesCommand, ListsTheWritersThenTheDrivesToReadFrom)
{
    TempDir root;
    root.write("data/Torvinel/Torvinel.ini", "[ImageDrive]\r\nFolder=" + root.path() + "/shelf\r\n");
    const CliRunner::Result result = CliRunner(root, root / "data", root / "config").run("drives");
    ASSERT_EQ(result.code, 0) << result.err;

    std::vector<std::string> lines;
    std::istringstream out(result.out);
    for (std::string line; std::getline(out, line);)
        lines.push_back(line);
    // Optical drives of this computer, if any, come before the image drive in both lists.
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), root.path() + "/shelf");
    const auto writer = std::find(lines.begin(), lines.end(), "Image: Image Drive");
    ASSERT_NE(writer, lines.end());
    for (auto line = writer + 1; line != lines.end() - 1; ++line)
        EXPECT_EQ(line->rfind("/", 0), 0u) << *line; // the optical drives' mount points or devices
    EXPECT_NE(root.read("data/Torvinel/Torvinel.ini").find("MediaType=DVD+R"), std::string::npos);
}

} // namespace torvinel::test
