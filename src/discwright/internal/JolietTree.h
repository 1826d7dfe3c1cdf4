#pragma once
#include "discwright/internal/DiscwrightObject.h"
#include "discwright/DiscwrightTypes.h"
#include "discwright/Drive.h"
#include "discwright/internal/ImageWatch.h"
#include "discwright/internal/IsoHeaders.h"
#include "discwright/Utf16.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace torvinel {

// An ISO9660/Joliet file tree: built from folders on disk (on top of an imported session
// when the disc already holds one), turned into an image that starts at a given block, and
// checked against a disc afterwards.
//
// Every node is named by its Joliet name, so the names readers see are the names in the
// tree. Two entries whose Joliet names would be equal are a collision: the callback is asked
// (TREE_NAME_COLLISION) to rename the entry added or to merge two folders. ISO9660 names are
// made unique by libisofs when the image is built.
class JolietTree : public DiscwrightObject {
public:
    JolietTree(DiscwrightCallback callback, void* context);
    ~JolietTree() override;
    JolietTree(const JolietTree&) = delete;
    JolietTree& operator=(const JolietTree&) = delete;

    // Loads the session that begins at startBlock of the disc in the drive, so that the
    // image built next adds a session to it.
    void importSession(Drive& drive, uint32_t startBlock);
    IsoDir* root();
    // Adds sourceFolder under parent as a folder named nameInImage, with everything in it.
    IsoDir* add(const std::string& sourceFolder, const std::string& nameInImage, IsoDir* parent);
    // The data of folder's entry name (every file below it, for a folder) goes first in the
    // session; a missing entry is passed over.
    void placeFirst(IsoDir* folder, const std::string& name);
    // Builds the image; it starts at startBlock (the next writable address).
    void buildImage(uint32_t startBlock, const std::string& volumeLabel, const std::string& publisher,
                    const std::string& application);
    bool built() const { return m_source != nullptr; }
    int64_t imageSize() const { return m_imageSize; }
    uint32_t startBlock() const { return m_startBlock; }
    const std::string& volumeLabel() const { return m_volumeLabel; }
    // For an image after the first session: the first 64 KiB of the medium that make the
    // new session the one readers find (for drives that store the disc as one file).
    const std::vector<uint8_t>& overwriteBuffer() const { return m_overwrite; }

    // Reads the whole image in 2048-byte blocks into sink, raising write progress once per
    // percent and the buffer status with it (from bufferStatus when given: size and free
    // bytes; else the image generator's own buffer). The awaited files that watch the image
    // see it on the way. Throws when fewer bytes arrive than announced, or when a watcher
    // fails.
    using BufferStatus = std::function<std::pair<uint32_t, uint32_t>()>;
    void pumpImage(const std::function<void(const uint8_t*, std::size_t)>& sink, const DriveNotify& notify,
                   const BufferStatus& bufferStatus = {});
    // Hands the image stream to a consumer that reads it itself (libburn), through the
    // awaited files that watch it when there are any. The tree still frees it.
    struct burn_source* imageSource() { return m_watchedSource ? m_watchedSource : m_source; }
    // Set once a watcher failed the image while a consumer read it from imageSource (which then
    // gave a read error): the message the burn fails with. Safe from any thread.
    std::optional<DriveFailure> imageFailure() const;

    // Compares every file added to the tree with the disc's session at startBlock; raises
    // verify progress. Returns the number of files that differ or are missing.
    uint32_t verify(Drive& drive, uint32_t startBlock, const DriveNotify& notify);

    void notify(uint32_t code, void* parameter1, void* parameter2);

private:
    void awaitPiece(std::size_t bytes) const; // until the buffer holds that much, or stops filling
    struct Names {
        std::map<std::string, IsoNode*> joliet; // Joliet form -> node
    };
    Names& namesOf(IsoDir* dir);
    std::string jolietForm(const std::string& name, bool folder);
    // The name to use for a new entry, after asking the callback about collisions; sets
    // mergeInto when the callback merges two folders.
    std::string settleName(IsoDir* parent, const std::string& name, bool folder, const std::string& where,
                           IsoDir*& mergeInto);
    void addContent(const std::string& sourceFolder, IsoDir* dir, const std::string& imagePath);
    void freeSource();

    DiscwrightCallback m_callback;
    void* m_context;
    IsoImage* m_image = nullptr;
    IsoWriteOpts* m_nameOpts = nullptr;
    IsoDataSource* m_imported = nullptr;
    std::map<IsoDir*, Names> m_names;
    std::vector<TreeFile> m_files;
    std::vector<ImageWatch::Watcher> m_watchers; // of the awaited files added
    struct burn_source* m_source = nullptr;
    std::unique_ptr<ImageWatch> m_watch;           // with watchers, once built
    struct burn_source* m_watchedSource = nullptr; // m_source through m_watch
    int64_t m_imageSize = 0;
    uint32_t m_startBlock = 0;
    std::string m_volumeLabel;
    std::vector<uint8_t> m_overwrite;
};

// Write options shared by image building and name checks: ISO9660 level 3 with Joliet.
IsoWriteOpts* newIsoWriteOpts();

} // namespace torvinel
