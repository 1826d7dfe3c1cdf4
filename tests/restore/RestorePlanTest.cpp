#include <gtest/gtest.h>

#include "restore/RestorePlan.h"

namespace torvinel::test {
namespace {

using Discs = std::vector<std::string>;

const std::string A = "20240301001", B = "20240302001", C = "20240303001", D = "20240304001";

struct PlanCase {
    const char* what;
    std::vector<PlanLine> lines;
    Discs discs;             // the plan, in the order of asking
    std::vector<int> choice; // per line
};

TEST(RestorePlanTest, FewestDiscsNewestFirstAndSplitCopiesNeedEveryVolume)
{
    const PlanCase cases[] = {
        {"one disc holds everything", {{1, {{A}, {C}}}, {2, {{B}, {C}}}, {3, {{C}}}}, {C}, {1, 1, 0}},
        {"the newer of two equal discs", {{1, {{A}, {B}}}}, {B}, {1}},
        {"every line covered", {{1, {{A}}}, {2, {{B}}}, {3, {{A}, {B}}}}, {B, A}, {0, 0, 1}},
        {"a split copy needs all its discs", {{1, {{A, B}}}, {2, {{B}}}}, {B, A}, {0, 0}},
        {"a whole copy on a chosen disc beats a split needing more discs",
         {{1, {{A, D}, {C}}}, {2, {{C}}}},
         {C},
         {1, 0}},
        {"only splits left: the one needing the fewest discs", {{1, {{A, B, C}, {C, D}}}}, {D, C}, {1}},
        {"a line without copies is left out", {{1, {}}, {2, {{A}}}}, {A}, {-1, 0}},
        {"the copy complete soonest in the order of asking",
         {{1, {{A}}}, {2, {{D}}}, {3, {{A}, {D}}}, {4, {{A}, {D, A}}}},
         {D, A},
         {0, 0, 1, 0}},
        {"nothing to restore", {}, {}, {}},
    };
    for (const PlanCase& c : cases) {
        const RestorePlan plan = planRestore(c.lines);
        Discs discs;
        for (const PlannedDisc& d : plan.discs)
            discs.push_back(d.disc);
        EXPECT_EQ(discs, c.discs) << c.what;
        EXPECT_EQ(plan.choice, c.choice) << c.what;
    }
}

TEST(RestorePlanTest, EachDiscCountsTheFilesItSuppliesAndTheMessageNamesThem)
{
    // A split's file counts for the disc of its last volume.
    const RestorePlan plan = planRestore({{10, {{C}}}, {20, {{C}, {A}}}, {300, {{A, B}}}, {4, {}}});
    ASSERT_EQ(plan.discs.size(), 3u);
    EXPECT_EQ(plan.discs[0].disc, C);
    EXPECT_EQ(plan.discs[0].files, 2);
    EXPECT_EQ(plan.discs[0].bytes, 30);
    EXPECT_EQ(plan.discs[1].disc, B);
    EXPECT_EQ(plan.discs[1].files, 1);
    EXPECT_EQ(plan.discs[1].bytes, 300);
    EXPECT_EQ(plan.discs[2].files, 0);
    EXPECT_EQ(planMessage(plan), "This restore needs 3 discs: " + C + ", " + B + ", " + A);
    EXPECT_EQ(planMessage(planRestore({{1, {{A}}}})), "This restore needs 1 disc: " + A);
}

} // namespace
} // namespace torvinel::test
