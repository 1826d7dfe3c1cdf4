// Damaged and hostile archives: clear errors, no crash, nothing written outside BaseDir.
#include <algorithm>

#include "ArchiveTestSupport.h"

namespace torvinel::archivetest {
namespace {

class HostileTest : public ArchiveTest {
protected:
    // An archive of the given entries (stored when the name says ".zip", else deflated).
    std::string makeArchive(const std::vector<std::pair<std::string, std::string>>& files,
                            const std::string& name = "a.zip")
    {
        for (const auto& [entry, content] : files)
            writeFile(path("src/" + entry), content);
        ZipArchive zip;
        zip.fileName = path(name);
        zip.open(ZipOpenMode::Create);
        zip.baseDir = path("src");
        for (const auto& [entry, content] : files)
            zip.addFiles(entry, ZipAllAttributes, "");
        zip.close();
        return readFile(path(name));
    }
    static void replaceAll(std::string& bytes, const std::string& from, const std::string& to)
    {
        ASSERT_EQ(from.size(), to.size());
        for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at))
            bytes.replace(at, from.size(), to);
    }
    // Opens and extracts everything; returns the message of the first failure, or "".
    std::string openAndExtract(const std::string& archive, FailureLog* log = nullptr)
    {
        ZipArchive zip;
        zip.fileName = archive;
        zip.baseDir = path("out");
        if (log)
            log->attach(zip);
        try {
            zip.open();
            zip.extractFiles("*.*", ZipAllAttributes, "");
            zip.close();
        } catch (const Error& e) {
            return e.what();
        }
        return "";
    }
};

TEST_F(HostileTest, EntriesThatClimbOutOfBaseDirAreRefused)
{
    const std::string outside = path("outside.txt");
    // Each hostile name replaces a harmless name of the same length in a real archive.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"QQ/QQ/outside.txt", "../../outside.txt"},
        {"a/QQ/QQ/outside.txt", "a/../../outside.txt"},
        {std::string(outside.size(), 'Q'), outside},                      // absolute
        {"QQ/outside.txt", "C:/outside.txt"},                             // drive letter
        {"QQQQQ/outside.txt", "//srv/outside.txt"},                       // network prefix
        {"QQQQQQQQ/QQQQQQQQQQQQQQQQQ", "\\\\server\\share\\outside.txt"}, // Windows network prefix
    };
    for (const auto& [harmless, hostile] : cases) {
        fs::remove_all(path("src"));
        fs::remove_all(path("out"));
        std::string bytes = makeArchive({{harmless, "evil"}, {"fine.txt", "fine"}});
        replaceAll(bytes, harmless, hostile);
        writeFile(path("a.zip"), bytes);
        if (hostile.find('\\') != std::string::npos) {
            // A DOS host makes "\" a separator.
            const std::size_t central = bytes.find(std::string("PK\x01\x02", 4));
            bytes[central + 5] = 0;
            writeFile(path("a.zip"), bytes);
        }
        FailureLog log;
        EXPECT_EQ(openAndExtract(path("a.zip"), &log), "") << hostile;
        ASSERT_EQ(log.messages.size(), 1u) << hostile;
        EXPECT_NE(log.messages[0].find("would be written outside the base folder"), std::string::npos)
            << log.messages[0];
        EXPECT_NE(log.messages[0].find(hostile.substr(hostile.size() - 11)), std::string::npos) << log.messages[0];
        EXPECT_FALSE(fs::exists(outside)) << hostile;
        EXPECT_FALSE(fs::exists("/outside.txt"));
        EXPECT_EQ(readFile(path("out/fine.txt")), "fine") << hostile; // the rest still comes out
    }
}

TEST_F(HostileTest, LinkInsideBaseDirDoesNotLeadOutside)
{
    makeArchive({{"link/x.txt", "evil"}});
    fs::create_directories(path("out"));
    fs::create_directories(path("elsewhere"));
    fs::create_directory_symlink(path("elsewhere"), path("out/link"));
    FailureLog log;
    EXPECT_EQ(openAndExtract(path("a.zip"), &log), "");
    EXPECT_EQ(log.codes, std::vector<int>{10}); // cannot create directory
    EXPECT_FALSE(fs::exists(path("elsewhere/x.txt")));
}

