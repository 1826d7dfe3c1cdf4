#include "support/DiscwrightTestSupport.h"

#include "discwright/DiscReader.h"
#include "discwright/internal/JolietTree.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace torvinel::test {
namespace {

// libburn reads the image itself, a block at a time, from the tree's imageSource(): an image an
// awaited file watches reaches it unchanged through the watcher, and a watcher's failure is a
// read error whose message the tree keeps for the burn.
TEST(ImageWatchTest, LibburnReadsAWatchedImageUnchangedAndMeetsAWatchersFailure)
{
    TempDir dir;
    std::string zip(150000, '\0');
    for (std::size_t i = 0; i < zip.size(); ++i)
        zip[i] = static_cast<char>((i * 7919) % 251);
    dir.write("src/a.zip", zip);
    dir.write("src/empty.txt", "");
    dir.write("src/sub/b.txt", "b");
    const std::string content(30000, 'r');
    dir.write("src/RECOVERY.DAT", content);
    for (const bool fails : {false, true}) {
        SCOPED_TRACE(fails);
        ImageWatcher watcher;
        if (fails)
            watcher.throwAt = 100000;
        const AwaitedFileRegistration awaited(dir / "src/RECOVERY.DAT", watcher.awaited(content.size()));
        JolietTree tree(nullptr, nullptr);
        tree.add(dir / "src", "20261210001", tree.root());
        tree.buildImage(0, "20261210001", "Quenmark", "Torvinel");
        struct burn_source* source = tree.imageSource();
        ASSERT_NE(source, nullptr);
        ASSERT_EQ(source->get_size(source), tree.imageSize());
        std::string image;
        unsigned char block[2048];
        int n = 0;
        while ((n = source->read_xt(source, block, sizeof block)) > 0)
            image.append(reinterpret_cast<const char*>(block), static_cast<std::size_t>(n));
        EXPECT_TRUE(image == std::string(watcher.streamed.begin(), watcher.streamed.end()));
        if (fails) {
            EXPECT_EQ(n, -1);
            EXPECT_EQ(source->read_xt(source, block, sizeof block), -1);
            const auto failure = tree.imageFailure();
            ASSERT_TRUE(failure);
            EXPECT_EQ(std::string(failure->what()), watcher.message);
            continue;
        }
        EXPECT_EQ(n, 0);
        EXPECT_FALSE(tree.imageFailure());
        ASSERT_EQ(static_cast<int64_t>(image.size()), tree.imageSize());

        // The image read is whole, and each file lies where the layout said.
        dir.write("image.iso", image);
        const auto reader = makeIsoFileReader(dir / "image.iso");
        ASSERT_TRUE(reader->copy("20261210001/RECOVERY.DAT", dir / "copy"));
        EXPECT_EQ(dir.read("copy"), content);
        ASSERT_EQ(watcher.layouts.size(), 1u);
        EXPECT_EQ(watcher.layouts[0].files.size(), 4u);
        for (const auto& file : watcher.layouts[0].files) {
            if (file.size == 0)
                continue;
            const std::string relative = file.localPath.substr((dir / "src/").size());
            const auto extent = reader->locate("20261210001/" + relative);
            ASSERT_TRUE(extent) << relative;
            EXPECT_EQ(extent->offset, file.block * 2048) << relative;
            EXPECT_EQ(extent->length, file.size) << relative;
        }
    }
}

// The layout is read back from the image's leading blocks: when they cannot be read, or do not
// place a file of the tree as the tree has it, the image fails with the reason, no watcher is
// given a layout, and the watch stays failed.
TEST(ImageWatchTest, ALayoutThatCannotBeReadOrMissesAFileFailsTheImage)
{
    TempDir dir;
    dir.write("src/a.zip", std::string(150000, 'a'));
    dir.write("src/sub/b.txt", "b");
    std::string image;
    uint32_t dataStart = 0;
    {
        ImageWatcher watcher;
        const AwaitedFileRegistration awaited(dir / "src/b.txt", watcher.awaited(1));
        dir.write("src/b.txt", "c");
        JolietTree tree(nullptr, nullptr);
        tree.add(dir / "src", "20261210001", tree.root());
        tree.buildImage(0, "20261210001", "Quenmark", "Torvinel");
        tree.pumpImage(
            [&](const uint8_t* data, std::size_t bytes) { image.append(reinterpret_cast<const char*>(data), bytes); },
            {});
        ASSERT_EQ(watcher.layouts.size(), 1u);
        dataStart = static_cast<uint32_t>(watcher.streamedAtLayout / 2048);
    }
    const std::vector<TreeFile> files{{"/20261210001/a.zip", dir / "src/a.zip", 150000},
                                      {"/20261210001/b.txt", dir / "src/b.txt", 1},
                                      {"/20261210001/sub/b.txt", dir / "src/sub/b.txt", 1}};
    struct Case {
        const char* what;
        std::vector<TreeFile> files;
        std::size_t damagedByte; // 0: none
        std::string message;     // or its start, for a message of libisofs
    } cases[] = {
        {"every file placed", files, 0, ""},
        {"a file the image lacks",
         {files[0], {"/20261210001/c.txt", dir / "src/c.txt", 1}},
         0,
         "The layout of the image does not list /20261210001/c.txt"},
        {"a file of another size",
         {{"/20261210001/a.zip", dir / "src/a.zip", 150001}},
         0,
         "The layout of the image gives /20261210001/a.zip 150000 bytes instead of 150001"},
        {"a damaged volume descriptor", files, 16 * 2048 + 1, "Could not read the layout of the image: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = image;
        if (c.damagedByte != 0)
            bytes[c.damagedByte] = 'X';
        int layouts = 0;
        ImageWatch watch({{nullptr, [&](const ImageLayout&) { ++layouts; }}}, c.files, 0, image.size() / 2048,
                         dataStart);
        std::string raised;
        for (std::size_t at = 0; at < bytes.size() && raised.empty(); at += 65536) {
            try {
                watch.take(reinterpret_cast<const uint8_t*>(bytes.data()) + at,
                           std::min<std::size_t>(65536, bytes.size() - at));
            } catch (const DriveFailure& failure) {
                raised = failure.what();
            }
        }
        if (c.message.empty()) {
            EXPECT_EQ(raised, "");
            EXPECT_EQ(layouts, 1);
            continue;
        }
        EXPECT_EQ(raised.substr(0, c.message.size()), c.message) << raised;
        EXPECT_EQ(layouts, 0);
        EXPECT_TRUE(watch.failed());
        EXPECT_THROW(watch.take(reinterpret_cast<const uint8_t*>(bytes.data()), 2048), DriveFailure);
    }
}

} // namespace
} // namespace torvinel::test
