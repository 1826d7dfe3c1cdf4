#include "support/DiscwrightTestSupport.h"

#include "discwright/DiscReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace torvinel::test {
namespace {

namespace fs = std::filesystem;

// Trees written through the image drive and read back with the image reader.
class JolietTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startLibrary();
        Discwright_UseTestDrives({});
        ImageDriveSettings settings;
        settings.folder = dir / "shelf";
        settings.blocks = 20000;
        Discwright_ConfigureImageDrive(settings);
        drive = openDrive(ImageDrivePort, 0, nullptr, nullptr);
        Call call;
        ASSERT_EQ(Discwright_JolietTree_Create(&tree, recordingCallback, &recorder, 1, 0, 1, 0, call.text,
                                               sizeof call.text, &call.status),
                  0);
    }
    void TearDown() override
    {
        Discwright_Destroy(&tree);
        Discwright_Destroy(&drive);
    }

    DiscwrightException add(const std::string& source, const std::string& name)
    {
        Call call;
        DiscwrightNode* root = Discwright_JolietTree_GetRoot(tree, call.text, sizeof call.text, &call.status);
        DiscwrightNode* added = nullptr;
        return Discwright_JolietTree_Add(tree, source.c_str(), name.c_str(), 2, root, &added, call.text,
                                         sizeof call.text, &call.status);
    }

    // Builds, writes and returns a reader of the written image.
    std::unique_ptr<DiscReader> write()
    {
        Call call;
        EXPECT_EQ(Discwright_JolietTree_BuildImage(tree, 0, 8, 1, "20261210001", "Quenmark", "Torvinel", call.text,
                                                   sizeof call.text, &call.status),
                  0)
            << call.text;
        EXPECT_EQ(Discwright_Drive_TrackAtOnceFromTree(drive, tree, 1, 0, 0, 1, 1, call.text, sizeof call.text,
                                                       &call.status, &call.failure),
                  0)
            << call.text;
        uint32_t mismatches = 0;
        EXPECT_EQ(Discwright_Drive_VerifyTree(drive, tree, 0, &mismatches, 1000, call.text, sizeof call.text,
                                              &call.status, &call.failure),
                  0)
            << call.text;
        return makeIsoFileReader(dir / "shelf/20261210001.iso");
    }

    static std::vector<std::string> names(DiscReader& reader, const std::string& folder)
    {
        std::vector<std::string> out;
        for (const auto& entry : reader.list(folder))
            out.push_back(entry.name);
        return out;
    }

    TempDir dir;
    DiscwrightHandle drive = nullptr;
    DiscwrightHandle tree = nullptr;
    Recorder recorder;
};

const std::string longStem(70, 'n');

TEST_F(JolietTreeTest, NamesEqualInJolietAreRenamedByTheCallback)
{
    dir.write("src/" + longStem + "-first.txt", "first");
    dir.write("src/" + longStem + "-second.txt", "second");
    ASSERT_EQ(add(dir / "src", "D"), 0);

    ASSERT_EQ(recorder.collisions.size(), 1u);
    // The colliding Joliet form: cut short, the extension kept.
    EXPECT_EQ(recorder.collisions[0], std::u16string(61, u'n') + u".txt");
    const auto collision = recorder.withCode(TREE_NAME_COLLISION);
    EXPECT_EQ(collision[0].p1, 0x20); // two files
    EXPECT_EQ(collision[0].p2, 0x20);

    const auto reader = write();
    EXPECT_EQ(names(*reader, "D"), (std::vector<std::string>{std::string(61, 'n') + ".txt", "renamed1"}));
    ASSERT_TRUE(reader->copy("D/renamed1", dir / "copy"));
    EXPECT_EQ(dir.read("copy"), "second");
}

