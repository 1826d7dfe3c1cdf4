#include <gtest/gtest.h>

#include "catalog/CatalogLine.h"
#include "restore/DiscLossReport.h"
#include "support/TempDir.h"

namespace torvinel::test {
namespace {

const std::string A = "20240301001", B = "20240302001", C = "20240303001";

std::string line(const std::string& path, int second, int64_t size)
{
    return formatCatalogLine(path, {2024, 3, 1, 10, 0, second}, size, "");
}

// Three discs: /only on A alone, /twice on A and again on C by rotation, /split in volumes on
// B and C, /gone in an unfinished split only.
class DiscLossReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        catalog(A, "2024030100002rn", {only, twice});
        catalog(B, "2024030200002rn_001", {split});
        catalog(C, "2024030200002rn", {split});
        catalog(C, "2024030300002rn", {twice});
        catalog(C, "2024030300003rn_001", {gone});
        discs.add(A);
        discs.add(B);
        discs.add(C);
        for (const auto& l : {only, twice, split, gone})
            state.add(l);
    }
    void catalog(const std::string& disc, const std::string& name, const std::vector<std::string>& lines)
    {
        std::string text;
        for (const std::string& l : lines)
            text += l + "\r\n";
        database.write(disc + "/" + name + ".csv", text);
    }
    static std::vector<std::string> summary(const LossReport& report)
    {
        std::vector<std::string> out;
        for (const auto& disc : report.discs)
            out.push_back(disc.disc + " " + std::to_string(disc.files) + " " + std::to_string(disc.bytes));
        for (const auto& file : report.singleCopies)
            out.push_back("single " + file.path + " " + file.disc);
        for (const auto& path : report.noCopy)
            out.push_back("none " + path);
        return out;
    }

    const std::string only = line("/only", 0, 10), twice = line("/twice", 2, 200), split = line("/split", 4, 3000);
    const std::string gone = line("/gone", 6, 40000);
    TempDir database;
    SortedList discs, state;
};

TEST_F(DiscLossReportTest, DiscsEveryCopyOfAFileNeedsCountItAndSingleCopiesAreNamed)
{
    EXPECT_EQ(summary(discLossReport(database.path(), discs, state, {})),
              (std::vector<std::string>{A + " 1 10", B + " 1 3000", C + " 1 3000", "single /only " + A,
                                        "single /split " + C, "none /gone"}));
}

TEST_F(DiscLossReportTest, CopiesOnDamagedDiscsCountOnlyWhenThereIsNoOther)
{
    // C is damaged: /twice hangs on A alone now; /split has no sound copy, and still needs B and C.
    EXPECT_EQ(summary(discLossReport(database.path(), discs, state, {C})),
              (std::vector<std::string>{A + " 2 210", B + " 1 3000", C + " 1 3000", "single /only " + A,
                                        "single /twice " + A, "none /gone"}));
}

} // namespace
} // namespace torvinel::test
