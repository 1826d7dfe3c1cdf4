// torvinel-cli verify as a user runs it on the image drive's discs: a sound disc, a flipped
// byte in an archive's compressed data, sectors of an image zeroed, the order of --next, the
// record DiscHealth.csv and the last checks "discs" shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "CliFixture.h"
#include "E2eSupport.h"
#include "discwright/DiscReader.h"
#include "platform/Platform.h"
#include "recovery/RecoveryData.h"

namespace torvinel {
namespace {

namespace fs = std::filesystem;

using test::incompressible;
using test::shellQuoted;

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string compressibleText(std::size_t size, unsigned seed)
{
    std::string text;
    unsigned x = seed;
    while (text.size() < size) {
        x = x * 1103515245u + 12345u;
        text += "line " + std::to_string(x % 1000) + " of a document\n";
    }
    text.resize(size);
    return text;
}

uint32_t little(const std::string& bytes, std::size_t at, int size)
{
    uint32_t value = 0;
    for (int i = size; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

class VerifyCliTest : public test::CliFixture {
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        put("docs/a.txt", compressibleText(200000, 1));
        put("docs/b.txt", compressibleText(100000, 2));
        for (int i = 0; i < 40; ++i)
            put("many/" + std::to_string(100 + i) + ".bin", incompressible(50000, static_cast<uint32_t>(i)));
        put("media/big.bin", incompressible(20000000, 9)); // split, over two discs
        ASSERT_EQ(cli("backup --select " + shellQuoted(dir / "data") + " --no-verify"), 0) << output();
        for (const auto& entry : fs::directory_iterator(dir / "discs"))
            discs.push_back(entry.path().filename().string().substr(0, 11));
        std::sort(discs.begin(), discs.end());
        ASSERT_EQ(discs.size(), 2u);
    }
    void put(const std::string& relative, const std::string& bytes) { dir.write("data/" + relative, bytes); }
    std::string image(const std::string& disc) const { return dir / ("discs/" + disc + ".iso"); }
    std::string path(const std::string& relative) const { return dir / ("data/" + relative); }

    // The files of a disc's folder: what a sound verification counts.
    std::size_t filesOf(const std::string& disc) const
    {
        std::size_t files = 0;
        for (const auto& entry : makeIsoFileReader(image(disc))->list(disc))
            files += !entry.isFolder && entry.name != "STATUS.INI" && entry.name != "status.ini";
        return files;
    }
    // The ordinary archive of the disc that holds the most bytes, and where it lies in the image.
    std::pair<std::string, DiscReader::Extent> largestArchive(const std::string& disc) const
    {
        const auto reader = makeIsoFileReader(image(disc));
        std::pair<std::string, DiscReader::Extent> largest;
        for (const auto& entry : reader->list(disc)) {
            if (entry.name.size() != 19 || !entry.name.ends_with(".zip"))
                continue;
            const auto extent = reader->locate(disc + "/" + entry.name);
            if (extent && extent->length > largest.second.length)
                largest = {entry.name, *extent};
        }
        return largest;
    }
    // The first line of the report on a damaged disc that carries recovery data, lost of its
    // blocks lost and all of them recoverable.
    std::string recoverableLine(const std::string& disc, uint64_t lost) const
    {
        const auto extent = makeIsoFileReader(image(disc))->locate(disc + "/" + RecoveryFileName);
        EXPECT_TRUE(extent);
        if (!extent)
            return {};
        std::ifstream in(image(disc), std::ios::binary);
        const auto header = readRecoveryHeader(
            [&](uint64_t offset, std::size_t length, uint8_t* out) {
                in.seekg(static_cast<std::streamoff>(extent->offset + offset));
                return static_cast<bool>(in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(length)));
            },
            extent->length);
        EXPECT_TRUE(header);
        if (!header)
            return {};
        // The blocks of the data, of the parity and of the header's two copies.
        const uint64_t blocks = header->dataBlocks() + header->parityBlocks()
            + 2 * headerBytes(header->files, header->dataBlocks(), header->parityBlocks()) / RecoveryBlockSize;
        return "Disc " + disc + ": damaged, recoverable (" + std::to_string(lost) + " of " + std::to_string(blocks)
            + " blocks lost; repair with torvinel-cli repair " + disc + ").";
    }
    std::string healthLines() const { return dir.read("home/.local/share/Torvinel/DiscHealth.csv"); }

    std::vector<std::string> discs;
};

TEST_F(VerifyCliTest, ASoundDiscSaysSoAndSplitPartsOnOtherDiscsAreNamed)
{
    ASSERT_EQ(cli("verify " + discs[0]), 0) << output();
    const std::vector<std::string> lines = linesOf(output());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Disc " + discs[0] + ": all " + std::to_string(filesOf(discs[0])) + " files are sound.");
    // The big file's first volumes are here; its entry ends on the next disc.
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
              (std::vector<std::string>{"Not checked here, as they continue on another disc:",
                                        "  " + path("media/big.bin")}));

