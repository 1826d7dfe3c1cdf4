#include "discwriter/BurnCallbacks.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>

#include "app/Progress.h"
#include "discwriter/TextFormat.h"
#include "discwright/DiscwrightTypes.h"
#include "discwright/Utf16.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

template <class T> T valueAt(const void* parameter)
{
    T value{};
    if (parameter)
        std::memcpy(&value, parameter, sizeof value);
    return value;
}

long long ll(int64_t value) { return static_cast<long long>(value); }

// Where the extension (with any ";n" version suffix) of a name begins: steps shared by both
// rename rules. The name has at least two characters.
template <class String> std::size_t extensionStart(const String& name)
{
    const std::size_t length = name.size();
    std::size_t end = length;
    if (name[length - 2] == ';')
        end = length - 2;
    for (std::size_t back = 0; back <= 4 && back <= end; ++back) {
        const std::size_t position = end - back;
        if (position < length && name[position] == '.')
            return position;
    }
    return end;
}

void writeProgress(BurnCallbackContext& c, void* p1, void* p2)
{
    c.state.WriteLog("Callback(): CN_CDVD_WRITE_PROGRESS");
    const int64_t total = valueAt<int64_t>(p1);
    const int64_t written = valueAt<int64_t>(p2);
    if (total <= 0)
        return; // no percentage can be formed; the screen stays as it is
    const int64_t percent = written * 100 / total;
    if (percent == c.state.LastWritePercent)
        return;
    c.state.LastWritePercent = percent;
    const int position = static_cast<int>(std::clamp<int64_t>(percent * 10, 0, 1000000));
    if (c.state.OnBurnProgress) {
        showBackupProgress(c.view, {.phase = "Writing disk: " + std::to_string(std::clamp<int64_t>(percent, 0, 100)) + "%"});
        c.state.OnBurnProgress(written, total);
    } else {
        showBackupProgress(c.view, {.phase = "Writing disk:", .phaseBar = position});
    }
    c.state.WriteLog(Format("Written:%lld%%", ll(percent)));
    c.view.processEvents();
}

void bufferStatus(BurnCallbackContext& c, void* p1, void* p2)
{
    const uint64_t size = valueAt<uint32_t>(p1);
    const uint64_t free = valueAt<uint32_t>(p2);
    if (size == 0)
        return;
    const int64_t full = 100 - static_cast<int64_t>(free * 100 / size);
    c.state.WriteLog(Format("[ Buffer full: %lld%%, %llu free from %llu ] ", ll(full),
                            static_cast<unsigned long long>(free), static_cast<unsigned long long>(size)));
    showBackupProgress(c.view,
                       {.extra = "Buffer status:", .extraBar = static_cast<int>(std::max<int64_t>(full * 10, 0))});
}

void verifyProgress(BurnCallbackContext& c, void* p1, void* p2)
{
    const uint64_t done = valueAt<uint32_t>(p1);
    const uint64_t total = valueAt<uint32_t>(p2);
    c.state.WriteLog(Format("Callback: Verifying track %llu from %llu, completed: ",
                            static_cast<unsigned long long>(done), static_cast<unsigned long long>(total)));
    const uint64_t position = done * 1000 / std::max<uint64_t>(total, 1);
    // A run that measures its work keeps its bar; reading back is not part of that work.
    if (c.state.OnBurnProgress)
        showBackupProgress(c.view, {.extraBar = 0});
    else
        showBackupProgress(c.view, {.phaseBar = static_cast<int>(std::min<uint64_t>(position, 1000000)), .extraBar = 0});
}

std::string isoName(const NameCollisionRecord& record)
{
    const char* name = reinterpret_cast<const char*>(record.name);
    return std::string(name, strnlen(name, sizeof record.name));
}

// Writes a name over the record's, with its terminator, never past the field.
void putIsoName(NameCollisionRecord& record, const std::string& name)
{
    const std::size_t n = std::min(name.size(), sizeof record.name - 1);
    std::memcpy(record.name, name.data(), n);
    record.name[n] = 0;
}

void putJolietName(NameCollisionRecord& record, const std::u16string& name)
{
    const std::size_t units = std::min(name.size(), sizeof record.name / 2 - 1);
    std::memcpy(record.name, name.data(), units * 2);
    record.name[units * 2] = 0;
    record.name[units * 2 + 1] = 0;
}

void nameCollision(BurnCallbackContext& c, void* p1)
{
    if (!p1)
        return;
    auto& record = *static_cast<NameCollisionRecord*>(p1);
    const uint32_t existing = valueAt<uint32_t>(record.existingAttributes);
    const uint32_t added = valueAt<uint32_t>(record.addedAttributes);
    if ((existing & FolderAttribute) && (added & FolderAttribute)) {
        record.reply = CollisionReplyMerge;
        c.state.WriteLog("Callback: Name collision for folders. Merging them...");
        return;
    }
    c.state.WriteLog("Callback: Name collision for ");
    if (record.nameKind == 0) {
        const std::string name = isoName(record);
        c.state.WriteLog("ISO9660 : <" + name + "> -> ");
        const std::string renamed = RenameIsoName(name, c.state.RenameCounter);
        putIsoName(record, renamed);
        c.state.WriteLog(renamed);
    } else {
        const std::u16string name = jolietName(record);
        c.state.WriteLog("Joliet : <" + utf16ToUtf8(name) + "> -> ");
        const std::string when = c.dateTimeText ? c.dateTimeText() : LocaleDateTimeText();
        const std::u16string renamed = RenameJolietName(name, when);
        putJolietName(record, renamed);
        c.state.WriteLog("<" + utf16ToUtf8(renamed) + ">");
    }
    record.reply = CollisionReplyRenamed;
}

} // namespace

