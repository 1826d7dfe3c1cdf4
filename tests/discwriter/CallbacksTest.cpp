#include <gtest/gtest.h>

#include <cstring>

#include "discwriter/BurnCallbacks.h"
#include "discwright/Utf16.h"
#include "BurnFixture.h"

namespace torvinel::test {

class Callbacks : public BurnFixture {
protected:
    void SetUp() override
    {
        BurnFixture::SetUp();
        context.emplace(BurnCallbackContext{state, view, [] { return std::string("12/10/2026 02:03:04"); }});
    }
    void notify(uint32_t code, void* p1 = nullptr, void* p2 = nullptr) { BurnCallback(code, &*context, p1, p2); }
    void writeProgress(int64_t total, int64_t written) { notify(CN_CDVD_WRITE_PROGRESS, &total, &written); }

    static NameCollisionRecord collision(bool existingFolder, bool addedFolder)
    {
        NameCollisionRecord record;
        std::memset(&record, 0, sizeof record);
        const uint32_t folder = FolderAttribute, file = 0x20;
        std::memcpy(record.existingAttributes, existingFolder ? &folder : &file, 4);
        std::memcpy(record.addedAttributes, addedFolder ? &folder : &file, 4);
        return record;
    }

    std::optional<BurnCallbackContext> context;
};

TEST_F(Callbacks, WriteProgressShowsEachPercentOnce)
{
    state.LastWritePercent = 0;
    writeProgress(4000, 1000);
    writeProgress(4000, 1010); // still 25 %
    EXPECT_EQ(view.position(Window::BackupProgress, Control::PhaseBar), 250);
    EXPECT_EQ(view.text(Window::BackupProgress, Control::PhaseText), "Writing disk:");
    EXPECT_EQ(view.count("setPosition BackupProgress PhaseBar 250"), 1);
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{"Callback(): CN_CDVD_WRITE_PROGRESS", "Written:25%",
                                        "Callback(): CN_CDVD_WRITE_PROGRESS"}));
    EXPECT_EQ(state.LastWritePercent, 25);

    // A total of 0 cannot give a percentage: logged, nothing shown.
    view.clearCalls();
    writeProgress(0, 1000);
    EXPECT_EQ(view.calls().size(), 0u);
    EXPECT_EQ(logLines().back(), "Callback(): CN_CDVD_WRITE_PROGRESS");
}

TEST_F(Callbacks, BufferStatusShowsHowFullTheBufferIs)
{
    uint32_t size = 4096, free = 1024;
    notify(BUFFER_STATUS, &size, &free);
    EXPECT_EQ(view.position(Window::BackupProgress, Control::ExtraBar), 750);
    EXPECT_EQ(view.text(Window::BackupProgress, Control::ExtraText), "Buffer status:");
    EXPECT_EQ(logLines(), std::vector<std::string>{"[ Buffer full: 75%, 1024 free from 4096 ] "});

    view.clearCalls();
    size = 0;
    notify(BUFFER_STATUS, &size, &free);
    EXPECT_TRUE(view.calls().empty());
    EXPECT_EQ(logLines().size(), 1u);

    // A large buffer does not overflow the arithmetic.
    size = 4000000000u, free = 3000000000u;
    notify(BUFFER_STATUS, &size, &free);
    EXPECT_EQ(view.position(Window::BackupProgress, Control::ExtraBar), 250);
}

TEST_F(Callbacks, VerifyProgressWithATotalOfZeroUsesOne)
{
    uint32_t done = 1, total = 0;
    notify(VERIFY_PROGRESS, &done, &total);
    EXPECT_TRUE(view.has("setPosition BackupProgress PhaseBar 1000"));
    EXPECT_TRUE(view.has("setPosition BackupProgress ExtraBar 0"));
    EXPECT_EQ(logLines(), std::vector<std::string>{"Callback: Verifying track 1 from 0, completed: "});

    done = 300, total = 1200;
    notify(VERIFY_PROGRESS, &done, &total);
    EXPECT_EQ(view.position(Window::BackupProgress, Control::PhaseBar), 250);
}

