#include <gtest/gtest.h>

#include <fstream>

#include "backup/RecoveryStaging.h"
#include "catalog/Md5.h"
#include "recovery/RecoveryData.h"
#include "support/TempDir.h"

namespace torvinel {
namespace {

// Plans and writes the recovery file of folder as a burn has it written; the bytes it takes
// on the disc (0 for none).
int64_t stageRecoveryData(const std::string& folder, int percent, int64_t roomLeft,
                          const std::function<void(const std::string&)>& log)
{
    std::optional<RecoveryPlan> plan = planRecoveryData(folder, percent, roomLeft, log);
    if (!plan)
        return 0;
    const int64_t bytes = plan->bytes;
    RecoveryWriter writer(folder, std::move(*plan));
    writer.finish();
    return bytes;
}

class RecoveryStagingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.write("disc/2026121000002rn.zip", std::string(300000, 'z'));
        dir.write("disc/2026121000002rn.csv", "\"/a\",20261210101010,5,\r\n");
        dir.write("disc/2026121000001dd.csv", "");
        dir.write("disc/index/Catalogs.zip", std::string(5000, 'c'));
        dir.write("disc/index/README.txt", "read me\r\n");
        // STATUS.INI lists the archive with a digest of its own: the one a disc then carries.
        dir.write("disc/STATUS.INI", "[MD5]\r\n2026121000002rn.zip=000102030405060708090a0b0c0d0e0f\r\n");
    }
    std::optional<RecoveryHeader> header()
    {
        std::ifstream in(dir / "disc/RECOVERY.DAT", std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        return readRecoveryHeader(
            [&](uint64_t offset, std::size_t length, uint8_t* out) {
                if (offset + length > bytes.size())
                    return false;
                std::copy_n(bytes.data() + offset, length, out);
                return true;
            },
            bytes.size());
    }
    test::TempDir dir;
    std::vector<std::string> logged;
    std::function<void(const std::string&)> log = [this](const std::string& line) { logged.push_back(line); };
};

TEST_F(RecoveryStagingTest, EveryStagedFileIsProtectedInDiscOrderWithItsDigest)
{
    const int64_t bytes = stageRecoveryData(dir / "disc", 12, 10 << 20, log);
    EXPECT_EQ(bytes, static_cast<int64_t>(std::filesystem::file_size(dir / "disc/RECOVERY.DAT") + 2047) / 2048 * 2048);
    const auto read = header();
    ASSERT_TRUE(read);
    std::vector<std::string> names;
    for (const auto& file : read->files)
        names.push_back(file.name);
    EXPECT_EQ(names, (std::vector<std::string>{"STATUS.INI", "index/Catalogs.zip", "index/README.txt",
                                               "2026121000001dd.csv", "2026121000002rn.csv", "2026121000002rn.zip"}));
    EXPECT_EQ(read->files[5].md5, (std::array<uint8_t, 16>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
    const std::string readme = "read me\r\n";
    EXPECT_EQ(read->files[2].md5, md5(readme.data(), readme.size()));
    EXPECT_EQ(read->shape.parityShards * 100 / (read->shape.dataShards + read->shape.parityShards), 12);
    EXPECT_TRUE(logged.empty());

    // Staged again (a disc written anew), the old recovery file is not protected by the new one.
    stageRecoveryData(dir / "disc", 12, 10 << 20, log);
    EXPECT_EQ(header()->files.size(), 6u);
}

TEST_F(RecoveryStagingTest, LessRoomGivesLessParityAndNoRoomNoFile)
{
    const int64_t full = stageRecoveryData(dir / "disc", 12, 10 << 20, log);
    std::filesystem::remove(dir / "disc/RECOVERY.DAT");
    const int64_t less = stageRecoveryData(dir / "disc", 12, full - 2048, log);
    EXPECT_GT(less, 0);
    EXPECT_LT(less, full);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("instead of 12 %"), std::string::npos) << logged[0];
    std::filesystem::remove(dir / "disc/RECOVERY.DAT");
    EXPECT_EQ(stageRecoveryData(dir / "disc", 12, 4096, log), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "disc/RECOVERY.DAT"));
    EXPECT_EQ(stageRecoveryData(dir / "disc", 0, 10 << 20, log), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "disc/RECOVERY.DAT"));
}

// A disc packed up to its room less the reserve takes the recovery file in what is left,
// whatever its size and however many files it holds.
TEST(RecoveryReserveTest, WhatPackingLeavesHoldsTheRecoveryFile)
{
    for (const int64_t room : {int64_t(20) << 20, int64_t(650) << 20, int64_t(4'700'000'000), int64_t(25'000'000'000)}) {
        for (const int percent : {1, 12, 50}) {
            const int64_t reserve = recoveryReserve(room, percent);
            const uint64_t dataBlocks = static_cast<uint64_t>(room - reserve) / 2048;
            // An archive and its catalog for every 8 MiB, names as long as they get.
            std::vector<ProtectedFile> files(2 * (dataBlocks / 4096 + 1), ProtectedFile{std::string(23, 'x'), 0, {}});
            // and not much more than that is kept free: the parity's share, a little over.
            EXPECT_LE(reserve, room / 100 * (percent + 2) + (2 << 20)) << room << " " << percent;
            files[0].size = dataBlocks * 2048;
            const RecoveryShape shape = recoveryShape(dataBlocks, percent);
            EXPECT_LE(static_cast<int64_t>(recoveryFileBytes(files, dataBlocks, shape.parityBlocks(dataBlocks))), reserve)
                << room << " " << percent;
        }
    }
    EXPECT_EQ(recoveryReserve(700 << 20, 0), 0);
}

} // namespace
} // namespace torvinel
