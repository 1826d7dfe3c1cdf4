#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/File.h"

namespace torvinel {

namespace zipwriter {
struct DeflateJob;
class WholeDeflater;
} // namespace zipwriter

// A file that ZipArchive::prepareFile has read whole, with its CRC, and whose deflated form
// a worker thread makes from then on; ZipArchive::addPrepared writes its entry. What it holds
// is the file as that read found it: it does not follow later changes of the file. Holds
// the content and its deflated form in memory (under 32 MiB together); dropping it is safe
// at any time.
class ZipPreparedFile {
public:
    ZipPreparedFile();
    ~ZipPreparedFile();
    ZipPreparedFile(const ZipPreparedFile&) = delete;
    ZipPreparedFile& operator=(const ZipPreparedFile&) = delete;

    const std::string& path() const { return m_path; }
    uint64_t size() const { return m_size; }

private:
    friend class ZipArchive;
    std::string m_path;          // in the file system
    std::string m_entryName;     // in the archive, from the baseDir of the read
    platform::FileStatus m_info; // as the add takes it: the stamp and mode of the entry
    uint64_t m_size = 0;
    uint32_t m_crc = 0;
    bool m_stored = false;                                // kept as read, not deflated
    std::shared_ptr<zipwriter::DeflateJob> m_job;         // content and deflated form, shared with a worker
    std::shared_ptr<zipwriter::WholeDeflater> m_deflater; // the worker's
};

} // namespace torvinel
