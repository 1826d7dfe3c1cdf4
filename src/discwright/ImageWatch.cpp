#include "discwright/internal/ImageWatch.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <unordered_map>
#include <utility>

namespace torvinel {

namespace {

constexpr uint64_t BlockBytes = 2048;
constexpr uint32_t SystemAreaBlocks = 16; // before the first volume descriptor

uint64_t blocksOf(uint64_t bytes) { return (bytes + BlockBytes - 1) / BlockBytes; }

// The image's leading blocks as libisofs reads them: from the first block of the session on,
// as far as they were kept; any other block is a read failure.
struct LeadingBlocks {
    const std::vector<uint8_t>* bytes;
    uint32_t firstBlock;
};

int openLeading(IsoDataSource*) { return ISO_SUCCESS; }

int closeLeading(IsoDataSource*) { return ISO_SUCCESS; }

int readLeading(IsoDataSource* source, uint32_t block, uint8_t* buffer)
{
    const auto& leading = *static_cast<const LeadingBlocks*>(source->data);
    if (block < leading.firstBlock)
        return ISO_DATA_SOURCE_FAILURE;
    const uint64_t offset = static_cast<uint64_t>(block - leading.firstBlock) * BlockBytes;
    if (offset + BlockBytes > leading.bytes->size())
        return ISO_DATA_SOURCE_FAILURE;
    std::memcpy(buffer, leading.bytes->data() + offset, BlockBytes);
    return ISO_SUCCESS;
}

void freeLeading(IsoDataSource* source) { delete static_cast<LeadingBlocks*>(source->data); }

IsoDataSource* newLeadingSource(const std::vector<uint8_t>& bytes, uint32_t firstBlock)
{
    // libisofs frees the record with free() when the last reference goes.
    auto* source = static_cast<IsoDataSource*>(std::calloc(1, sizeof(IsoDataSource)));
    if (source == nullptr)
        throw std::bad_alloc();
    try {
        source->data = new LeadingBlocks{&bytes, firstBlock};
    } catch (...) {
        std::free(source);
        throw;
    }
    source->version = 0;
    source->refcount = 1;
    source->open = openLeading;
    source->close = closeLeading;
    source->read_block = readLeading;
    source->free_data = freeLeading;
    return source;
}

struct Placement {
    uint64_t block = 0;
    uint64_t size = 0;
    bool contiguous = true;
};

// Every file of the imported tree by its path from the root, with where its data lies.
std::unordered_map<std::string, Placement> placementsOf(IsoImage* image)
{
    std::unordered_map<std::string, Placement> placements;
    std::vector<std::pair<IsoDir*, std::string>> folders{{iso_image_get_root(image), ""}};
    while (!folders.empty()) {
        auto [folder, path] = std::move(folders.back());
        folders.pop_back();
        IsoDirIter* children = nullptr;
        if (iso_dir_get_children(folder, &children) < 0)
            throw DriveFailure(DW_IMAGE_FAILED, 0, "Could not read the layout of the image: a folder cannot be listed");
        IsoNode* node = nullptr;
        while (iso_dir_iter_next(children, &node) == 1) {
            const std::string nodePath = path + "/" + iso_node_get_name(node);
            if (ISO_NODE_IS_DIR(node)) {
                folders.emplace_back(reinterpret_cast<IsoDir*>(node), nodePath);
                continue;
            }
            if (!ISO_NODE_IS_FILE(node))
                continue;
            int count = 0;
            struct iso_file_section* sections = nullptr;
            if (iso_file_get_old_image_sections(reinterpret_cast<IsoFile*>(node), &count, &sections, 0) != 1)
                continue; // not placed in the image read: the check of the tree's files tells
            Placement placement;
            for (int i = 0; i < count; ++i) {
                if (i == 0)
                    placement.block = sections[i].block;
                // A file of several extents is one run of blocks only when each starts where
                // the one before ends.
                else if (sections[i].block != placement.block + blocksOf(placement.size))
                    placement.contiguous = false;
                placement.size += sections[i].size;
            }
            std::free(sections);
            placements[nodePath] = placement;
        }
        iso_dir_iter_free(children);
    }
    return placements;
}

} // namespace

ImageWatch::ImageWatch(std::vector<Watcher> watchers, const std::vector<TreeFile>& files, uint32_t startBlock,
                       uint64_t blocks, uint32_t dataStart)
    : m_watchers(std::move(watchers)),
      m_files(files),
      m_startBlock(startBlock),
      m_blocks(blocks),
      m_dataStart(dataStart),
      m_leadingBytes(0)
{
    if (dataStart < static_cast<uint64_t>(startBlock) + SystemAreaBlocks + 1
        || dataStart > static_cast<uint64_t>(startBlock) + blocks)
        throw DriveFailure(DW_IMAGE_FAILED, 0,
                           "The image's file data starts at block " + std::to_string(dataStart)
                               + ", outside its blocks " + std::to_string(startBlock) + " to "
                               + std::to_string(static_cast<uint64_t>(startBlock) + blocks));
    m_leadingBytes = static_cast<std::size_t>(dataStart - startBlock) * BlockBytes;
    m_leading.reserve(m_leadingBytes);
}

void ImageWatch::take(const uint8_t* data, std::size_t bytes)
{
    if (failed())
        throw failure();
    try {
        deliver(data, bytes);
    } catch (const DriveFailure& raised) {
        fail(raised.exception(), raised.status(), raised.what());
    } catch (const std::exception& raised) {
        // A watcher's own failure: the burn fails with its message.
        fail(DW_WRITE_FAILED, 0, raised.what());
    } catch (...) {
        fail(DW_WRITE_FAILED, 0, "A watcher of the image failed");
    }
}

void ImageWatch::fail(DiscwrightException number, int32_t status, const std::string& message)
{
    m_failureNumber = number;
    m_failureStatus = status;
    m_failure = message;
    m_failed.store(true, std::memory_order_release);
    throw failure();
}

void ImageWatch::deliver(const uint8_t* data, std::size_t bytes)
{
    if (!m_laidOut) {
        // Every leading byte is streamed before the layout goes out, and no later one.
        const std::size_t leading = std::min(bytes, m_leadingBytes - m_leading.size());
        m_leading.insert(m_leading.end(), data, data + leading);
        for (const Watcher& watcher : m_watchers)
            if (watcher.streamed && leading > 0)
                watcher.streamed(data, leading);
        data += leading;
        bytes -= leading;
        if (m_leading.size() < m_leadingBytes)
            return;
        const ImageLayout layout = readLayout();
        m_laidOut = true;
        std::vector<uint8_t>().swap(m_leading);
        for (const Watcher& watcher : m_watchers)
            if (watcher.laidOut)
                watcher.laidOut(layout);
    }
    if (bytes == 0)
        return;
    for (const Watcher& watcher : m_watchers)
        if (watcher.streamed)
            watcher.streamed(data, bytes);
}

ImageLayout ImageWatch::readLayout() const
{
    IsoImage* image = nullptr;
    if (iso_image_new("", &image) < 0)
        throw DriveFailure(DW_IMAGE_FAILED, 0, "Could not read the layout of the image: no memory");
    IsoReadOpts* opts = nullptr;
    if (iso_read_opts_new(&opts, 0) < 0) {
        iso_image_unref(image);
        throw DriveFailure(DW_IMAGE_FAILED, 0, "Could not read the layout of the image: no memory");
    }
    iso_read_opts_set_start_block(opts, m_startBlock);
    // The tree's names are Joliet names.
    iso_read_opts_set_preferjoliet(opts, 1);
    // Only the leading blocks are at hand: nothing that lies after the files' data (the
    // array of MD5s) may be asked for, and nothing beyond the tree is needed.
    iso_read_opts_set_no_md5(opts, 1);
    iso_read_opts_set_no_aaip(opts, 1);
    iso_read_opts_set_no_iso1999(opts, 1);
    IsoDataSource* source = newLeadingSource(m_leading, m_startBlock);
    const int r = iso_image_import(image, source, opts, nullptr);
    iso_read_opts_free(opts);
    iso_data_source_unref(source); // the image keeps its own reference
    if (r < 0) {
        iso_image_unref(image);
        throw DriveFailure(DW_IMAGE_FAILED, r,
                           std::string("Could not read the layout of the image: ") + iso_error_to_msg(r));
    }
    std::unordered_map<std::string, Placement> placements;
    try {
        placements = placementsOf(image);
    } catch (...) {
        iso_image_unref(image);
        throw;
    }
    iso_image_unref(image);

    ImageLayout layout;
    layout.startBlock = m_startBlock;
    layout.blocks = m_blocks;
    layout.files.reserve(m_files.size());
    const uint64_t end = static_cast<uint64_t>(m_startBlock) + m_blocks;
    for (const TreeFile& file : m_files) {
        const auto found = placements.find(file.imagePath);
        if (found == placements.end())
            throw DriveFailure(DW_IMAGE_FAILED, 0, "The layout of the image does not list " + file.imagePath);
        const Placement& placement = found->second;
        if (placement.size != file.size)
            throw DriveFailure(DW_IMAGE_FAILED, 0,
                               "The layout of the image gives " + file.imagePath + " " + std::to_string(placement.size)
                                   + " bytes instead of " + std::to_string(file.size));
        // An empty file takes no block, wherever its record points.
        if (file.size > 0
            && (!placement.contiguous || placement.block < m_dataStart
                || placement.block + blocksOf(placement.size) > end))
            throw DriveFailure(DW_IMAGE_FAILED, 0,
                               "The layout of the image places " + file.imagePath
                                   + " outside one run of the file data's blocks");
        layout.files.push_back({file.localPath, placement.block, placement.size});
    }
    std::stable_sort(
        layout.files.begin(), layout.files.end(),
        [](const ImageLayout::PlacedFile& a, const ImageLayout::PlacedFile& b) { return a.block < b.block; });
    return layout;
}

namespace {

struct WatchedSource {
    struct burn_source* image;
    ImageWatch* watch;
};

WatchedSource& watchedOf(struct burn_source* source) { return *static_cast<WatchedSource*>(source->data); }

int readWatched(struct burn_source* source, unsigned char* buffer, int size)
{
    WatchedSource& watched = watchedOf(source);
    if (watched.watch->failed())
        return -1;
    struct burn_source* image = watched.image;
    const int n = image->read != nullptr ? image->read(image, buffer, size) : image->read_xt(image, buffer, size);
    if (n <= 0)
        return n;
    // libburn's thread must not meet an exception; the watch keeps the message for the burn.
    try {
        watched.watch->take(buffer, static_cast<std::size_t>(n));
    } catch (...) {
        return -1;
    }
    return n;
}

off_t sizeOfWatched(struct burn_source* source)
{
    struct burn_source* image = watchedOf(source).image;
    return image->get_size(image);
}

int setSizeOfWatched(struct burn_source* source, off_t size)
{
    struct burn_source* image = watchedOf(source).image;
    return image->set_size != nullptr ? image->set_size(image, size) : 0;
}

int cancelWatched(struct burn_source* source)
{
    struct burn_source* image = watchedOf(source).image;
    return image->version >= 1 && image->cancel != nullptr ? image->cancel(image) : 0;
}

void freeWatched(struct burn_source* source) { delete &watchedOf(source); }

} // namespace

struct burn_source* newWatchedSource(struct burn_source* image, ImageWatch& watch)
{
    // Freed with free() like the image's own source.
    auto* source = static_cast<struct burn_source*>(std::calloc(1, sizeof(struct burn_source)));
    if (source == nullptr)
        throw std::bad_alloc();
    try {
        source->data = new WatchedSource{image, &watch};
    } catch (...) {
        std::free(source);
        throw;
    }
    source->refcount = 1;
    source->version = 1;
    source->read = nullptr; // read_xt does its work
    source->read_sub = nullptr;
    source->get_size = sizeOfWatched;
    source->set_size = setSizeOfWatched;
    source->free_data = freeWatched;
    source->next = nullptr;
    source->read_xt = readWatched;
    source->cancel = cancelWatched;
    return source;
}

} // namespace torvinel