TEST_F(HostileTest, TruncatedOrBrokenEndRecordIsDamaged)
{
    const std::string good = makeArchive({{"a.txt", textOf(5000)}, {"b.txt", textOf(3000, 2)}});
    const std::size_t end = good.size() - 22;
    ASSERT_EQ(good.substr(end, 4), std::string("PK\x05\x06", 4));
    const auto withEnd = [&](std::size_t field, const std::string& value) {
        std::string bytes = good;
        bytes.replace(end + field, value.size(), value);
        return bytes;
    };
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"half", good.substr(0, good.size() / 2)},
        {"without last byte", good.substr(0, good.size() - 1)},
        {"without end record", good.substr(0, end)},
        {"tiny", good.substr(0, 10)},
        {"empty", ""},
        {"directory offset past the end", withEnd(16, std::string("\xff\xff\x00\x00", 4))},
        {"directory size past the end", withEnd(12, std::string("\xff\xff\xff\x7f", 4))},
        {"more entries than the directory holds", withEnd(10, std::string("\x09\x00", 2))},
        {"fewer entries than the directory holds", withEnd(10, std::string("\x01\x00", 2))},
        {"split into 65535 volumes", withEnd(4, std::string("\xff\xff", 2))},
    };
    for (const auto& [what, bytes] : cases) {
        writeFile(path("bad.zip"), bytes);
        const std::string message = openAndExtract(path("bad.zip"));
        EXPECT_TRUE(message == "ZF: Archive is damaged. Open failed - Native error: 00048"
                    || message == "ZF: Cannot open archive file. Opening aborted or invalid file - Native error: 00045")
            << what << ": " << message;
    }
}

TEST_F(HostileTest, BadDataFailsTheEntryAndLeavesNoFile)
{
    const std::string text = textOf(20000);
    const std::string good = makeArchive({{"deflated.txt", text}, {"stored.zip", text}});
    const std::size_t storedHeader = good.find(std::string("PK\x03\x04", 4), 4);
    const std::size_t central = good.find(std::string("PK\x01\x02", 4));
    const std::vector<std::pair<std::string, std::size_t>> flips = {
        {"deflated data", 30 + 12 + 100},       {"stored data", storedHeader + 30 + 10 + 5000},
        {"crc in the directory", central + 16}, {"size in the directory", central + 24},
        {"local header signature", 0},
    };
    for (const auto& [what, at] : flips) {
        std::string bytes = good;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
        writeFile(path("bad.zip"), bytes);
        fs::remove_all(path("out"));
        FailureLog log;
        EXPECT_EQ(openAndExtract(path("bad.zip"), &log), "") << what;
        ASSERT_EQ(log.messages.size(), 1u) << what;
        EXPECT_EQ(log.messages[0],
                  "ZF: Invalid size or check sum of file or unsupported compression "
                  "format - Native error: 00008")
            << what;
        EXPECT_EQ(fs::exists(path("out/deflated.txt")) + fs::exists(path("out/stored.zip")), 1) << what;
    }
}

TEST_F(HostileTest, BadDataOfOneEntryExtractedToAPathLeavesNoFile)
{
    const std::string text = textOf(20000);
    std::string bytes = makeArchive({{"stored.zip", text}, {"other.zip", "fine"}});
    const std::size_t at = bytes.find(text.substr(5000, 40));
    ASSERT_NE(at, std::string::npos);
    bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
    writeFile(path("bad.zip"), bytes);
    fs::create_directories(path("out"));

    ZipArchive zip;
    zip.fileName = path("bad.zip");
    zip.open();
    const ZipEntry& bad = *zip.findEntries("stored.zip").at(0);
    try {
        zip.extractEntryTo(bad, path("out/stored"));
        ADD_FAILURE() << "no error";
    } catch (const ZipError& error) {
        EXPECT_EQ(error.kind(), ZipErrorKind::BadSizeOrCheckSum);
    }
    EXPECT_FALSE(fs::exists(path("out/stored")));
    FailureLog log;
    log.attach(zip);
    EXPECT_FALSE(zip.extractEntryTo(bad, path("out/stored")));
    EXPECT_EQ(log.messages.size(), 1u);
    EXPECT_FALSE(fs::exists(path("out/stored")));
    // The archive goes on serving its other entries.
    EXPECT_TRUE(zip.extractEntryTo(*zip.findEntries("other.zip").at(0), path("out/other")));
    EXPECT_EQ(readFile(path("out/other")), "fine");
}

