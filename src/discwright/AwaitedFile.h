#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace torvinel {

// Where the files of an image lie, known once the image's leading blocks (volume descriptors,
// path tables, directory records) are written and before any file's data is.
struct ImageLayout {
    uint32_t startBlock = 0; // the session's first block on the medium (0 for a first session)
    uint64_t blocks = 0;     // the session's blocks (its image's size / 2048)
    struct PlacedFile {
        std::string localPath; // the file burnt, as the tree was given it
        uint64_t block = 0;    // its first block on the medium (absolute); its blocks follow on
        uint64_t size = 0;     // bytes; it takes ceil(size / 2048) blocks
    };
    std::vector<PlacedFile> files; // every file the session's tree added (the awaited one too), by block
};

// A file of a folder about to be burnt that is still being written when the burn starts (the
// disc's recovery data, computed while the other files are written). The burn takes its size
// from here, places it after every other file of the disc, and reads it only once ready()
// returned: ready blocks until the file is written and tells whether it was (false fails the
// burn). ready is called from the burn's own thread.
//
// A file that covers the image it goes into also watches that image as it is burnt:
// streamed is given every byte of the image (the session's), in order from its start, and
// laidOut the layout, once: after streamed was given every byte before the files' data (the
// leading blocks) and before it is given any later byte. Both are optional, are called on
// the thread that reads the image (the burn's), must not block for long, and may throw: a
// throw fails the burn with its message. The first 64 KiB of the medium, which a later session
// rewrites on a drive that stores the disc as one file, are not part of the stream.
struct AwaitedFile {
    uint64_t size = 0;
    std::function<bool()> ready;
    std::function<void(const uint8_t* data, std::size_t bytes)> streamed;
    std::function<void(const ImageLayout& layout)> laidOut;
};

// Makes path (a file in a folder the next burn takes) an awaited file until the registration
// ends; the file must exist in its folder, at any size, for the burn to meet it.
class AwaitedFileRegistration {
public:
    AwaitedFileRegistration(const std::string& path, AwaitedFile file);
    ~AwaitedFileRegistration();
    AwaitedFileRegistration(const AwaitedFileRegistration&) = delete;
    AwaitedFileRegistration& operator=(const AwaitedFileRegistration&) = delete;

private:
    std::string m_key;
};

// The awaited file registered for path, if any.
std::optional<AwaitedFile> awaitedFile(const std::string& path);

} // namespace torvinel
