// torvinel-cli repair on a disc image whose sectors went bad: the files come back from the
// recovery data the disc carries, or are named when too much was lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "catalog/Md5.h"
#include "discwright/DiscReader.h"
#include "recovery/RecoveryData.h"
#include "CliFixture.h"
#include "support/CliRunner.h"
#include "support/RecoveryHeaderBytes.h"

namespace torvinel {
namespace {

const std::string Disc = "20261210001";

class RepairCliTest : public test::CliFixture {
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        std::mt19937 random(4);
        for (const auto& [name, size] :
             std::vector<std::pair<std::string, std::size_t>>{{"2026121000001rn.zip", 2'500'000},
                                                             {"2026121000001rn.csv", 120},
                                                             {"STATUS.INI", 200},
                                                             {"index/Catalogs.zip", 5000}}) {
            std::string bytes(size, '\0');
            for (auto& c : bytes)
                c = static_cast<char>(random());
            dir.write("staged/" + Disc + "/" + name, bytes);
            ProtectedFile file{name, size, md5(bytes.data(), bytes.size())};
            files.push_back(file);
            contents.push_back(bytes);
        }
        writeRecoveryFile(dir / ("staged/" + Disc), files, 12, dir / ("staged/" + Disc + "/" + RecoveryFileName));
        makeImage();
    }
    // The disc image of what is staged.
    void makeImage()
    {
        ASSERT_EQ(std::system(("xorriso -as mkisofs -quiet -J -R -o " + test::shellQuoted(image) + " "
                               + test::shellQuoted(dir / "staged") + " 2>/dev/null")
                                  .c_str()),
                  0);
    }
    // Zeroes the given 2048-byte blocks of a file of the disc, where the image holds them.
    void spoil(const std::string& name, const std::vector<uint64_t>& blocks)
    {
        const auto extent = makeIsoFileReader(image)->locate(Disc + "/" + name);
        ASSERT_TRUE(extent);
        std::fstream iso(image, std::ios::binary | std::ios::in | std::ios::out);
        const std::string zeros(RecoveryBlockSize, '\0');
        for (uint64_t block : blocks) {
            iso.seekp(static_cast<std::streamoff>(extent->offset + block * RecoveryBlockSize));
            iso.write(zeros.data(), RecoveryBlockSize);
        }
    }
    std::string restored(const std::string& name) { return dir.read("out/" + name); }

    const std::string image = dir / "disc.iso";
    std::vector<ProtectedFile> files;
    std::vector<std::string> contents;
};

TEST_F(RepairCliTest, BadSectorsComeBackFromTheRecoveryData)
{
    std::vector<uint64_t> bad;
    for (uint64_t b = 3; b < 1221; b += 17) // about 6 % of the archive
        bad.push_back(b);
    for (uint64_t b = 600; b < 615; ++b) // and a run of 15 sectors
        bad.push_back(b);
    spoil("2026121000001rn.zip", bad);
    spoil("STATUS.INI", {0});

    ASSERT_EQ(cli("repair --from " + test::shellQuoted(image) + " " + Disc + " --to " + test::shellQuoted(dir / "out")),
              0)
        << output();
    EXPECT_NE(output().find("Disc " + Disc + ": 88 blocks lost, 88 of them rebuilt;"), std::string::npos) << output();
    EXPECT_NE(output().find("4 of 4 files rebuilt in " + (dir / "out")), std::string::npos) << output();
    for (std::size_t f = 0; f < files.size(); ++f)
        EXPECT_TRUE(restored(files[f].name) == contents[f]) << files[f].name;
}

TEST_F(RepairCliTest, FilesBeyondRepairAreNamedWithExitCodeThree)
{
    std::vector<uint64_t> bad;
    for (uint64_t b = 0; b < 600; ++b)
        bad.push_back(b);
    spoil("2026121000001rn.zip", bad);
    // A file not rebuilt never takes the place of one there, nor does an image.
    dir.write("out/2026121000001rn.zip", "as it was");
    EXPECT_EQ(cli("repair --from " + test::shellQuoted(image) + " " + Disc + " --to " + test::shellQuoted(dir / "out")),
              3)
        << output();
    EXPECT_EQ(errors(), "Not rebuilt: 2026121000001rn.zip\n");
    EXPECT_TRUE(restored("STATUS.INI") == contents[2]);
    EXPECT_TRUE(restored("2026121000001rn.zip") == "as it was");
    std::size_t written = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "out"))
        written += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(written, files.size()); // and no temporary file left beside them
    dir.write("again.iso", "as it was");
    EXPECT_EQ(cli("repair --from " + test::shellQuoted(image) + " " + Disc + " --image "
                  + test::shellQuoted(dir / "again.iso")),
              3)
        << output();
    EXPECT_TRUE(dir.read("again.iso") == "as it was");
    EXPECT_FALSE(std::filesystem::exists(dir / "again.iso.part"));

    // A disc without recovery data has nothing to repair from.
    EXPECT_EQ(cli("repair --from " + test::shellQuoted(image) + " 20261210009 --to " + test::shellQuoted(dir / "out2")),
              2);
    EXPECT_EQ(errors(), "There is no disc 20261210009 in " + image + ".\n");
}

