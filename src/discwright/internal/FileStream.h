#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "discwright/internal/IsoHeaders.h"

namespace torvinel {

// The content of a local file for the image: a stream of size bytes read from path through a
// buffer of its own (the image writer asks for one 2 KiB block at a time, and a system call
// per block would bound the burn). When ready is given, opening the stream first waits for it
// (an awaited file; false fails the read). The caller owns the one reference it returns
// (adding the stream to the image hands it on).
IsoStream* newFileStream(const std::string& path, uint64_t size, std::function<bool()> ready = {});

} // namespace torvinel