TEST_F(JolietTreeTest, AnUnansweredCollisionStillKeepsEveryFile)
{
    recorder.answer = Recorder::Answer::Nothing;
    dir.write("src/" + longStem + "-first.txt", "first");
    dir.write("src/" + longStem + "-second.txt", "second");
    ASSERT_EQ(add(dir / "src", "D"), 0);
    const auto reader = write();
    const auto entries = names(*reader, "D");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], std::string(61, 'n') + ".txt");
    EXPECT_EQ(entries[1], std::string(58, 'n') + "~1.txt");
}

TEST_F(JolietTreeTest, TwoFoldersOfOneNameAreMergedWhenTheCallbackSaysSo)
{
    recorder.answer = Recorder::Answer::Merge;
    dir.write("a/only-a.txt", "a");
    dir.write("a/both.txt", "from a");
    dir.write("b/only-b.txt", "b");
    dir.write("b/both.txt", "from b");
    ASSERT_EQ(add(dir / "a", "D"), 0);
    ASSERT_EQ(add(dir / "b", "D"), 0);

    const auto collisions = recorder.withCode(TREE_NAME_COLLISION);
    ASSERT_EQ(collisions.size(), 2u); // the folders, then both.txt
    EXPECT_EQ(collisions[0].p1, 0x10);
    EXPECT_EQ(collisions[0].p2, 0x10);
    const auto reader = write();
    EXPECT_EQ(names(*reader, ""), (std::vector<std::string>{"D"}));
    EXPECT_EQ(names(*reader, "D"), (std::vector<std::string>{"both.txt", "only-a.txt", "only-b.txt", "renamed2"}));
    ASSERT_TRUE(reader->copy("D/renamed2", dir / "copy"));
    EXPECT_EQ(dir.read("copy"), "from b");
}

TEST_F(JolietTreeTest, LinksAreLeftOutAndReportedAndEveryNodeIsCounted)
{
    dir.write("src/file.txt", "data");
    dir.write("src/sub/inner.txt", "inner");
    ASSERT_EQ(symlink("file.txt", (dir / "src/link").c_str()), 0);
    ASSERT_EQ(add(dir / "src", "D"), 0);
    EXPECT_EQ(recorder.withCode(TREE_NAME_IGNORED).size(), 1u);
    EXPECT_EQ(recorder.withCode(TREE_NODE_ADDED).size(), 4u); // D, file.txt, sub, inner.txt
    const auto reader = write();
    EXPECT_EQ(names(*reader, "D"), (std::vector<std::string>{"file.txt", "sub"}));
}

TEST_F(JolietTreeTest, AMissingSourceFolderFailsWithItsName)
{
    Call call;
    DiscwrightNode* added = nullptr;
    const std::string missing = dir / "missing";
    EXPECT_NE(Discwright_JolietTree_Add(tree, missing.c_str(), "D", 2, nullptr, &added, call.text, sizeof call.text,
                                        &call.status),
              0);
    EXPECT_NE(std::string(call.text).find(missing), std::string::npos) << call.text;
    EXPECT_EQ(Discwright_JolietTree_GetSizeInUCHARs(tree, nullptr), 0u);
}

TEST_F(JolietTreeTest, AChangedSourceFileFailsVerification)
{
    dir.write("src/a.txt", "original");
    ASSERT_EQ(add(dir / "src", "D"), 0);
    Call call;
    ASSERT_EQ(Discwright_JolietTree_BuildImage(tree, 0, 8, 1, "20261210001", "Quenmark", "Torvinel", call.text,
                                               sizeof call.text, &call.status),
              0);
    ASSERT_EQ(Discwright_Drive_TrackAtOnceFromTree(drive, tree, 1, 0, 0, 1, 1, call.text, sizeof call.text,
                                                   &call.status, &call.failure),
              0);
    dir.write("src/a.txt", "changed!");
    uint32_t mismatches = 0;
    EXPECT_EQ(Discwright_Drive_VerifyTree(drive, tree, 0, &mismatches, 1000, call.text, sizeof call.text, &call.status,
                                          &call.failure),
              DW_VERIFY_MISMATCH);
    EXPECT_EQ(mismatches, 1u);
}

} // namespace
} // namespace torvinel::test
