// An archive as a disc may hold it, damaged in any way: opened, listed and extracted.
#include <cstddef>
#include <cstdint>
#include <sys/stat.h>

#include "support/FuzzZip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace torvinel::fuzz;
    const std::string folder = freshFolder("zip");
    const std::string archive = folder + "/archive.zip";
    writeFile(archive, std::string_view(reinterpret_cast<const char*>(data), size));
    ::chmod(archive.c_str(), 0444); // as copied from a disc: never written to
    readWholeArchive(archive, folder + "/out");
    return 0;
}
