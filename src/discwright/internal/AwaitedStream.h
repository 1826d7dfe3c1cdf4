#pragma once
#include <string>

#include "discwright/AwaitedFile.h"
#include "discwright/internal/IsoHeaders.h"

namespace torvinel {

// The content of an awaited file for the image: a stream of file.size bytes that waits for
// file.ready() when the image writer opens it, then reads path. The caller owns the one
// reference it returns (adding the stream to the image hands it on).
IsoStream* newAwaitedStream(const std::string& path, AwaitedFile file);

} // namespace torvinel
