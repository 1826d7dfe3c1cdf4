// The archive attribute emulated on POSIX. Every change of a file's content, permissions,
// owner, links or time stamps moves its status-change time (ctime), and no program can set
// ctime back. So "the bit was cleared and nothing happened since" is exactly "the ctime
// recorded at the clear is still the file's ctime".
//
// The record, ArchiveBits.dat in the state folder, is read once and written once per run:
//   line 1:      "TorvinelArchiveBits 1"
//   each record: <ctime seconds> ' ' <ctime nanoseconds> ' ' <path length> ' ' <path> '\n'
// all numbers in decimal. The length prefix lets a path hold any byte, line breaks
// included. A damaged record ends the reading there: the files not read count as set,
// which means one extra copy and never a missed one.
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <unordered_map>

#include "platform/Platform.h"

namespace torvinel::platform {

namespace {

constexpr std::string_view header = "TorvinelArchiveBits 1\n";

struct ChangeTime {
    int64_t seconds = 0;
    int64_t nanoseconds = 0;
    bool operator==(const ChangeTime&) const = default;
};

std::optional<ChangeTime> changeTimeOf(const std::string& path)
{
    struct stat facts { };
    if (stat(path.c_str(), &facts) != 0)
        return std::nullopt;
    return ChangeTime{facts.st_ctim.tv_sec, facts.st_ctim.tv_nsec};
}

// Reads a decimal number followed by one space; false when there is none.
bool readNumber(std::string_view& text, int64_t& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() + text.size() || *end != ' ')
        return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1);
    return true;
}

} // namespace

struct ArchiveAttribute::Impl {
    std::string folder;
    std::unordered_map<std::string, ChangeTime> cleared;
    bool loaded = false;
    bool changed = false;

    std::string recordPath() const { return joinPath(folder, recordName); }

    void record(const std::string& path, const ChangeTime& time)
    {
        auto [entry, added] = cleared.try_emplace(path, time);
        if (added || entry->second != time) {
            entry->second = time;
            changed = true;
        }
    }

    void load()
    {
        if (loaded)
            return;
        loaded = true;
        std::ifstream file(recordPath(), std::ios::binary | std::ios::ate);
        const std::streamoff size = file ? static_cast<std::streamoff>(file.tellg()) : 0;
        if (size <= 0)
            return;
        std::string content(static_cast<std::size_t>(size), '\0');
        file.seekg(0);
        if (!file.read(content.data(), size))
            return;
        std::string_view text = content;
        if (text.substr(0, header.size()) != header)
            return;
        text.remove_prefix(header.size());
        cleared.reserve(static_cast<std::size_t>(size) / 64); // about one entry per 64 bytes
        while (!text.empty()) {
            ChangeTime time;
            int64_t length = 0;
            if (!readNumber(text, time.seconds) || !readNumber(text, time.nanoseconds) || !readNumber(text, length)
                || length <= 0 || static_cast<uint64_t>(length) >= text.size() || text[length] != '\n')
                return;
            cleared.insert_or_assign(std::string(text.substr(0, length)), time);
            text.remove_prefix(static_cast<std::size_t>(length) + 1);
        }
    }

    bool save()
    {
        if (!changed)
            return true;
        const std::string target = recordPath();
        const std::string temporary = target + ".tmp";
        FILE* file = std::fopen(temporary.c_str(), "wb");
        if (file == nullptr)
            return false;
        bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
        std::string chunk;
        chunk.reserve(1 << 20);
        for (auto it = cleared.begin(); ok && it != cleared.end(); ++it) {
            chunk += std::to_string(it->second.seconds) + ' ' + std::to_string(it->second.nanoseconds) + ' '
                + std::to_string(it->first.size()) + ' ' + it->first + '\n';
            if (chunk.size() >= (1 << 20) || std::next(it) == cleared.end()) {
                ok = std::fwrite(chunk.data(), 1, chunk.size(), file) == chunk.size();
                chunk.clear();
            }
        }
        ok = ok && std::fflush(file) == 0 && fsync(fileno(file)) == 0;
        ok = std::fclose(file) == 0 && ok;
        if (!ok || !replaceFile(temporary, target)) {
            std::remove(temporary.c_str());
            return false;
        }
        changed = false;
        return true;
    }
};

ArchiveAttribute::ArchiveAttribute(std::string stateFolder) : m_impl(std::make_unique<Impl>())
{
    m_impl->folder = std::move(stateFolder);
}

ArchiveAttribute::~ArchiveAttribute() = default;

bool ArchiveAttribute::isSet(const std::string& path)
{
    m_impl->load();
    const auto entry = m_impl->cleared.find(path);
    if (entry == m_impl->cleared.end())
        return true;
    if (changeTimeOf(path) == entry->second)
        return false;
    // Changed (or gone) since the clear: the entry can never match again, so drop it.
    m_impl->cleared.erase(entry);
    m_impl->changed = true;
    return true;
}

void ArchiveAttribute::clear(const std::string& path)
{
    m_impl->load();
    if (const std::optional<ChangeTime> now = changeTimeOf(path))
        m_impl->record(path, *now);
}

void ArchiveAttribute::clear(const std::string& path, const FileIdentity& readFrom)
{
    // Recorded is the change time the identity holds, not the file's present one: a write at
    // any moment after readFrom has moved the file's change time, so the record never matches
    // it and the file counts as set. No second look at the file is needed for that.
    m_impl->load();
    constexpr int64_t billion = 1'000'000'000;
    m_impl->record(path, ChangeTime{readFrom.changed / billion, readFrom.changed % billion});
}

void ArchiveAttribute::set(const std::string& path)
{
    m_impl->load();
    if (m_impl->cleared.erase(path) > 0)
        m_impl->changed = true;
}

bool ArchiveAttribute::save() { return m_impl->save(); }

} // namespace torvinel::platform
