#pragma once
#include <algorithm>
#include <mutex>
#include <string>

#include "archive/ZipArchive.h"
#include "archive/internal/ZipIo.h"
#include "archive/internal/ZipReader.h"
#include "platform/Platform.h"

// What the files of the engine (ZipArchive*.cpp) share: the engine lock, the items an add
// works on, and small path helpers.
namespace torvinel::zipengine {

// Adds, extracts and commits of every instance run one at a time.
inline std::recursive_mutex& engineLock()
{
    static std::recursive_mutex lock;
    return lock;
}

inline std::string withPlatformSeparators(std::string name)
{
    const char separator = platform::pathSeparator();
    if (separator != '/')
        std::replace(name.begin(), name.end(), '/', separator);
    return name;
}

inline std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

inline std::string fileNameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Deletes a temporary file when it goes out of scope, unless its path was cleared.
struct TemporaryFile {
    std::string path;
    platform::File file;
    ~TemporaryFile()
    {
        file.reset();
        if (!path.empty())
            (void)platform::removeFile(path); // nothing to report: the run goes on without it
    }
};

} // namespace torvinel::zipengine

namespace torvinel {

struct ZipArchive::AddItem {
    std::string path;      // in the file system
    std::string entryName; // in the archive ("/" separators, folders end in "/")
    platform::FileStatus info;
    bool folder = false;
};

struct ZipArchive::SplitWriter {
    zipio::BufferedWriter out; // the current volume
};

// What extracting single entries of an open archive keeps from one call to the next: the
// buffers are large, and a restore takes many small entries one at a time.
struct ZipArchive::ExtractSession {
    ExtractSession(const std::string& path, const platform::File& last, uint32_t lastDisk)
        : volumes(path, last, lastDisk), reader(volumes)
    {
    }
    zipreader::VolumeSet volumes;
    zipreader::ChainReader reader;
    zipreader::DataDecoder decoder;
    zipio::BufferedWriter out;
};

} // namespace torvinel
