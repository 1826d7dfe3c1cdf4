#include <gtest/gtest.h>

#include "catalog/CatalogLine.h"
#include "restore/CopyIndex.h"
#include "support/TempDir.h"

namespace torvinel::test {
namespace {

const std::string A = "20240301001", B = "20240302001";

std::string line(const std::string& path, int second, int64_t size, const std::string& digest = "")
{
    return formatCatalogLine(path, {2024, 3, 1, 10, 0, second}, size, digest);
}

struct Copy {
    std::string volumes; // "<disc>/<file> ..." of the archive
    std::string digest;
    bool operator==(const Copy&) const = default;
};

void PrintTo(const Copy& c, std::ostream* out) { *out << c.volumes << " [" << c.digest << "]"; }

TEST(CopyIndexTest, EveryArchiveHoldingTheVersionCountsAndUnfinishedSplitsDoNot)
{
    const std::string x(32, 'a'), y(32, 'b'), z(32, 'c');
    const std::string a = line("/u/a.txt", 0, 5), b = line("/u/b.txt", 2, 7, x), big = line("/u/big", 4, 900000);
    const std::string unfinished = line("/u/unfinished", 6, 800000), gap = line("/u/gap", 8, 800000);
    TempDir database;
    const auto catalog = [&](const std::string& disc, const std::string& name, const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& l : lines)
            text += l + "\r\n";
        database.write(disc + "/" + name + ".csv", text);
    };
    catalog(A, "2024030100001dd", {a}); // a deleted-files catalog holds no archive
    catalog(A, "2024030100002rn", {a, b});
    catalog(A, "2024030100003rn_001", {big});
    catalog(B, "2024030100003rn_002", {big});
    catalog(B, "2024030100003rn", {big});
    catalog(B, "2024030200001dd", {});
    catalog(B, "2024030200002rn", {line("/u/a.txt", 0, 5, z),  // the same version, with a digest
                                   line("/u/b.txt", 2, 7, y),  // another content
                                   line("/u/b.txt", 4, 7, x)}); // another stamp
    catalog(B, "2024030200003rn_001", {unfinished});           // its last volume was never written
    catalog(B, "2024030200004rn_002", {gap});                  // its first volume is not in the database
    catalog(B, "2024030200004rn", {gap});
    catalog(B, "2024030200005rn_001", {line("/u/big2", 4, 900000)}); // a volume of another version
    catalog(B, "2024030200005rn", {big});

    SortedList discs;
    discs.add(A);
    discs.add(B);
    const std::vector<std::string> wanted = {a, b, big, unfinished, gap};
    const CopyIndex index(database.path(), discs, wanted);

    const auto copies = [&](std::size_t l) {
        std::vector<Copy> result;
        for (const LineCopy& c : index.copiesOf(l)) {
            std::string volumes;
            for (const ArchiveVolume& v : index.archives()[c.archive].volumes)
                volumes += (volumes.empty() ? "" : " ") + v.disc + "/" + v.fileName;
            result.push_back({volumes, c.digest});
        }
        return result;
    };
    EXPECT_EQ(copies(0), (std::vector<Copy>{{A + "/2024030100002rn.zip", ""}, {B + "/2024030200002rn.zip", z}}));
    EXPECT_EQ(copies(1), (std::vector<Copy>{{A + "/2024030100002rn.zip", x}}));
    EXPECT_EQ(copies(2), (std::vector<Copy>{{A + "/2024030100003rn_001.zip " + B + "/2024030100003rn_002.zip " + B
                                                 + "/2024030100003rn.zip",
                                             ""}}));
    EXPECT_TRUE(copies(3).empty());
    EXPECT_TRUE(copies(4).empty());
    EXPECT_EQ(index.archives()[index.copiesOf(2)[0].archive].group(), 'r');
}

} // namespace
} // namespace torvinel::test
