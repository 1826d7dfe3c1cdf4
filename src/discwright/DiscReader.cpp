#include "discwright/DiscReader.h"

#include "discwright/DiscPath.h"
#include "discwright/internal/IsoHeaders.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace torvinel {

namespace {

void sortEntries(std::vector<DiscReader::Entry>& entries)
{
    std::sort(entries.begin(), entries.end(),
              [](const DiscReader::Entry& a, const DiscReader::Entry& b) { return a.name < b.name; });
}

// Writes through a temporary name and renames, so a failed copy leaves nothing behind. The
// copy gets the time the file has on the disc: a catalog's time is when its backup ran, and
// the restore chooser dates the backup sets by it.
template <class Fill>
bool copyInto(const std::string& target, int64_t expectedSize, fs::file_time_type written, Fill&& fill)
{
    const std::string part = target + ".part";
    bool ok = false;
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        if (out) {
            const int64_t copied = fill(out);
            out.flush();
            ok = out.good() && copied == expectedSize;
        }
    }
    std::error_code ec;
    if (ok) {
        fs::last_write_time(part, written, ec);
        ok = !ec;
    }
    if (ok) {
        fs::rename(part, target, ec);
        ok = !ec;
    }
    if (!ok)
        fs::remove(part, ec);
    return ok;
}

class FolderReader : public DiscReader {
public:
    explicit FolderReader(std::string root) : m_root(std::move(root)) { }

    std::string location() const override { return m_root; }

    bool exists(const std::string& path) override
    {
        std::error_code ec;
        return safeDiscPath(path) && fs::is_regular_file(fs::path(m_root) / path, ec);
    }

    bool copy(const std::string& path, const std::string& target) override
    {
        if (!exists(path))
            return false;
        const fs::path source = fs::path(m_root) / path;
        std::error_code ec;
        const auto size = fs::file_size(source, ec);
        if (ec)
            return false;
        const fs::file_time_type written = fs::last_write_time(source, ec);
        if (ec)
            return false;
        std::ifstream in(source, std::ios::binary);
        if (!in)
            return false;
        return copyInto(target, static_cast<int64_t>(size), written, [&](std::ofstream& out) {
            std::vector<char> buffer(1 << 20);
            int64_t total = 0;
            while (in) {
                in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
                const auto n = in.gcount();
                if (n <= 0)
                    break;
                out.write(buffer.data(), n);
                total += n;
            }
            return in.bad() ? -1 : total;
        });
    }

    std::optional<Extent> locate(const std::string& path) override
    {
        if (!exists(path))
            return std::nullopt;
        const fs::path source = fs::path(m_root) / path;
        std::error_code ec;
        const auto size = fs::file_size(source, ec);
        if (ec)
            return std::nullopt;
        return Extent{source.string(), 0, static_cast<uint64_t>(size)};
    }

    std::vector<Entry> list(const std::string& folder) override
    {
        std::vector<Entry> entries;
        if (!folder.empty() && !safeDiscPath(folder))
            return entries;
        std::error_code ec;
        for (fs::directory_iterator it(fs::path(m_root) / folder, ec), end; !ec && it != end; it.increment(ec)) {
            const auto status = it->symlink_status(ec);
            if (ec)
                break;
            if (fs::is_directory(status) || fs::is_regular_file(status))
                entries.push_back({it->path().filename().string(), fs::is_directory(status)});
        }
        sortEntries(entries);
        return entries;
    }

private:
    std::string m_root;
};

class IsoFileReader : public DiscReader {
public:
    explicit IsoFileReader(std::string file) : m_file(std::move(file)) { }
    ~IsoFileReader() override
    {
        if (m_image)
            iso_image_unref(m_image);
    }

    std::string location() const override { return m_file; }

    bool exists(const std::string& path) override
    {
        IsoNode* node = find(path);
        return node && ISO_NODE_IS_FILE(node);
    }

    bool copy(const std::string& path, const std::string& target) override
    {
        IsoNode* node = find(path);
        if (!node || !ISO_NODE_IS_FILE(node))
            return false;
        IsoStream* stream = iso_file_get_stream(reinterpret_cast<IsoFile*>(node));
        if (iso_stream_open(stream) < 0)
            return false;
        const int64_t size = iso_stream_get_size(stream);
        const auto written =
            std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(iso_node_get_mtime(node)));
        const bool ok = copyInto(target, size, written, [&](std::ofstream& out) {
            std::vector<char> buffer(1 << 16);
            int64_t total = 0;
            for (;;) {
                const int n = iso_stream_read(stream, buffer.data(), buffer.size());
                if (n < 0)
                    return int64_t{-1};
                if (n == 0)
                    break;
                out.write(buffer.data(), n);
                total += n;
            }
            return total;
        });
        iso_stream_close(stream);
        return ok;
    }

    // The extents of a file of an image, as recorded in its directory; the image holds the
    // bytes as they are when no filter stands between and the extents follow each other.
    std::optional<Extent> locate(const std::string& path) override
    {
        IsoNode* node = find(path);
        if (!node || !ISO_NODE_IS_FILE(node))
            return std::nullopt;
        IsoFile* file = reinterpret_cast<IsoFile*>(node);
        IsoStream* stream = iso_file_get_stream(file);
        if (!stream || iso_stream_get_input_stream(stream, 0) != nullptr)
            return std::nullopt;
        int count = 0;
        iso_file_section* sections = nullptr;
        if (iso_file_get_old_image_sections(file, &count, &sections, 0) != 1 || count < 1) {
            std::free(sections);
            return std::nullopt;
        }
        constexpr uint64_t blockSize = 2048;
        Extent extent{m_file, uint64_t{sections[0].block} * blockSize, 0};
        bool whole = true;
        for (int i = 0; i < count && whole; ++i) {
            whole = uint64_t{sections[i].block} * blockSize == extent.offset + extent.length;
            extent.length += sections[i].size;
        }
        std::free(sections);
        if (!whole || static_cast<int64_t>(extent.length) != iso_stream_get_size(stream))
            return std::nullopt;
        return extent;
    }

    // The image's tree, when it can be read, tells whether the image is that disc's.
    std::optional<std::string> medium(const std::string& discId) override
    {
        if (load() && !find(discId))
            return std::nullopt;
        return m_file;
    }

    std::vector<Entry> list(const std::string& folder) override
    {
        std::vector<Entry> entries;
        IsoNode* node = folder.empty() ? (load() ? reinterpret_cast<IsoNode*>(iso_image_get_root(m_image)) : nullptr)
                                       : find(folder);
        if (!node || !ISO_NODE_IS_DIR(node))
            return entries;
        IsoDirIter* iter = nullptr;
        if (iso_dir_get_children(reinterpret_cast<IsoDir*>(node), &iter) < 0)
            return entries;
        IsoNode* child = nullptr;
        while (iso_dir_iter_next(iter, &child) == 1)
            entries.push_back({iso_node_get_name(child), static_cast<bool>(ISO_NODE_IS_DIR(child))});
        iso_dir_iter_free(iter);
        sortEntries(entries);
        return entries;
    }

