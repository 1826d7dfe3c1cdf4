#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace torvinel {

// The 2048-byte blocks of a medium as a repair reads them: a disc image, an optical drive's
// device, or a part of either. A block that cannot be read is an erasure, whatever the reason.
class MediumBlocks {
public:
    virtual ~MediumBlocks() = default;
    // How many blocks the medium holds.
    virtual uint64_t blocks() const = 0;
    // Reads blocks [first, first + count) into out; readable[i] is set to 1 for block first + i
    // when it was read, else to 0 and its bytes to zeros. Blocks at or past blocks() are
    // unreadable.
    virtual void read(uint64_t first, std::size_t count, uint8_t* out, uint8_t* readable) = 0;
};

// The blocks of a file (an image, or a device such as /dev/sr0), or of its length bytes from
// offset on. A run that fails is read again block by block, each block tried three times, so
// one bad sector costs only itself. nullptr when the file cannot be opened.
std::unique_ptr<MediumBlocks> openMediumFile(const std::string& path);
std::unique_ptr<MediumBlocks> openMediumPart(const std::string& path, uint64_t offset, uint64_t length);

// The blocks [first, first + count) of medium, as a medium of their own.
std::unique_ptr<MediumBlocks> mediumSlice(MediumBlocks& medium, uint64_t first, uint64_t count);

} // namespace torvinel
