#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "CatalogFixture.h"
#include "support/CliRunner.h"

namespace torvinel {
namespace {

using test::line;

// Runs the built torvinel-cli with its data folder inside the test's folder.
class CatalogCommandsTest : public test::CatalogFixture {
protected:
    std::string out, err;
    const test::CliRunner runner{dir, data().string(), (root / "config").string()};

    std::filesystem::path data() const { return root / "data"; }
    std::filesystem::path database() const { return data() / "Torvinel" / "Database"; }
    void disc(const std::string& id, const std::string& name, const std::vector<std::string>& lines)
    {
        std::string bytes;
        for (const auto& l : lines)
            bytes += l + "\r\n";
        writeFile(database() / id / name, bytes);
    }
    int cli(const std::string& arguments)
    {
        const test::CliRunner::Result result = runner.run(arguments);
        out = result.out;
        err = result.err;
        return result.code;
    }
    std::string setting(const std::string& key)
    {
        const std::string ini = readFile(data() / "Torvinel" / "Torvinel.ini");
        const std::size_t at = ini.find("\n" + key + "=");
        if (at == std::string::npos)
            return "<missing>";
        const std::size_t start = at + key.size() + 2;
        return ini.substr(start, ini.find_first_of("\r\n", start) - start);
    }
};

TEST_F(CatalogCommandsTest, DiscsAndState)
{
    ASSERT_EQ(cli("discs"), 0) << err;
    EXPECT_EQ(out, "");

    disc("20240305001", "2024030500001rn.csv", {line("/a", "20240301100000", 1), line("/b", "20240301100000", 2)});
    disc("20240306001", "2024030600001dd.csv", {line("/b", "20240301100000", 2)});
    disc("20240306001", "2024030600002rn.csv", {line("/c", "20240306100000", 3)});
    ASSERT_EQ(cli("discs"), 0) << err;
    EXPECT_EQ(out, "20240305001\n20240306001\n");

    ASSERT_EQ(cli("state"), 0) << err;
    EXPECT_EQ(out, line("/a", "20240301100000", 1) + "\n" + line("/c", "20240306100000", 3) + "\n");
    EXPECT_EQ(setting("NewestDisc"), "20240306001");
    EXPECT_EQ(setting("OldestCSV"), "2024030500001rn.csv");
    EXPECT_TRUE(std::filesystem::exists(data() / "Torvinel" / "BackupList.txt"));

    // As the restore chooser: the older state, the stored values untouched.
    ASSERT_EQ(cli("state --set 20240305001"), 0) << err;
    EXPECT_EQ(out, line("/a", "20240301100000", 1) + "\n" + line("/b", "20240301100000", 2) + "\n");
    EXPECT_EQ(setting("NewestDisc"), "20240306001");
    EXPECT_EQ(setting("OldestCSV"), "2024030500001rn.csv");

    EXPECT_EQ(cli("state --set 20991231001"), 2);
    EXPECT_NE(err.find("20991231001"), std::string::npos);
    EXPECT_EQ(cli("state --set"), 2);
}

TEST_F(CatalogCommandsTest, RemoveDisc)
{
    for (const char* id : {"20240301001", "20240302001", "20240303001"})
        disc(id, std::string(id).substr(0, 8) + "00001rn.csv", {line(std::string("/") + id)});

    EXPECT_EQ(cli("remove-disc 20240302001"), 2); // not offered: only the oldest and the newest
    EXPECT_NE(err.find("20240302001"), std::string::npos);
    EXPECT_EQ(cli("remove-disc 2024030"), 2);
    EXPECT_EQ(cli("remove-disc --force 20240303001"), 2);
    EXPECT_EQ(cli("remove-disc --yes"), 2);
    EXPECT_TRUE(std::filesystem::exists(database() / "20240302001"));

    // Without a terminal the question is answered No: nothing is removed, and the way to
    // remove it from a script is named.
    EXPECT_EQ(cli("remove-disc 20240303001"), 1) << err;
    EXPECT_EQ(out, "Remove disc 20240303001 from the database? 1 file has its newest copy only on this disc; it "
                   "could no longer be restored. [y/n] No\n");
    EXPECT_EQ(err, "Disc 20240303001 was not removed (--yes removes it without asking).\n");
    EXPECT_TRUE(std::filesystem::exists(database() / "20240303001"));

    ASSERT_EQ(cli("remove-disc 20240303001 --yes"), 0) << err;
    EXPECT_EQ(out, "");
    EXPECT_FALSE(std::filesystem::exists(database() / "20240303001"));
    ASSERT_EQ(cli("discs"), 0);
    EXPECT_EQ(out, "20240301001\n20240302001\n");
    EXPECT_EQ(setting("NewestDisc"), "20240302001"); // reassembled from every catalog
    ASSERT_EQ(cli("remove-disc --yes 20240301001"), 0) << err;
    ASSERT_EQ(cli("discs"), 0);
    EXPECT_EQ(out, "20240302001\n");
}

TEST_F(CatalogCommandsTest, AddDisc)
{
    const auto drive = root / "drive";
    std::filesystem::create_directories(drive);
    // A command line names no buttons, and its complaints go to standard error.
    EXPECT_EQ(cli("add-disc '" + drive.string() + "'"), 2);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "There is no disc of Torvinel in " + drive.string() + ".\n");
    EXPECT_EQ(cli("add-disc '" + (root / "nowhere").string() + "'"), 2);
    EXPECT_EQ(err, "Cannot add a disc from " + (root / "nowhere").string() + ": it does not exist.\n");

    writeFile(drive / "20240301001" / "2024030100001rn.csv", line("/a") + "\r\n");
    writeFile(drive / "20240301001" / "status.ini", "[MD5]\r\n");
    ASSERT_EQ(cli("add-disc '" + drive.string() + "'"), 0) << err;
    EXPECT_EQ(out, "The disk was successfully added.\n");
    EXPECT_TRUE(std::filesystem::exists(database() / "20240301001" / "2024030100001rn.csv"));
    ASSERT_EQ(cli("state"), 0);
    EXPECT_EQ(out, line("/a") + "\n");

    ASSERT_EQ(cli("add-disc '" + drive.string() + "'"), 0) << err;
    EXPECT_EQ(out, "This disk is already added.\n");
}

TEST_F(CatalogCommandsTest, FailureTextGoesToStandardError)
{
    // A catalog that cannot be read fails the assembly.
    std::filesystem::create_directories(database() / "20240301001");
    std::filesystem::create_symlink(root / "nowhere", database() / "20240301001" / "2024030100001rn.csv");
    EXPECT_EQ(cli("state"), 2);
    // The error box's text is the last line; the disc library's version line (its debugger
    // output, which goes to standard error here) may come before it.
    const std::string expected =
        "Could not read " + (database() / "20240301001" / "2024030100001rn.csv").string() + ".\n";
    ASSERT_GE(err.size(), expected.size());
    EXPECT_EQ(err.substr(err.size() - expected.size()), expected);
    EXPECT_TRUE(err.size() == expected.size() || err[err.size() - expected.size() - 1] == '\n') << err;
}

} // namespace
} // namespace torvinel