    // An image alone, named by its file: the one disc in it.
    ASSERT_EQ(cli("verify --from " + shellQuoted(image(discs[1]))), 0) << output();
    EXPECT_EQ(linesOf(output()).at(0),
              "Disc " + discs[1] + ": all " + std::to_string(filesOf(discs[1])) + " files are sound.");
    EXPECT_NE(output().find("  " + path("media/big.bin")), std::string::npos) << output();

    const std::regex record("(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d),(\\d{11}),sound,\r");
    const std::vector<std::string> recorded = linesOf(healthLines());
    ASSERT_EQ(recorded.size(), 2u) << healthLines();
    std::smatch match;
    ASSERT_TRUE(std::regex_match(recorded[0], match, record)) << recorded[0];
    EXPECT_EQ(match[2], discs[0]);
    ASSERT_TRUE(std::regex_match(recorded[1], match, record)) << recorded[1];
    EXPECT_EQ(match[2], discs[1]);
}

TEST_F(VerifyCliTest, AFlippedByteInCompressedDataNamesItsArchiveAndFile)
{
    const auto [archive, extent] = largestArchive(discs[0]);
    ASSERT_FALSE(archive.empty());
    std::fstream iso(image(discs[0]), std::ios::in | std::ios::out | std::ios::binary);
    std::string bytes(extent.length, '\0');
    iso.seekg(static_cast<std::streamoff>(extent.offset));
    iso.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    // Walks the local headers to a.txt's deflated data.
    std::size_t at = 0;
    std::string name;
    while (at + 30 <= bytes.size() && little(bytes, at, 4) == 0x04034b50) {
        name = bytes.substr(at + 30, little(bytes, at + 26, 2));
        const std::size_t data = at + 30 + little(bytes, at + 26, 2) + little(bytes, at + 28, 2);
        if (name.ends_with("docs/a.txt")) {
            ASSERT_EQ(little(bytes, at + 8, 2), 8u) << "deflated";
            at = data + little(bytes, at + 18, 4) / 2;
            break;
        }
        at = data + little(bytes, at + 18, 4);
    }
    ASSERT_TRUE(name.ends_with("docs/a.txt")) << archive;
    iso.seekp(static_cast<std::streamoff>(extent.offset + at));
    iso.put(static_cast<char>(bytes[at] ^ 0x10));
    iso.close();

    ASSERT_EQ(cli("verify " + discs[0]), 3) << output();
    const std::vector<std::string> lines = linesOf(output());
    ASSERT_GE(lines.size(), 3u) << output();
    EXPECT_EQ(lines[0], recoverableLine(discs[0], 1));
    EXPECT_EQ(lines[1],
              archive
                  + ": its data differs from its MD5 in STATUS.INI; entries fail their CRC check; "
                    "files of its catalog do not come out of it as their lines say");
    EXPECT_EQ(lines[2], "  " + path("docs/a.txt"));
    EXPECT_EQ(lines[3], "Not checked here, as they continue on another disc:");
    EXPECT_TRUE(std::regex_search(healthLines(), std::regex("," + discs[0] + ",damaged," + archive + "\r\n$")))
        << healthLines();
}

TEST_F(VerifyCliTest, ZeroedSectorsInAnImageLeaveTheRestChecked)
{
    const auto [archive, extent] = largestArchive(discs[0]);
    ASSERT_GT(extent.length, 1000000u) << archive; // the archive of the 40 files
    {
        std::fstream iso(image(discs[0]), std::ios::in | std::ios::out | std::ios::binary);
        iso.seekp(static_cast<std::streamoff>(extent.offset + extent.length / 2 / 2048 * 2048));
        const std::string zeros(4096, '\0');
        iso.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    }
    ASSERT_EQ(cli("verify --from " + shellQuoted(dir / "discs") + " " + discs[0]), 3) << output();
    const std::vector<std::string> lines = linesOf(output());
    ASSERT_GE(lines.size(), 3u) << output();
    EXPECT_EQ(lines[0], recoverableLine(discs[0], 2)); // the two sectors zeroed
    EXPECT_TRUE(lines[1].starts_with(archive + ": its data differs from its MD5 in STATUS.INI")) << lines[1];
    // 4 KiB reach into one or two of the 40 files; every other file of the archive was read
    // and found sound, and so was every other file of the disc.
    std::vector<std::string> affected;
    for (std::size_t i = 2; i < lines.size() && lines[i].starts_with("  "); ++i)
        affected.push_back(lines[i].substr(2));
    ASSERT_GE(affected.size(), 1u) << output();
    EXPECT_LE(affected.size(), 2u) << output();
    for (const std::string& file : affected)
        EXPECT_TRUE(file.starts_with(path("many/"))) << file;
    EXPECT_EQ(lines[2 + affected.size()], "Not checked here, as they continue on another disc:");
}

TEST_F(VerifyCliTest, ADamagedPartOfASplitNamesTheFileItLoses)
{
    // The next disc holds only the big file's last volume: its entry cannot be tested
    // there, but its bytes are checked against STATUS.INI.
    const auto [archive, extent] = largestArchive(discs[1]);
    ASSERT_GT(extent.length, 1000000u) << archive;
    {
        std::fstream iso(image(discs[1]), std::ios::in | std::ios::out | std::ios::binary);
        iso.seekp(static_cast<std::streamoff>(extent.offset + extent.length / 2 / 2048 * 2048 + 100));
        iso.put('\x5a');
        iso.put('\xa5');
    }
    ASSERT_EQ(cli("verify " + discs[1]), 3) << output();
    EXPECT_EQ(linesOf(output()),
              (std::vector<std::string>{
                  recoverableLine(discs[1], 1),
                  archive + ": its data differs from its MD5 in STATUS.INI",
                  "  " + path("media/big.bin"),
                  "Not checked here, as they continue on another disc:",
                  "  " + path("media/big.bin"),
              }));
}

// A folder of disc images other than the image drive's (a shelf moved or copied) is read as a
// restore reads it: verify finds its discs there, and add-disc --all rebuilds the database
// from the newest of them.
TEST_F(VerifyCliTest, AFolderOfImagesIsReadAsARestoreReadsIt)
{
    fs::copy(dir / "discs", dir / "shelf");
    ASSERT_EQ(cli("verify --from " + shellQuoted(dir / "shelf") + " " + discs[0]), 0) << output();
    EXPECT_EQ(linesOf(output()).at(0),
              "Disc " + discs[0] + ": all " + std::to_string(filesOf(discs[0])) + " files are sound.");
    EXPECT_EQ(cli("verify --from " + shellQuoted(dir / "shelf")), 2);
    EXPECT_EQ(errors(), dir / "shelf" + " holds 2 discs: name the one to verify.\n");

    fs::remove_all(appFolder + "/Database");
    ASSERT_EQ(cli("add-disc --all " + shellQuoted(dir / "shelf")), 0) << output();
    ASSERT_EQ(cli("discs"), 0) << output();
    const std::vector<std::string> lines = linesOf(output());
    ASSERT_EQ(lines.size(), 2u) << output();
    EXPECT_TRUE(lines[0].starts_with(discs[0])) << lines[0];
    EXPECT_TRUE(lines[1].starts_with(discs[1])) << lines[1];
}

TEST_F(VerifyCliTest, NextAndDiscsFollowTheRecordedChecks)
{
    ASSERT_EQ(cli("verify --next"), 0) << output();
    EXPECT_EQ(output(), discs[0] + "\n"); // never checked, oldest first
    ASSERT_EQ(cli("verify " + discs[1]), 0) << output();
    ASSERT_EQ(cli("verify --next"), 0) << output();
    EXPECT_EQ(output(), discs[0] + "\n");
    ASSERT_EQ(cli("verify " + discs[0]), 0) << output();
    ASSERT_EQ(cli("verify --next"), 0) << output();
    EXPECT_EQ(output(), discs[1] + "\n"); // checked longest ago
    EXPECT_FALSE(fs::exists(appFolder + "/Database/DiscHealth.csv"));

    // A disc the drive lacks is no check; a disc whose folder has no STATUS.INI is unreadable.
    EXPECT_EQ(cli("verify 20991231001"), 2);
    EXPECT_EQ(errors(), "There is no disc 20991231001 in " + dir / "discs" + ".\n");
    EXPECT_EQ(cli("verify"), 2); // the shelf holds two discs
    EXPECT_EQ(errors(), dir / "discs" + " holds 2 discs: name the one to verify.\n");
    dir.write("bare/" + discs[1] + "/" + discs[1].substr(0, 8) + "00001dd.csv", "");
    EXPECT_EQ(cli("verify --from " + shellQuoted(dir / "bare")), 2);
    EXPECT_EQ(errors(),
              "Disc " + discs[1] + " in " + dir / "bare" + " has no STATUS.INI, or its folder cannot be read.\n");
    ASSERT_EQ(linesOf(healthLines()).size(), 3u) << healthLines();
    EXPECT_TRUE(std::regex_search(healthLines(), std::regex("," + discs[1] + ",unreadable,\r\n$"))) << healthLines();

    ASSERT_EQ(cli("discs"), 0) << output();
    const std::vector<std::string> lines = linesOf(output());
    ASSERT_EQ(lines.size(), 2u) << output();
    const std::regex checked(" {2}checked \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d (sound|unreadable)");
    EXPECT_TRUE(lines[0].starts_with(discs[0]) && std::regex_match(lines[0].substr(11), checked)) << lines[0];
    EXPECT_TRUE(lines[1].starts_with(discs[1]) && lines[1].ends_with(" unreadable")) << lines[1];
}

} // namespace
} // namespace torvinel
