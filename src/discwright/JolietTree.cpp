#include "discwright/internal/JolietTree.h"

#include "discwright/AwaitedFile.h"
#include "discwright/internal/FileStream.h"
#include "discwright/internal/DriveDataSource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

namespace fs = std::filesystem;

namespace torvinel {

void ensureIsoLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        iso_init();
        // File names on POSIX are UTF-8 whatever the locale of the process says.
        iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
        // Failures come back as results; the library's own printing would only add noise.
        iso_set_msgs_severities(const_cast<char*>("NEVER"), const_cast<char*>("NEVER"),
                                const_cast<char*>("libisofs : "));
    });
}

IsoWriteOpts* newIsoWriteOpts()
{
    ensureIsoLibrary();
    IsoWriteOpts* opts = nullptr;
    if (iso_write_opts_new(&opts, 0) < 0)
        throw DriveFailure(DW_IMAGE_FAILED, 0, "Could not set up the image options");
    iso_write_opts_set_iso_level(opts, 3);
    iso_write_opts_set_joliet(opts, 1);
    iso_write_opts_set_rockridge(opts, 0);
    // The files' own times in both trees, not the time of writing.
    iso_write_opts_set_dir_rec_mtime(opts, 2);
    return opts;
}

namespace {

constexpr std::size_t JolietNameLimit = 64; // UTF-16 units

std::u16string fromBigEndian(const char* bytes, std::size_t length)
{
    std::u16string out;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        out.push_back(static_cast<char16_t>((static_cast<unsigned char>(bytes[i]) << 8)
                                            | static_cast<unsigned char>(bytes[i + 1])));
    return out;
}

void putAttributes(uint8_t* field, bool folder)
{
    const uint32_t value = folder ? FolderAttribute : 0x20;
    std::memcpy(field, &value, sizeof value);
}

// Reads up to count bytes, looping over short reads; returns the bytes read.
std::size_t readFully(IsoStream* stream, char* buffer, std::size_t count)
{
    std::size_t got = 0;
    while (got < count) {
        const int r = iso_stream_read(stream, buffer + got, count - got);
        if (r < 0)
            throw DriveFailure(DW_READ_FAILED, r, "Could not read from the disc");
        if (r == 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

bool sameContent(IsoStream* stream, const std::string& localPath)
{
    std::ifstream local(localPath, std::ios::binary);
    if (!local)
        return false;
    if (iso_stream_open(stream) < 0)
        return false;
    std::vector<char> a(65536), b(65536);
    bool same = true;
    try {
        for (;;) {
            const std::size_t n = readFully(stream, a.data(), a.size());
            local.read(b.data(), static_cast<std::streamsize>(b.size()));
            const auto m = static_cast<std::size_t>(local.gcount());
            if (n != m || std::memcmp(a.data(), b.data(), n) != 0) {
                same = false;
                break;
            }
            if (n < a.size())
                break;
        }
    } catch (const DriveFailure&) {
        same = false;
    }
    iso_stream_close(stream);
    return same;
}

// A file added to the image: its node and size, and what it awaits when it is an awaited file.
struct AddedFile {
    IsoNode* node = nullptr;
    uint64_t size = 0;
    std::optional<AwaitedFile> awaited;
};

// Adds the regular file at path to dir as name, read through a stream of our own. An awaited
// file is written while the rest of the disc is: it goes last, so the writer meets it as late
// as it can. Any other keeps its times. Returns the library's result.
int addFileNode(IsoImage* image, IsoDir* dir, const std::string& name, const std::string& path, AddedFile& added)
{
    added.awaited = awaitedFile(path);
    struct stat info { };
    if (!added.awaited && ::stat(path.c_str(), &info) != 0)
        return ISO_FILE_DOESNT_EXIST;
    added.size = added.awaited ? added.awaited->size : static_cast<uint64_t>(info.st_size);
    IsoStream* stream = newFileStream(path, added.size, added.awaited ? added.awaited->ready : nullptr);
    IsoFile* file = nullptr;
    const int r = iso_image_add_new_file(image, dir, name.c_str(), stream, &file);
    if (r < 0) {
        iso_stream_unref(stream);
        return r;
    }
    added.node = reinterpret_cast<IsoNode*>(file);
    if (added.awaited) {
        iso_node_set_sort_weight(added.node, -1000);
    } else {
        iso_node_set_mtime(added.node, info.st_mtim.tv_sec);
        iso_node_set_atime(added.node, info.st_atim.tv_sec);
        iso_node_set_ctime(added.node, info.st_ctim.tv_sec);
    }
    return r;
}

} // namespace

JolietTree::JolietTree(DiscwrightCallback callback, void* context) : m_callback(callback), m_context(context)
{
    ensureIsoLibrary();
    if (iso_image_new("", &m_image) < 0)
        throw DriveFailure(DW_IMAGE_FAILED, 0, "Could not create the file tree");
    m_nameOpts = newIsoWriteOpts();
}

JolietTree::~JolietTree()
{
    freeSource();
    if (m_nameOpts)
        iso_write_opts_free(m_nameOpts);
    if (m_image)
        iso_image_unref(m_image);
}

void JolietTree::freeSource()
{
    if (m_watchedSource) {
        m_watchedSource->free_data(m_watchedSource);
        std::free(m_watchedSource);
        m_watchedSource = nullptr;
    }
    m_watch.reset();
    if (!m_source)
        return;
    // Ends the generator thread if the image was not read to its end.
    if (m_source->version >= 1 && m_source->cancel)
        m_source->cancel(m_source);
    if (m_source->free_data)
        m_source->free_data(m_source);
    std::free(m_source);
    m_source = nullptr;
}

void JolietTree::notify(uint32_t code, void* parameter1, void* parameter2)
{
    if (m_callback)
        m_callback(code, m_context, parameter1, parameter2);
}

IsoDir* JolietTree::root() { return iso_image_get_root(m_image); }

void JolietTree::importSession(Drive& drive, uint32_t startBlock)
{
    IsoReadOpts* opts = nullptr;
    if (iso_read_opts_new(&opts, 0) < 0)
        throw DriveFailure(DW_IMAGE_FAILED, 0, "Could not set up the import");
    iso_read_opts_set_start_block(opts, startBlock);
    iso_read_opts_set_preferjoliet(opts, 1);
    IsoDataSource* src = newDriveDataSource(drive);
    const int r = iso_image_import(m_image, src, opts, nullptr);
    iso_read_opts_free(opts);
    iso_data_source_unref(src); // the image keeps its own reference
    m_names.clear();
    if (r < 0)
        throw DriveFailure(DW_READ_FAILED, r,
                           std::string("Could not import the session at block ") + std::to_string(startBlock) + ": "
                               + iso_error_to_msg(r));
}

JolietTree::Names& JolietTree::namesOf(IsoDir* dir)
{
    auto found = m_names.find(dir);
    if (found != m_names.end())
        return found->second;
    Names& names = m_names[dir];
    IsoDirIter* iter = nullptr;
    if (iso_dir_get_children(dir, &iter) >= 0) {
        IsoNode* node = nullptr;
        while (iso_dir_iter_next(iter, &node) == 1)
            names.joliet[jolietForm(iso_node_get_name(node), ISO_NODE_IS_DIR(node))] = node;
        iso_dir_iter_free(iter);
    }
    return names;
}

std::string JolietTree::jolietForm(const std::string& name, bool folder)
{
    char* result = nullptr;
    std::size_t length = 0;
    const int flag = 2 | (folder ? 0x100 : 0) | 0x200;
    if (iso_conv_name_chars(m_nameOpts, const_cast<char*>(name.data()), name.size(), &result, &length, flag) < 0
        || result == nullptr) {
        // A name that is not valid UTF-8: its valid parts, the rest as '_'.
        const std::string cleaned = utf16ToUtf8(utf8ToUtf16(name));
        if (cleaned == name)
            return utf16ToUtf8(utf8ToUtf16(name).substr(0, JolietNameLimit));
        return jolietForm(cleaned, folder);
    }
    std::string form = utf16ToUtf8(fromBigEndian(result, length));
    std::free(result);
    // The conversion adds the file version, and a dot to names without one; readers show
    // names without either.
    if (!folder && form.size() > 2 && form.compare(form.size() - 2, 2, ";1") == 0)
        form.resize(form.size() - 2);
    if (!folder && form.size() > 1 && form.back() == '.' && name.back() != '.')
        form.pop_back();
    return form;
}

std::string JolietTree::settleName(IsoDir* parent, const std::string& name, bool folder, const std::string& where,
                                   IsoDir*& mergeInto)
{
    mergeInto = nullptr;
    std::string candidate = name;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::string form = jolietForm(candidate, folder);
        Names& names = namesOf(parent);
        auto existing = names.joliet.find(form);
        if (existing == names.joliet.end())
            return form;
        const bool existingFolder = ISO_NODE_IS_DIR(existing->second);

        NameCollisionRecord record;
        std::memset(&record, 0, sizeof record);
        record.nameKind = 1;
        const std::u16string units = utf8ToUtf16(form);
        std::memcpy(record.name, units.data(), std::min(units.size() * 2, sizeof record.name - 2));
        putAttributes(record.existingAttributes, existingFolder);
        putAttributes(record.addedAttributes, folder);
        notify(TREE_NAME_COLLISION, &record, nullptr);

        if (record.reply == CollisionReplyMerge && folder && existingFolder) {
            mergeInto = reinterpret_cast<IsoDir*>(existing->second);
            return form;
        }
        if (record.reply != CollisionReplyRenamed)
            break;
        candidate = utf16ToUtf8(jolietName(record));
        if (candidate.empty())
            break;
    }
    // Not settled by the callback: a unique name of our own, so that nothing is left out.
    const std::u16string original = utf8ToUtf16(jolietForm(name, folder));
    std::u16string base = original, extension;
    const auto dot = original.rfind(u'.');
    if (!folder && dot != std::u16string::npos && dot > 0 && original.size() - dot <= 10) {
        base = original.substr(0, dot);
        extension = original.substr(dot);
    }
    for (int k = 1;; ++k) {
        const std::u16string suffix = utf8ToUtf16("~" + std::to_string(k));
        const std::size_t room = JolietNameLimit - suffix.size() - extension.size();
        const std::string attempt = utf16ToUtf8(base.substr(0, room) + suffix + extension);
        const std::string form = jolietForm(attempt, folder);
        if (!namesOf(parent).joliet.count(form))
            return form;
        if (k > 100000)
            throw DriveFailure(DW_IMAGE_FAILED, 0, "No free name for " + where);
    }
}

IsoDir* JolietTree::add(const std::string& sourceFolder, const std::string& nameInImage, IsoDir* parent)
{
    if (m_source)
        throw DriveFailure(DW_IMAGE_FAILED, 0, "The image is already built");
    if (parent == nullptr)
        parent = root();
    std::error_code ec;
    const fs::path source = fs::absolute(fs::path(sourceFolder), ec);
    if (ec || !fs::is_directory(source, ec))
        throw DriveFailure(DW_GENERAL_FAILURE, ENOENT, "The folder " + sourceFolder + " does not exist");

    IsoDir* mergeInto = nullptr;
    const std::string name = settleName(parent, nameInImage, true, nameInImage, mergeInto);
    IsoDir* dir = mergeInto;
    if (!dir) {
        const int r = iso_tree_add_new_dir(parent, name.c_str(), &dir);
        if (r < 0)
            throw DriveFailure(DW_IMAGE_FAILED, r, "Could not add the folder " + name + ": " + iso_error_to_msg(r));
        namesOf(parent).joliet[name] = reinterpret_cast<IsoNode*>(dir);
        notify(TREE_NODE_ADDED, nullptr, nullptr);
    }
    // The image path of parent: walk up to the root.
    std::string parentPath;
    for (IsoDir* d = parent; d && d != root(); d = iso_node_get_parent(reinterpret_cast<IsoNode*>(d)))
        parentPath = "/" + std::string(iso_node_get_name(reinterpret_cast<IsoNode*>(d))) + parentPath;
    addContent(source.string(), dir, parentPath + "/" + iso_node_get_name(reinterpret_cast<IsoNode*>(dir)));
    return dir;
}

void JolietTree::addContent(const std::string& sourceFolder, IsoDir* dir, const std::string& imagePath)
{
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(sourceFolder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    if (ec)
        throw DriveFailure(DW_GENERAL_FAILURE, ec.value(), "Could not list " + sourceFolder + ": " + ec.message());
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });

    for (const auto& entry : entries) {
        const std::string fileName = entry.path().filename().string();
        const auto status = entry.symlink_status(ec);
        const bool folder = fs::is_directory(status);
        if (ec || (!folder && !fs::is_regular_file(status))) {
            // Links, pipes and devices have no place on a backup disc.
            notify(TREE_NAME_IGNORED, const_cast<char*>(fileName.c_str()), nullptr);
            continue;
        }
        IsoDir* mergeInto = nullptr;
        const std::string name = settleName(dir, fileName, folder, imagePath + "/" + fileName, mergeInto);
        if (folder) {
            IsoDir* sub = mergeInto;
            if (!sub) {
                const int r = iso_tree_add_new_dir(dir, name.c_str(), &sub);
                if (r < 0)
                    throw DriveFailure(DW_IMAGE_FAILED, r, "Could not add the folder " + entry.path().string());
                namesOf(dir).joliet[name] = reinterpret_cast<IsoNode*>(sub);
                notify(TREE_NODE_ADDED, nullptr, nullptr);
            }
            addContent(entry.path().string(), sub,
                       imagePath + "/" + iso_node_get_name(reinterpret_cast<IsoNode*>(sub)));
        } else {
            AddedFile added;
            const int r = addFileNode(m_image, dir, name, entry.path().string(), added);
            if (r < 0)
                throw DriveFailure(DW_IMAGE_FAILED, r,
                                   "Could not add the file " + entry.path().string() + ": " + iso_error_to_msg(r));
            namesOf(dir).joliet[name] = added.node;
            m_files.push_back({imagePath + "/" + name, entry.path().string(), added.size});
            if (added.awaited && (added.awaited->streamed || added.awaited->laidOut))
                m_watchers.push_back({added.awaited->streamed, added.awaited->laidOut});
            notify(TREE_NODE_ADDED, nullptr, nullptr);
        }
    }
}

void JolietTree::placeFirst(IsoDir* folder, const std::string& name)
{
    IsoNode* node = nullptr;
    if (iso_dir_get_node(folder, name.c_str(), &node) == 1 && node)
        iso_node_set_sort_weight(node, 1000);
}

void JolietTree::buildImage(uint32_t startBlock, const std::string& volumeLabel, const std::string& publisher,
                            const std::string& application)
{
    if (m_source)
        throw DriveFailure(DW_IMAGE_FAILED, 0, "The image is already built");
    notify(TARGET_FILE_ANALYZE_BEGIN, nullptr, nullptr);
    // An import replaces the ids, so they are set here.
    iso_image_set_volume_id(m_image, volumeLabel.c_str());
    iso_image_set_publisher_id(m_image, publisher.c_str());
    iso_image_set_application_id(m_image, application.c_str());
    IsoWriteOpts* opts = newIsoWriteOpts();
    // A Rock Ridge tree beside the Joliet one, for systems that read that first. Its owners and
    // permissions are not those of the account that wrote the disc: anyone who mounts it may
    // read every file.
    iso_write_opts_set_rockridge(opts, 1);
    iso_write_opts_set_replace_mode(opts, 2, 2, 2, 2);
    iso_write_opts_set_default_dir_mode(opts, 0555);
    iso_write_opts_set_default_file_mode(opts, 0444);
    iso_write_opts_set_default_uid(opts, 0);
    iso_write_opts_set_default_gid(opts, 0);
    // The session's MD5, recorded on the disc, so standard tools can check it without this
    // program (readers find it through the AAIP fields of the Rock Ridge tree). Each file's
    // MD5 is in STATUS.INI already; recording it here too would cost another pass over the
    // data, a tenth of a backup's time.
    iso_write_opts_set_aaip(opts, 1);
    iso_write_opts_set_record_md5(opts, 1, 0);
    iso_write_opts_set_sort_files(opts, 1); // files placed first (placeFirst) lead the session
    m_overwrite.clear();
    if (startBlock > 0) {
        iso_write_opts_set_appendable(opts, 1);
        iso_write_opts_set_ms_block(opts, startBlock);
        m_overwrite.assign(32 * 2048, 0);
        iso_write_opts_set_overwrite_buf(opts, m_overwrite.data());
    }
    const int r = iso_image_create_burn_source(m_image, opts, &m_source);
    uint32_t dataStart = 0;
    // Where the files' data begins is fixed with the layout, before the first byte is made.
    const bool dataStartKnown = r >= 0 && iso_write_opts_get_data_start(opts, &dataStart, 0) == 1;
    iso_write_opts_free(opts);
    if (r < 0) {
        m_source = nullptr;
        m_overwrite.clear();
        throw DriveFailure(DW_IMAGE_FAILED, r, std::string("Could not build the image: ") + iso_error_to_msg(r));
    }
    m_startBlock = startBlock;
    m_volumeLabel = volumeLabel;
    m_imageSize = m_source->get_size(m_source);
    if (!m_watchers.empty()) {
        try {
            if (!dataStartKnown)
                throw DriveFailure(DW_IMAGE_FAILED, 0, "Could not learn where the image's file data starts");
            m_watch = std::make_unique<ImageWatch>(m_watchers, m_files, startBlock,
                                                   static_cast<uint64_t>(m_imageSize) / 2048, dataStart);
            m_watchedSource = newWatchedSource(m_source, *m_watch);
        } catch (...) {
            freeSource();
            m_overwrite.clear();
            throw;
        }
    }
    int64_t bytes = m_imageSize;
    int64_t blocks = m_imageSize / 2048;
    notify(TARGET_FILE_ANALYZE_END, &bytes, &blocks);
}

// The library's thread puts the image into its buffer 2 KiB at a time and wakes a waiting
// reader at each of those: a reader that asked for a piece at once would be woken some hundred
// times for it. Asked only once the piece is there, it is woken once.
void JolietTree::awaitPiece(std::size_t bytes) const
{
    for (;;) {
        std::size_t size = 0, free = 0;
        const int state = iso_ring_buffer_get_status(m_source, &size, &free);
        // Not filling any more (ended or failed), or a buffer that never holds a piece: the read
        // takes what there is, or tells the failure.
        if (state != 1 || size < bytes || size - free >= bytes)
            return;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void JolietTree::pumpImage(const std::function<void(const uint8_t*, std::size_t)>& sink, const DriveNotify& notify,
                           const BufferStatus& bufferStatus)
{
    if (!m_source)
        throw DriveFailure(DW_IMAGE_FAILED, 0, "The image was not built");
    int64_t total = m_imageSize;
    int64_t written = 0;
    int64_t lastPercent = -1;
    // Large pieces: each read is a hand-over with the library's writing thread. The last one
    // asks for just what is left, or the library's reader would lose it.
    std::vector<uint8_t> piece(256 * 1024);
    while (written < total) {
        const auto want = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(piece.size()), total - written));
        awaitPiece(static_cast<std::size_t>(want));
        const int n = m_source->read_xt(m_source, piece.data(), want);
        if (n <= 0)
            break;
        if (m_watch)
            m_watch->take(piece.data(), static_cast<std::size_t>(n));
        sink(piece.data(), static_cast<std::size_t>(n));
        written += n;
        const int64_t percent = written * 100 / total;
        if (percent != lastPercent && notify) {
            lastPercent = percent;
            notify(CN_CDVD_WRITE_PROGRESS, &total, &written);
            uint32_t size32 = 0, free32 = 0;
            if (bufferStatus) {
                std::tie(size32, free32) = bufferStatus();
            } else {
                std::size_t size = 0, free = 0;
                if (iso_ring_buffer_get_status(m_source, &size, &free) >= 0) {
                    size32 = static_cast<uint32_t>(size);
                    free32 = static_cast<uint32_t>(free);
                }
            }
            if (size32 > 0)
                notify(BUFFER_STATUS, &size32, &free32);
        }
    }
    if (written != total)
        throw DriveFailure(DW_WRITE_FAILED, 0,
                           "The image ended after " + std::to_string(written) + " of " + std::to_string(total)
                               + " bytes");
}

std::optional<DriveFailure> JolietTree::imageFailure() const
{
    if (!m_watch || !m_watch->failed())
        return std::nullopt;
    return m_watch->failure();
}

uint32_t JolietTree::verify(Drive& drive, uint32_t startBlock, const DriveNotify& notify)
{
    IsoImage* image = nullptr;
    if (iso_image_new("", &image) < 0)
        throw DriveFailure(DW_IMAGE_FAILED, 0, "Could not create the file tree");
    IsoReadOpts* opts = nullptr;
    iso_read_opts_new(&opts, 0);
    iso_read_opts_set_start_block(opts, startBlock);
    iso_read_opts_set_preferjoliet(opts, 1);
    IsoDataSource* src = newDriveDataSource(drive);
    const int r = iso_image_import(image, src, opts, nullptr);
    iso_read_opts_free(opts);
    iso_data_source_unref(src);
    if (r < 0) {
        iso_image_unref(image);
        throw DriveFailure(DW_VERIFY_MISMATCH, r,
                           std::string("The written session cannot be read: ") + iso_error_to_msg(r));
    }
    uint64_t totalBlocks = 0;
    std::vector<uint64_t> blocks;
    for (const auto& file : m_files) {
        std::error_code ec;
        const auto size = fs::file_size(file.localPath, ec);
        blocks.push_back(ec ? 0 : (size + 2047) / 2048);
        totalBlocks += blocks.back();
    }
    uint32_t total = static_cast<uint32_t>(std::min<uint64_t>(totalBlocks, UINT32_MAX));
    uint32_t done = 0;
    uint32_t mismatches = 0;
    if (notify)
        notify(VERIFY_PROGRESS, &done, &total);
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        IsoNode* node = nullptr;
        bool same = false;
        if (iso_tree_path_to_node(image, m_files[i].imagePath.c_str(), &node) == 1 && node && ISO_NODE_IS_FILE(node))
            same = sameContent(iso_file_get_stream(reinterpret_cast<IsoFile*>(node)), m_files[i].localPath);
        if (!same)
            ++mismatches;
        done = static_cast<uint32_t>(std::min<uint64_t>(done + blocks[i], total));
        if (notify)
            notify(VERIFY_PROGRESS, &done, &total);
    }
    iso_image_unref(image);
    return mismatches;
}

} // namespace torvinel
