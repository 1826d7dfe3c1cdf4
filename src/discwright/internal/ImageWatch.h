#pragma once
#include "discwright/AwaitedFile.h"
#include "discwright/DriveFailure.h"
#include "discwright/internal/IsoHeaders.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace torvinel {

// A file a tree added to its image: where it lies in the tree and on disk, and the bytes the
// image gives it.
struct TreeFile {
    std::string imagePath; // from the root, Joliet names, '/'-separated
    std::string localPath;
    uint64_t size = 0;
};

// Shows the image stream of a burn to the awaited files that watch it (AwaitedFile::streamed
// and laidOut). libisofs tells no new file's block, so the image's leading blocks (up to where
// the files' data begins: volume descriptors, path tables, directory records) are kept as they
// pass and read back with libisofs itself; once they are whole, and before any later byte is
// streamed, each watcher gets the layout.
class ImageWatch {
public:
    struct Watcher {
        std::function<void(const uint8_t*, std::size_t)> streamed;
        std::function<void(const ImageLayout&)> laidOut;
    };

    // For the image of blocks blocks from startBlock whose file data begins at dataStart, made
    // of files (which must outlive the watch). Raises DriveFailure when dataStart lies outside
    // the image.
    ImageWatch(std::vector<Watcher> watchers, const std::vector<TreeFile>& files, uint32_t startBlock, uint64_t blocks,
               uint32_t dataStart);

    // Takes the next bytes of the image, in order. Raises DriveFailure when the layout cannot be
    // read or misses a file of the tree, or with the message of a watcher that threw; once
    // failed, every later call raises the same.
    void take(const uint8_t* data, std::size_t bytes);
    // Whether take failed (from any thread); failure() is what it raised, once this is true.
    bool failed() const { return m_failed.load(std::memory_order_acquire); }
    DriveFailure failure() const { return DriveFailure(m_failureNumber, m_failureStatus, m_failure); }

private:
    void deliver(const uint8_t* data, std::size_t bytes);
    [[noreturn]] void fail(DiscwrightException number, int32_t status, const std::string& message);
    ImageLayout readLayout() const;

    std::vector<Watcher> m_watchers;
    const std::vector<TreeFile>& m_files;
    uint32_t m_startBlock;
    uint64_t m_blocks;
    uint32_t m_dataStart;
    std::size_t m_leadingBytes;     // [startBlock, dataStart)
    std::vector<uint8_t> m_leading; // of them, those taken so far; freed once read
    bool m_laidOut = false;
    DiscwrightException m_failureNumber = 0;
    int32_t m_failureStatus = 0;
    std::string m_failure;
    std::atomic<bool> m_failed = false;
};

// A burn_source for libburn, which reads the image itself: it hands out what image does,
// passing it through watch on the way. A failure of the watch becomes a read error (the watch
// keeps its message for the burn). The caller frees it as the tree frees its source:
// free_data, then free(); image stays the caller's.
struct burn_source* newWatchedSource(struct burn_source* image, ImageWatch& watch);

} // namespace torvinel
