#include <gtest/gtest.h>

#include "catalog/CatalogLine.h"
#include "catalog/DiscListing.h"
#include "restore/DiscRemoval.h"
#include "support/ScriptedView.h"
#include "support/TempDir.h"

namespace torvinel::test {
namespace {

const std::string A = "20240301001", B = "20240302001", C = "20240303001";

std::string line(const std::string& path, int second, int64_t size = 5)
{
    return formatCatalogLine(path, {2024, 3, 1, 10, 0, second}, size, "");
}

class DiscRemovalTest : public testing::Test {
protected:
    void SetUp() override { state.DatabaseFolder = database.path(); }
    void catalog(const std::string& disc, const std::string& name, const std::vector<std::string>& lines)
    {
        std::string text;
        for (const std::string& l : lines)
            text += l + "\r\n";
        database.write(disc + "/" + name + ".csv", text);
    }

    TempDir database;
    RunState state;
    ScriptedView view;
};

// Only the newest version of a file counts, and only when no archive on another disc holds
// it whole: a rotation copy elsewhere keeps it, an older version on the disc is no loss, a
// deleted file is no loss, and a split archive needs every disc one of its volumes is on.
TEST_F(DiscRemovalTest, CountsTheFilesWhoseNewestVersionNeedsTheDisc)
{
    catalog(A, "2024030100001rn", {line("/both", 0), line("/elsewhere", 0), line("/gone", 0), line("/old-only", 0)});
    catalog(B, "2024030200001rn_001", {line("/big", 0, 900000)});
    catalog(B, "2024030200002rn", {line("/elsewhere", 2)});
    catalog(C, "2024030200001rn", {line("/big", 0, 900000)}); // the split's last volume
    catalog(C, "2024030300001rn", {line("/both", 0), line("/only", 0)});
    catalog(C, "2024030300002dd", {line("/gone", 0)});
    const struct {
        std::string disc;
        std::size_t lost;
    } cases[] = {
        {A, 1}, // /old-only
        {B, 2}, // /elsewhere in its newest version, /big's first volume
        {C, 2}, // /only, /big's last volume
    };
    for (const auto& c : cases)
        EXPECT_EQ(filesOnlyOnDisc(state, c.disc), c.lost) << c.disc;
}

// The question names the disc and the loss, and only Yes lets the removal go on.
TEST_F(DiscRemovalTest, AsksWithNoAsTheDefaultNamingTheDiscAndTheLoss)
{
    catalog(A, "2024030100001rn", {line("/kept", 0), line("/old-a", 0), line("/old-b", 0)});
    catalog(B, "2024030200001rn", {line("/kept", 0), line("/new", 0)});
    ListDiscs(state, view);
    const std::string oldest = "Remove disc " + A + " from the database? ";
    const std::string newest = "Remove disc " + B + " from the database? ";
    const struct {
        int chosen;
        bool yes;
        std::string question;
    } cases[] = {
        {0, false, oldest + "2 files have their newest copy only on this disc; they could no longer be restored."},
        {1, true, newest + "1 file has its newest copy only on this disc; it could no longer be restored."},
    };
    for (const auto& c : cases) {
        view.clearCalls();
        view.setSelectedIndex(Control::DiscList, c.chosen);
        c.yes ? view.answerYesDefaultNo() : view.answerNoDefaultNo();
        EXPECT_EQ(confirmDiscRemoval(state, view), c.yes) << c.question;
        EXPECT_EQ(view.callsStartingWith("ask"), std::vector<std::string>{"askYesNoDefaultNo " + c.question});
    }

    // Nothing lost; nothing chosen: no question at all.
    catalog(B, "2024030200002rn", {line("/old-a", 0), line("/old-b", 0)});
    view.clearCalls();
    view.setSelectedIndex(Control::DiscList, 0);
    view.answerNoDefaultNo();
    EXPECT_FALSE(confirmDiscRemoval(state, view));
    EXPECT_EQ(view.callsStartingWith("ask"),
              std::vector<std::string>{"askYesNoDefaultNo " + oldest
                                       + "No file has its newest copy only on this disc: nothing is lost."});
    view.clearCalls();
    view.setSelectedIndex(Control::DiscList, -1);
    EXPECT_FALSE(confirmDiscRemoval(state, view));
    EXPECT_EQ(view.countPrefix("ask"), 0);
}

} // namespace
} // namespace torvinel::test