private:
    bool load()
    {
        if (m_image)
            return true;
        if (m_failed)
            return false;
        ensureIsoLibrary();
        m_failed = true;
        IsoDataSource* src = nullptr;
        if (iso_data_source_new_from_file(m_file.c_str(), &src) < 0)
            return false;
        IsoReadOpts* opts = nullptr;
        iso_read_opts_new(&opts, 0);
        iso_read_opts_set_preferjoliet(opts, 1);
        IsoImage* image = nullptr;
        int r = iso_image_new("", &image);
        if (r >= 0)
            r = iso_image_import(image, src, opts, nullptr);
        iso_read_opts_free(opts);
        iso_data_source_unref(src);
        if (r < 0) {
            if (image)
                iso_image_unref(image);
            return false;
        }
        m_image = image;
        m_failed = false;
        return true;
    }

    IsoNode* find(const std::string& path)
    {
        if (!safeDiscPath(path) || !load())
            return nullptr;
        IsoNode* node = nullptr;
        if (iso_tree_path_to_node(m_image, ("/" + path).c_str(), &node) != 1)
            return nullptr;
        return node;
    }

    std::string m_file;
    IsoImage* m_image = nullptr;
    bool m_failed = false;
};

class ImageShelfReader : public DiscReader {
public:
    explicit ImageShelfReader(std::string folder) : m_folder(std::move(folder)) { }

    std::string location() const override { return m_folder; }

    bool exists(const std::string& path) override
    {
        DiscReader* disc = discOf(path);
        return disc && disc->exists(path);
    }

    bool copy(const std::string& path, const std::string& target) override
    {
        DiscReader* disc = discOf(path);
        return disc && disc->copy(path, target);
    }

    std::optional<Extent> locate(const std::string& path) override
    {
        DiscReader* disc = discOf(path);
        return disc ? disc->locate(path) : std::nullopt;
    }

    std::optional<std::string> medium(const std::string& discId) override
    {
        if (!safeDiscPath(discId) || discId.find('/') != std::string::npos)
            return std::nullopt;
        const fs::path image = fs::path(m_folder) / (discId + ".iso");
        std::error_code ec;
        if (!fs::is_regular_file(image, ec))
            return std::nullopt;
        return image.string();
    }

    std::vector<Entry> list(const std::string& folder) override
    {
        if (!folder.empty()) {
            DiscReader* disc = discOf(folder);
            return disc ? disc->list(folder) : std::vector<Entry>{};
        }
        std::vector<Entry> discs;
        std::error_code ec;
        for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path& p = it->path();
            if (p.extension() == ".iso" && it->is_regular_file(ec))
                discs.push_back({p.stem().string(), true});
        }
        sortEntries(discs);
        return discs;
    }

private:
    // The image of the disc a path begins with, loaded when it is on the shelf.
    DiscReader* discOf(const std::string& path)
    {
        if (!safeDiscPath(path))
            return nullptr;
        const std::string discId = path.substr(0, path.find('/'));
        if (discId != m_discId || !m_disc) {
            m_disc.reset();
            m_discId.clear();
            const fs::path image = fs::path(m_folder) / (discId + ".iso");
            std::error_code ec;
            if (!fs::is_regular_file(image, ec))
                return nullptr;
            m_disc = makeIsoFileReader(image.string());
            m_discId = discId;
        }
        return m_disc.get();
    }

    std::string m_folder;
    std::string m_discId;
    std::unique_ptr<DiscReader> m_disc;
};

} // namespace

std::unique_ptr<DiscReader> makeFolderReader(const std::string& root) { return std::make_unique<FolderReader>(root); }

std::unique_ptr<DiscReader> makeImageShelfReader(const std::string& folder)
{
    return std::make_unique<ImageShelfReader>(folder);
}

std::unique_ptr<DiscReader> makeIsoFileReader(const std::string& isoFile)
{
    return std::make_unique<IsoFileReader>(isoFile);
}

} // namespace torvinel