std::string RenameIsoName(std::string name, int32_t& counter)
{
    while (name.size() < 2)
        name += '0';
    const std::size_t e = extensionStart(name);
    const std::string extension = name.substr(e, 10);
    const std::string base = name.substr(0, e <= 8 ? e : 7);
    const std::string renamed = base + std::to_string(counter) + extension;
    ++counter;
    return renamed;
}

std::u16string RenameJolietName(std::u16string name, const std::string& dateTime)
{
    while (name.size() < 2)
        name += u'0';
    const std::size_t e = extensionStart(name);
    std::u16string renamed = name.substr(0, e) + u"_" + utf8ToUtf16(dateTime) + name.substr(e);
    for (char16_t& unit : renamed)
        // "/" and "\" too: a date such as 12/10/2026 must not turn the name into a path.
        if (unit <= 32 || unit == u':' || unit == u'.' || unit == u'/' || unit == u'\\')
            unit = u'_';
    return renamed;
}

std::string LocaleDateTimeText()
{
    std::tm local = platform::toTm(platform::localTime(std::time(nullptr)));
    std::ostringstream text;
    try {
        text.imbue(std::locale(""));
    } catch (const std::exception&) {
        // An unknown locale in the environment: the classic one writes the same fields.
    }
    text << std::put_time(&local, "%x %X");
    return text.str();
}

void BurnCallback(uint32_t code, void* context, void* p1, void* p2)
{
    if (!context)
        return;
    auto& c = *static_cast<BurnCallbackContext*>(context);
    RunState& s = c.state;
    switch (code & 0xFF) {
    case TREE_NODE_ADDED:
        ++s.TreeNodeCount;
        break;
    case TREE_NODE_REMOVED:
        --s.TreeNodeCount;
        break;
    case TREE_NAME_IGNORED: {
        const char* name = p1 ? static_cast<const char*>(p1) : "";
        s.WriteLog(Format("Callback(): Ignoring name \"%s\", tree node(s) %d", name, s.TreeNodeCount));
        break;
    }
    case TREE_NAME_COLLISION:
        nameCollision(c, p1);
        break;
    case TARGET_FILE_ANALYZE_BEGIN:
        s.WriteLog("Callback(): TARGET_FILE_ANALYZE_BEGIN");
        break;
    case TARGET_FILE_ANALYZE_END:
        s.WriteLog(Format("Callback(): Target file size in UCHARs %lld, LBs %lld", ll(valueAt<int64_t>(p1)),
                          ll(valueAt<int64_t>(p2))));
        s.WriteLog("Callback(): TARGET_FILE_ANALYZE_END");
        break;
    case WAIT_CACHE_FULL_BEGIN:
        s.WriteLog("Callback(): WAIT_CACHE_FULL_BEGIN");
        s.WriteLog(Format("Callback(): Waiting for cache full not more then %d ms... ", valueAt<int32_t>(p1)));
        break;
    case WAIT_CACHE_FULL_END:
        s.WriteLog("Ok!");
        s.WriteLog("Callback(): WAIT_CACHE_FULL_END");
        break;
    case SYNCHRONIZE_CACHE_BEGIN:
        s.WriteLog("Callback(): SYNCHRONIZE_CACHE_BEGIN");
        break;
    case SYNCHRONIZE_CACHE_END:
        s.WriteLog("Callback(): SYNCHRONIZE_CACHE_END");
        break;
    case CN_CDVD_WRITE_PROGRESS:
        writeProgress(c, p1, p2);
        break;
    case BUFFER_STATUS:
        bufferStatus(c, p1, p2);
        break;
    case TRACK_PROGRESS:
        s.WriteLog(
            Format("Callback: Processing track %d from %d, completed: ", valueAt<int32_t>(p1), valueAt<int32_t>(p2)));
        break;
    case TRACK_DONE:
        s.WriteLog("OK!");
        break;
    case SPLIT_SECTION_PROGRESS:
        s.WriteLog(Format("Callback: Processing split section %d from %d, completed: ", valueAt<int32_t>(p1),
                          valueAt<int32_t>(p2)));
        break;
    case SPLIT_SECTION_DONE:
        s.WriteLog("OK!");
        break;
    case DVDPLUSRW_FORMAT_BEGIN:
        s.WriteLog("Callback(): DVDPLUSRW_FORMAT_BEGIN");
        break;
    case DVDPLUSRW_FORMAT_END:
        s.WriteLog("Callback(): DVDPLUSRW_FORMAT_END");
        break;
    case BUFFER_UNDERRUN:
        s.WriteLog("Error: Buffer Underrun.");
        c.underrun = true;
        s.CancelRequested = true;
        break;
    case DVD_MEDIA_PADDING_SIZE:
        s.WriteLog(Format("Callback(): Target file size in LBs %lld, track padding size in LBs %d",
                          ll(valueAt<int64_t>(p1)), valueAt<int32_t>(p2)));
        s.WriteLog("Callback(): DVD_MEDIA_PADDING_SIZE");
        break;
    case DVD_MEDIA_PADDING_BEGIN:
        s.WriteLog("Callback(): DVD_MEDIA_PADDING_BEGIN");
        break;
    case DVD_MEDIA_PADDING_END:
        s.WriteLog("Callback(): DVD_MEDIA_PADDING_END");
        break;
    case DVDRW_QUICK_FORMAT_BEGIN:
        s.WriteLog("Callback(): DVDRW_QUICK_FORMAT_BEGIN");
        break;
    case DVDRW_QUICK_FORMAT_END:
        s.WriteLog("Callback(): DVDRW_QUICK_FORMAT_END");
        break;
    case VERIFY_PROGRESS:
        verifyProgress(c, p1, p2);
        break;
    default:
        break;
    }
}

} // namespace torvinel