TEST_F(Callbacks, TwoFoldersWithOneNameAreMerged)
{
    NameCollisionRecord record = collision(true, true);
    std::memcpy(record.name, "DATA", 5);
    notify(TREE_NAME_COLLISION, &record);
    EXPECT_EQ(record.reply, CollisionReplyMerge);
    EXPECT_STREQ(reinterpret_cast<const char*>(record.name), "DATA");
    EXPECT_EQ(logLines(), std::vector<std::string>{"Callback: Name collision for folders. Merging them..."});
    EXPECT_EQ(state.RenameCounter, 1);
}

TEST_F(Callbacks, ACollidingISO9660NameGetsTheCounter)
{
    state.RenameCounter = 2;
    NameCollisionRecord record = collision(false, false);
    std::memcpy(record.name, "DATA.CSV;1", 11);
    notify(TREE_NAME_COLLISION, &record);
    EXPECT_EQ(record.reply, CollisionReplyRenamed);
    EXPECT_STREQ(reinterpret_cast<const char*>(record.name), "DATA2.CSV;1");
    EXPECT_EQ(state.RenameCounter, 3);
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{"Callback: Name collision for ", "ISO9660 : <DATA.CSV;1> -> ", "DATA2.CSV;1"}));
}

TEST(RenameIsoName, KeepsExtensionAndVersionAndShortensTheBase)
{
    struct Case {
        const char* name;
        int32_t counter;
        const char* renamed;
    };
    const Case cases[] = {
        {"ABCDEFGHIJ.ZIP;1", 1, "ABCDEFG1.ZIP;1"},
        {"DATA.CSV;1", 2, "DATA2.CSV;1"},
        {"A", 7, "A07"},                      // padded to two characters, no dot
        {"ABCDEFGH.Z", 3, "ABCDEFGH3.Z"},     // a base of 8 stays whole
        {"ABCDEFGHIJKL", 4, "ABCDEFG4"},      // no dot within the last five places
        {"AB.CDEFGHIJKLMNOP", 5, "AB.CDEF5"}, // the dot is too far back
        {"X.ABCD;1", 6, "X.ABCD6;1"},         // only four places before the version are looked at
    };
    for (const Case& c : cases) {
        int32_t counter = c.counter;
        EXPECT_EQ(RenameIsoName(c.name, counter), c.renamed) << c.name;
        EXPECT_EQ(counter, c.counter + 1);
    }
}

TEST_F(Callbacks, ACollidingJolietNameGetsTheDateAndTime)
{
    NameCollisionRecord record = collision(false, false);
    record.nameKind = 1;
    const std::u16string name = u"report.txt";
    std::memcpy(record.name, name.data(), name.size() * 2);
    notify(TREE_NAME_COLLISION, &record);

    std::u16string renamed;
    for (std::size_t i = 0; i + 1 < sizeof record.name; i += 2) {
        char16_t unit;
        std::memcpy(&unit, record.name + i, 2);
        if (!unit)
            break;
        renamed += unit;
    }
    // Blanks, ":", "." and "/" of the date-time text, and the extension's dot, become "_".
    EXPECT_EQ(utf16ToUtf8(renamed), "report_12_10_2026_02_03_04_txt");
    EXPECT_EQ(record.reply, CollisionReplyRenamed);
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{"Callback: Name collision for ", "Joliet : <report.txt> -> ",
                                        "<report_12_10_2026_02_03_04_txt>"}));

    EXPECT_EQ(utf16ToUtf8(RenameJolietName(u"archive.zip;1", "10.12.2026 02:03:04")),
              "archive_10_12_2026_02_03_04_zip;1");
}

TEST_F(Callbacks, UnderrunAsksToStopAndNodesAreCounted)
{
    notify(BUFFER_UNDERRUN);
    EXPECT_TRUE(state.CancelRequested);
    notify(TREE_NODE_ADDED);
    notify(TREE_NODE_ADDED);
    notify(TREE_NODE_REMOVED);
    EXPECT_EQ(state.TreeNodeCount, 1);
    char name[] = "fifo";
    notify(TREE_NAME_IGNORED, name);
    EXPECT_EQ(
        logLines(),
        (std::vector<std::string>{"Error: Buffer Underrun.", "Callback(): Ignoring name \"fifo\", tree node(s) 1"}));
}

} // namespace torvinel::test