// Recovery data that names files outside the disc's folder, or claims more than its bytes
// carry, is refused whole: nothing is rebuilt, and nothing is written outside the folder the
// repair was given. The header's copies are made again around the parity as it was, their
// CRCs right, as a disc made to do harm would carry them.
TEST_F(RepairCliTest, HostileRecoveryDataIsRefusedAndNothingIsWrittenOutside)
{
    const std::string staged = "staged/" + Disc + "/" + RecoveryFileName;
    const std::string sound = dir.read(staged);
    const RecoveryFileRead read = [&](uint64_t offset, std::size_t length, uint8_t* out) {
        if (offset + length > sound.size())
            return false;
        std::memcpy(out, sound.data() + offset, length);
        return true;
    };
    const auto header = readRecoveryHeader(read, sound.size());
    ASSERT_TRUE(header);
    const uint64_t length = headerBytes(header->files, header->dataBlocks(), header->parityBlocks());
    const auto renamed = [&](std::size_t file, const std::string& name) {
        RecoveryHeader hostile = *header;
        hostile.files[file].name = name;
        const std::vector<uint8_t> bytes = serializeHeader(hostile);
        const std::string copy(bytes.begin(), bytes.end());
        return copy + sound.substr(length, sound.size() - 2 * length) + copy;
    };
    struct Case {
        const char* what;
        std::string recovery;
    };
    const std::vector<Case> cases{
        {"an absolute name", renamed(0, dir / "victim")},
        {"a name that climbs out", renamed(0, "../victim")},
        {"a name that climbs out of a folder", renamed(3, "index/../../victim")},
        {"a backslash", renamed(0, "..\\victim")},
        {"a NUL, which would cut the name short", renamed(0, "2026121000001rn.csv" + std::string(1, '\0') + ".zip")},
        {"an empty part", renamed(3, "index//Catalogs.zip")},
        {"a name twice", renamed(1, files[0].name)},
        {"2^62 data blocks", test::wrappingRecoveryHeader()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.write("victim", "untouched");
        dir.write(staged, c.recovery);
        makeImage();
        EXPECT_EQ(
            cli("repair --from " + test::shellQuoted(image) + " " + Disc + " --to " + test::shellQuoted(dir / "out")),
            2)
            << output();
        EXPECT_EQ(errors(), "The recovery data of disc " + Disc + " cannot be read.\n");
        EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
        // Its STATUS.INI is no INI file, and its recovery data no help: it cannot be checked.
        EXPECT_EQ(cli("verify --from " + test::shellQuoted(image) + " " + Disc), 2) << output();
        EXPECT_TRUE(dir.read("victim") == "untouched");
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_TRUE((std::set<std::string>{"data", "staged", "disc.iso", "victim", "out", "home", "cli.out", "cli.err"})
                        .contains(entry.path().filename().string()))
            << entry.path();
}

// A backup's discs carry recovery data: sectors of an archive lost on the image come back
// byte for byte; a run told --recovery 0 writes none.
class RepairAfterBackupTest : public test::CliFixture {};

TEST_F(RepairAfterBackupTest, ABackedUpDiscWithBadSectorsIsRepairedWhole)
{
    dir.write("data/photo.raw", std::string(3'000'000, 'p') + "end");
    std::mt19937 random(8);
    std::string noise(2'000'000, '\0');
    for (auto& c : noise)
        c = static_cast<char>(random());
    dir.write("data/noise.bin", noise);
    ASSERT_EQ(cli("backup --select " + test::shellQuoted(dir / "data") + " --no-verify"), 0) << output();
    std::string image;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "discs"))
        image = entry.path().string(); // the one disc of the run
    auto reader = makeIsoFileReader(image);
    std::string disc;
    for (const auto& entry : reader->list(""))
        disc = entry.name;
    ASSERT_TRUE(reader->exists(disc + "/" + RecoveryFileName));
    std::string archive;
    for (const auto& entry : reader->list(disc))
        if (entry.name.size() > 4 && entry.name.substr(entry.name.size() - 4) == ".zip")
            archive = entry.name;
    const auto extent = reader->locate(disc + "/" + archive);
    ASSERT_TRUE(extent);
    std::string original(extent->length, '\0');
    {
        std::fstream iso(image, std::ios::binary | std::ios::in | std::ios::out);
        iso.seekg(static_cast<std::streamoff>(extent->offset));
        iso.read(original.data(), static_cast<std::streamsize>(original.size()));
        const std::string zeros(20 * RecoveryBlockSize, '\0'); // 20 sectors in one run
        iso.seekp(static_cast<std::streamoff>(extent->offset + 100 * RecoveryBlockSize));
        iso.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    }
    ASSERT_EQ(cli("repair --from " + test::shellQuoted(image) + " " + disc + " --to " + test::shellQuoted(dir / "out")), 0)
        << output();
    EXPECT_TRUE(dir.read("out/" + archive) == original);

    dir.write("data/more.txt", "more");
    ASSERT_EQ(cli("backup --select " + test::shellQuoted(dir / "data") + " --no-verify --recovery 0"), 0) << output();
    std::vector<std::string> images;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "discs"))
        images.push_back(entry.path().string());
    std::sort(images.begin(), images.end());
    auto newest = makeIsoFileReader(images.back());
    std::string newestDisc;
    for (const auto& entry : newest->list(""))
        newestDisc = entry.name;
    EXPECT_FALSE(newest->exists(newestDisc + "/" + RecoveryFileName));
    EXPECT_EQ(cli("backup --recovery 51"), 2);
}

} // namespace
} // namespace torvinel
