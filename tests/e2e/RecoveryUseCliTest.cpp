// A backed-up disc whose image lost sectors, as verify, repair and restore meet it: within what
// its recovery data rebuilds, beyond it, and a disc that carries none.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <map>

#include "CliFixture.h"
#include "E2eSupport.h"
#include "discwright/DiscReader.h"
#include "platform/Platform.h"
#include "recovery/RecoveryFile.h"

namespace torvinel {
namespace {

namespace fs = std::filesystem;

using test::incompressible;
using test::shellQuoted;

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

class RecoveryUseCliTest : public test::CliFixture {
protected:
    // One disc of a few archives' worth: small files, one larger, some text.
    void backUp(const std::string& options = "")
    {
        for (int i = 0; i < 12; ++i)
            put("photos/" + std::to_string(100 + i) + ".jpg",
                incompressible(60000 + 977 * i, static_cast<uint32_t>(i)));
        put("photos/large.raw", incompressible(900000, 99));
        std::string text;
        for (int i = 0; text.size() < 300000; ++i)
            text += "entry " + std::to_string(i * 7919 % 1000) + " of the journal\n";
        put("notes/journal.txt", text);
        ASSERT_EQ(cli("backup --select " + shellQuoted(dir / "data") + " --no-verify " + options), 0) << output();
        for (const auto& entry : fs::directory_iterator(dir / "discs"))
            image = entry.path().string();
        disc = fs::path(image).stem().string();
        fs::copy_file(image, dir / "original.iso");
    }
    void put(const std::string& relative, const std::string& bytes)
    {
        dir.write("data/" + relative, bytes);
        files[relative] = bytes;
    }
    // Every file of the disc's folder (index/ included) with where its data lies in the image.
    std::map<std::string, DiscReader::Extent> extents() const
    {
        const auto reader = makeIsoFileReader(image);
        std::map<std::string, DiscReader::Extent> found;
        for (const std::string& folder : {disc, disc + "/index"})
            for (const auto& entry : reader->list(folder))
                if (!entry.isFolder)
                    found[folder.substr(disc.size()) + "/" + entry.name] = *reader->locate(folder + "/" + entry.name);
        return found;
    }
    // The largest archive of the disc: its name and extent.
    std::pair<std::string, DiscReader::Extent> largestArchive() const
    {
        std::pair<std::string, DiscReader::Extent> largest;
        for (const auto& [name, extent] : extents())
            if (name.ends_with(".zip") && name.find("index") == std::string::npos
                && extent.length > largest.second.length)
                largest = {name.substr(1), extent};
        return largest;
    }
    // Overwrites the given sectors of the image (2048-byte blocks from its start) with garbage.
    void spoil(const std::set<uint64_t>& sectors)
    {
        std::fstream iso(image, std::ios::binary | std::ios::in | std::ios::out);
        const std::string garbage(2048, '\xee');
        for (const uint64_t sector : sectors) {
            iso.seekp(static_cast<std::streamoff>(sector * 2048));
            iso.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
        }
        ASSERT_TRUE(iso.good());
    }
    // A share of the sectors that hold the disc's files, at random (not the directory records,
    // which the recovery data does not cover, nor its header's two copies), plus a run of
    // consecutive sectors of the largest archive from its sector runStart on.
    std::set<uint64_t> damage(double share, uint64_t run, uint64_t runStart)
    {
        std::vector<uint64_t> sectors;
        for (const auto& [name, extent] : extents()) {
            uint64_t first = extent.offset / 2048;
            uint64_t end = (extent.offset + extent.length + 2047) / 2048;
            if (name == std::string("/") + RecoveryFileName) {
                first += 8;
                end -= 8;
            }
            for (uint64_t s = first; s < end; ++s)
                sectors.push_back(s);
        }
        std::mt19937 random(11);
        std::shuffle(sectors.begin(), sectors.end(), random);
        std::set<uint64_t> bad(sectors.begin(), sectors.begin() + static_cast<std::ptrdiff_t>(sectors.size() * share));
        const uint64_t start = largestArchive().second.offset / 2048 + runStart;
        for (uint64_t s = start; s < start + run; ++s)
            bad.insert(s);
        return bad;
    }
    uint64_t imageSectors() const { return fs::file_size(image) / 2048; }
    // Restores the whole data folder from the image into a new folder of dir/restored; the exit
    // code, and per file of dir/data whether it came back as it was.
    std::pair<int, std::map<std::string, bool>> restore()
    {
        const int code = cli("restore --from " + shellQuoted(image) + " --to " + shellQuoted(dir / "restored") + " "
                             + shellQuoted(dir / "data/"));
        const std::string folder = lastLine() + "/r" + (dir / "data").substr(platform::drivePrefixLength() - 1) + "/";
        std::map<std::string, bool> whole;
        for (const auto& [relative, bytes] : files)
            whole[relative] = contentOf(folder + relative) == bytes;
        return {code, whole};
    }
    static std::string contentOf(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string log() const { return dir.read("home/.local/share/Torvinel/LogFile.txt"); }

    std::map<std::string, std::string> files; // of dir/data
    std::string image;
    std::string disc;
};

TEST_F(RecoveryUseCliTest, ADiscWithinItsRecoveryDataIsToldRecoverableRepairedAndRestoredWhole)
{
    backUp();
    const std::string archive = largestArchive().first;
    spoil(damage(0.05, imageSectors() / 100, 10));

    ASSERT_EQ(cli("verify --from " + shellQuoted(image)), 3) << output();
    EXPECT_TRUE(firstLine(output()).starts_with("Disc " + disc + ": damaged, recoverable (")) << output();
    EXPECT_TRUE(firstLine(output()).ends_with(" blocks lost; repair with torvinel-cli repair " + disc + ")."))
        << output();
    EXPECT_NE(output().find("\n" + archive + ": its data differs"), std::string::npos) << output();

    // Every file of the disc comes back as it was written, and so does the disc as an image.
    ASSERT_EQ(cli("repair --from " + shellQuoted(image) + " " + disc + " --to " + shellQuoted(dir / "repaired")), 0)
        << output();
    ASSERT_EQ(cli("repair --from " + shellQuoted(image) + " " + disc + " --image " + shellQuoted(dir / "again.iso")), 0)
        << output();
    const auto original = makeIsoFileReader(dir / "original.iso");
    const auto again = makeIsoFileReader(dir / "again.iso");
    // The files lie in the order the disc had them (the index and STATUS.INI first).
    std::vector<std::pair<uint64_t, std::string>> order, originalOrder;
    for (const auto& [name, extent] : extents()) {
        ASSERT_TRUE(original->copy(disc + name, dir / "written")) << name;
        ASSERT_TRUE(again->copy(disc + name, dir / "again")) << name;
        const std::string written = dir.read("written");
        EXPECT_TRUE(dir.read("again") == written) << name;
        if (name != std::string("/") + RecoveryFileName) {
            EXPECT_TRUE(dir.read("repaired" + name) == written) << name;
        }
        order.emplace_back(again->locate(disc + name)->offset, name);
        originalOrder.emplace_back(original->locate(disc + name)->offset, name);
    }
    std::sort(order.begin(), order.end());
    std::sort(originalOrder.begin(), originalOrder.end());
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(order[i].second, originalOrder[i].second) << i;
    EXPECT_EQ(again->list("").size(), 1u);
    EXPECT_EQ(cli("verify --from " + shellQuoted(dir / "again.iso")), 0) << output();

    // The restore rebuilds what the disc gives wrong, from the disc in the drive: no other disc
    // is asked for (a question unanswered would cancel the run).
    const auto [code, whole] = restore();
    EXPECT_EQ(code, 0) << output();
    for (const auto& [relative, same] : whole)
        EXPECT_TRUE(same) << relative;
    EXPECT_NE(log().find("Rebuilt " + disc + "/" + archive + " from the disc's recovery data"), std::string::npos);
}

TEST_F(RecoveryUseCliTest, BeyondItsRecoveryDataTheLostFilesAreNamedAndTheRestRestored)
{
    backUp();
    const auto [archive, extent] = largestArchive();
    // A third of the archive in one run: each codeword of its stripe loses far more than its
    // parity, but only the files whose data lay there are lost.
    const uint64_t sectors = extent.length / 2048;
    spoil(damage(0, sectors / 3, sectors / 3));

    ASSERT_EQ(cli("verify --from " + shellQuoted(image)), 3) << output();
    EXPECT_TRUE(firstLine(output()).starts_with("Disc " + disc + ": damaged, not recoverable (")) << output();
    EXPECT_TRUE(firstLine(output()).ends_with(" codewords beyond repair).")) << output();

    EXPECT_EQ(cli("repair --from " + shellQuoted(image) + " " + disc + " --to " + shellQuoted(dir / "repaired")), 3)
        << output();
    EXPECT_EQ(errors(), "Not rebuilt: " + archive + "\n");
    EXPECT_EQ(cli("repair --from " + shellQuoted(image) + " " + disc + " --image " + shellQuoted(dir / "again.iso")), 3)
        << output();
    EXPECT_FALSE(fs::exists(dir / "again.iso"));

    const auto [code, whole] = restore();
    EXPECT_EQ(code, 3) << output();
    std::size_t lost = 0;
    for (const auto& [relative, same] : whole) {
        EXPECT_EQ(!same, errors().find("Not restored: " + dir / ("data/" + relative) + ": ") != std::string::npos)
            << relative << "\n"
            << errors();
        lost += same ? 0 : 1;
    }
    EXPECT_GE(lost, 1u);
    EXPECT_LT(lost, whole.size());
}

// The recovery data is checked as the rest of the disc: parity lost tells of a disc decaying,
// a header copy lost leaves the disc with one, and recovery data whose header cannot be read
// protects nothing. It also tells of damage to the files only it covers, and stands in for a
// STATUS.INI lost: every such disc is damaged, never sound nor unreadable.
TEST_F(RecoveryUseCliTest, DamagedRecoveryDataIsReportedThoughEveryFileIsSound)
{
    backUp();
    const DiscReader::Extent extent = extents().at(std::string("/") + RecoveryFileName);
    const uint64_t first = extent.offset / 2048;
    const uint64_t last = (extent.offset + extent.length - 1) / 2048;
    std::string lengthField(8, '\0'); // the header copy's length, at the file's end
    {
        std::ifstream iso(image, std::ios::binary);
        iso.seekg(static_cast<std::streamoff>(extent.offset + extent.length - 8));
        iso.read(lengthField.data(), 8);
    }
    uint64_t headerSectors = 0;
    for (int i = 8; i-- > 0;)
        headerSectors = headerSectors << 8 | static_cast<unsigned char>(lengthField[static_cast<std::size_t>(i)]);
    headerSectors /= 2048;
    std::set<uint64_t> firstCopy;
    for (uint64_t s = first; s < first + headerSectors; ++s)
        firstCopy.insert(s);
    const std::string recoverable = "Disc " + disc + ": damaged, recoverable (";
    const std::string recovery = RecoveryFileName;

    struct Case {
        const char* what;
        std::set<uint64_t> sectors;
        std::string firstLine; // its beginning
        std::string line;
    };
    const std::vector<Case> cases{
        {"a parity block",
         {(first + last) / 2},
         recoverable + "1 of ",
         recovery + ": 1 of its parity blocks are damaged"},
        {"the first copy of the header", firstCopy, recoverable + std::to_string(headerSectors) + " of ",
         recovery + ": " + std::to_string(headerSectors) + " of its metadata blocks are damaged"},
        {"both copies of the header",
         {first, last},
         "Disc " + disc + ": 1 of ",
         recovery + ": its header cannot be read"},
        // The index is not in STATUS.INI: its blocks' CRCs tell.
        {"the index",
         {extents().at("/index/Catalogs.zip").offset / 2048},
         recoverable + "1 of ",
         "index/Catalogs.zip: its data differs from what the disc's recovery data records"},
        {"STATUS.INI",
         {extents().at("/status.ini").offset / 2048},
         recoverable + "1 of ",
         "status.ini: its data differs from what the disc's recovery data records"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::copy_file(dir / "original.iso", image, fs::copy_options::overwrite_existing);
        spoil(c.sectors);
        ASSERT_EQ(cli("verify --from " + shellQuoted(image)), 3) << output();
        EXPECT_TRUE(firstLine(output()).starts_with(c.firstLine)) << output();
        EXPECT_NE(output().find("\n" + c.line + "\n"), std::string::npos) << output();
        ASSERT_EQ(cli("discs"), 0) << output();
        EXPECT_TRUE(output().ends_with(" damaged\n")) << output();
    }

    fs::copy_file(dir / "original.iso", image, fs::copy_options::overwrite_existing);
    ASSERT_EQ(cli("verify --from " + shellQuoted(image)), 0) << output();
}

TEST_F(RecoveryUseCliTest, ADiscWithoutRecoveryDataIsVerifiedAndRestoredAsBefore)
{
    backUp("--recovery 0");
    const auto [archive, extent] = largestArchive();
    spoil({extent.offset / 2048 + extent.length / 2048 / 2});

    ASSERT_EQ(cli("verify --from " + shellQuoted(image)), 3) << output();
    EXPECT_TRUE(firstLine(output()).starts_with("Disc " + disc + ": 1 of ")) << output();
    EXPECT_TRUE(firstLine(output()).ends_with(" files are damaged.")) << output();

    const auto [code, whole] = restore();
    EXPECT_EQ(code, 3) << output();
    EXPECT_EQ(std::count_if(whole.begin(), whole.end(), [](const auto& file) { return !file.second; }), 1);
    EXPECT_EQ(log().find("Rebuilt "), std::string::npos);
}

// A file split over two discs is read once its last volume is in, from whichever disc comes
// last: a volume damaged on the disc read before is rebuilt while that disc is in the drive.
TEST_F(RecoveryUseCliTest, SplitVolumesDamagedOnBothDiscsAreRebuiltWhileEachIsThere)
{
    put("media/big.bin", incompressible(20000000, 5));
    put("small.txt", "small\n");
    ASSERT_EQ(cli("backup --select " + shellQuoted(dir / "data") + " --no-verify"), 0) << output();
    std::vector<std::string> discs;
    for (const auto& entry : fs::directory_iterator(dir / "discs"))
        discs.push_back(fs::path(entry.path()).stem().string());
    std::sort(discs.begin(), discs.end());
    ASSERT_EQ(discs.size(), 2u);
    std::vector<std::string> rebuilt; // "<DiscId>/<volume>"
    for (const std::string& onShelf : discs) {
        image = dir / ("discs/" + onShelf + ".iso");
        disc = onShelf;
        for (const auto& [name, extent] : extents())
            if (name.ends_with(".zip") && name.find("index") == std::string::npos && extent.length > 1000000) {
                spoil({extent.offset / 2048 + extent.length / 2048 / 2});
                rebuilt.push_back(disc + name);
            }
    }
    ASSERT_GE(rebuilt.size(), 2u);
    ASSERT_NE(rebuilt.front().substr(0, 11), rebuilt.back().substr(0, 11)); // volumes on both discs

    EXPECT_EQ(cli("restore --from " + shellQuoted(dir / "discs") + " --to " + shellQuoted(dir / "restored") + " "
                  + shellQuoted(dir / "data/")),
              0)
        << output();
    const std::string folder = lastLine() + "/r" + (dir / "data").substr(platform::drivePrefixLength() - 1) + "/";
    EXPECT_TRUE(contentOf(folder + "media/big.bin") == files["media/big.bin"]);
    for (const std::string& volume : rebuilt)
        EXPECT_NE(log().find("Rebuilt " + volume + " from the disc's recovery data"), std::string::npos) << volume;
}

} // namespace
} // namespace torvinel