TEST_F(HostileTest, TestingAnEntryReadsItWholeWritesNothingAndTellsDamage)
{
    const std::string text = textOf(20000);
    const std::string good = makeArchive({{"deflated.txt", text}, {"stored.zip", text}});
    const std::size_t storedHeader = good.find(std::string("PK\x03\x04", 4), 4);
    const std::size_t central = good.find(std::string("PK\x01\x02", 4));
    struct Case {
        const char* what;
        std::ptrdiff_t at; // -1: no flip
        ZipArchive::EntryTest deflated, stored;
    };
    using T = ZipArchive::EntryTest;
    const Case cases[] = {
        {"intact", -1, T::Sound, T::Sound},
        {"deflated data", 30 + 12 + 100, T::Damaged, T::Sound},
        {"stored data", static_cast<std::ptrdiff_t>(storedHeader + 30 + 10 + 5000), T::Sound, T::Damaged},
        {"crc in the directory", static_cast<std::ptrdiff_t>(central + 16), T::Damaged, T::Sound},
        {"local header signature", 0, T::Damaged, T::Sound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        if (c.at >= 0)
            bytes[static_cast<std::size_t>(c.at)] = static_cast<char>(bytes[static_cast<std::size_t>(c.at)] ^ 0x55);
        writeFile(path("test.zip"), bytes);
        const auto listing = [&] {
            std::vector<std::string> names;
            for (const auto& entry : fs::recursive_directory_iterator(root))
                names.push_back(entry.path().string());
            std::sort(names.begin(), names.end());
            return names;
        };
        const std::vector<std::string> before = listing();
        ZipArchive zip;
        zip.fileName = path("test.zip");
        zip.open();
        FailureLog log;
        log.attach(zip);
        std::string seen;
        const auto collect = [&seen](const unsigned char* data, std::size_t size) {
            seen.append(reinterpret_cast<const char*>(data), size);
        };
        EXPECT_EQ(zip.testEntry(*zip.findEntries("deflated.txt").at(0), collect), c.deflated);
        if (c.deflated == T::Sound) {
            EXPECT_EQ(seen, text);
        }
        EXPECT_EQ(zip.testEntry(*zip.findEntries("stored.zip").at(0)), c.stored);
        EXPECT_TRUE(log.messages.empty()); // the caller learns of damage from the result alone
        zip.close();
        EXPECT_EQ(listing(), before); // nothing was written
    }

    // A progress handler's cancel stops the test.
    writeFile(path("test.zip"), good);
    ZipArchive zip;
    zip.fileName = path("test.zip");
    zip.open();
    zip.onFileProgress = [](ZipArchive&, const std::string&, double, ZipOperation, ZipProgressPhase, bool& cancel) {
        cancel = true;
    };
    EXPECT_EQ(zip.testEntry(*zip.findEntries("stored.zip").at(0)), T::Cancelled);
}

TEST_F(HostileTest, EveryFlippedByteIsHandledWithoutACrash)
{
    const std::string good = makeArchive({{"d/a.txt", textOf(600)}, {"b.zip", "stored bytes"}});
    for (std::size_t at = 0; at < good.size(); ++at) {
        for (const unsigned char mask : {0x01, 0xff}) {
            std::string bytes = good;
            bytes[at] = static_cast<char>(bytes[at] ^ mask);
            writeFile(path("bad.zip"), bytes);
            FailureLog log; // ignores every failed entry
            openAndExtract(path("bad.zip"), &log);
        }
    }
    fs::remove_all(path("out"));
    EXPECT_EQ(openAndExtract(path("a.zip")), "");
    EXPECT_EQ(readFile(path("out/b.zip")), "stored bytes");
}

} // namespace
} // namespace torvinel::archivetest
