#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/ZipEntry.h"
#include "archive/ZipError.h"
#include "archive/ZipPreparedFile.h"
#include "platform/File.h"

namespace torvinel {

namespace zipio {
class BufferedWriter;
}
namespace zipreader {
class ChainReader;
class DataDecoder;
} // namespace zipreader
namespace zipwriter {
class DataEncoder;
class WholeDeflater;
} // namespace zipwriter

// The attribute filter that admits everything: 10431 (0x28BF) holds the read-only (0x01),
// hidden (0x02), system (0x04), volume-label (0x08), folder (0x10), archive (0x20), normal
// (0x80), compressed (0x800) and not-content-indexed (0x2000) bits. Only hidden, system,
// volume label and folder are ever tested (zipnames::passesAttributeFilter), and it has
// all four, so no file and no folder is left out.
constexpr uint32_t ZipAllAttributes = 10431;

enum class ZipCompressionLevel { None, Fastest, Normal, Max };
// None: one ordinary archive that grows one add at a time. Splitting: one add writes a
// chain of fixed-size volumes.
enum class ZipSpanningMode { None, Splitting };
enum class Zip64Mode { Disabled, Automatic };
enum class ZipOpenMode { Open, Create };
// What an event is about: adding a new entry, replacing an entry of the same name,
// extracting.
enum class ZipOperation { Add, Update, Extract };
enum class ZipProgressPhase { Start, Process, End };
enum class ZipFailureAction { Retry, Ignore, Abort };

struct ZipOptions {
    // Adds walk into folders; extraction also selects entries whose file name alone
    // matches the mask.
    bool recurse = true;
    bool flushBuffers = true; // every update reaches the disk before the add returns
};

class ZipArchive;

// Sender, entry name (platform separators), per cent of the current file, operation, phase,
// cancel (out).
using ZipFileProgressEvent = std::function<void(ZipArchive& sender, const std::string& fileName, double progress,
                                                ZipOperation operation, ZipProgressPhase phase, bool& cancel)>;
// Sender, file name, operation, native error, error code, error message (the whole
// "ZF: ... - Native error: nnnnn" text), action (out; starts as ZipFailureAction::Abort).
using ZipProcessFileFailureEvent =
    std::function<void(ZipArchive& sender, const std::string& fileName, ZipOperation operation, int nativeError,
                       int errorCode, const std::string& errorMessage, ZipFailureAction& action)>;
// Each piece of a file's content as an add reads it, before compression: lets the caller
// digest the file in the same read. Called again from the start when an entry is retried.
using ZipFileDataEvent = std::function<void(const unsigned char* data, std::size_t size)>;
// Sender, volume number (from 1), volume file name (in/out), cancel (out).
using ZipRequestBlankVolumeEvent =
    std::function<void(ZipArchive& sender, int volumeNumber, std::string& volumeFileName, bool& cancel)>;

// The ZIP archive engine: ordinary archives that grow one add at a time, split archives of
// fixed-size volumes, and extraction. Writes classic ZIP; Zip64 fields only for entries that
// need them. Not thread-safe per instance; one process-wide lock serialises adds, extracts
// and commits of all instances.
//
// Failures of the archive as a whole are thrown as ZipError. A failure that concerns one
// entry goes to onProcessFileFailure first: the handler may throw its own error, or set
// the action to Retry (try the entry again) or Ignore (leave it out and go on); Abort, or
// no handler, throws the ZipError.
class ZipArchive {
public:
    ZipArchive();
    ~ZipArchive(); // closes an open archive; errors are not reported from here
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // --- settings ---------------------------------------------------------------------------
    std::string componentName = "ZF"; // at the start of every message
    std::string fileName;             // the archive; for a split archive the path of its last volume
    std::string baseDir;              // added paths are resolved, entries extracted, against this
    std::vector<std::string> noCompressionMasks;
    // Split archives: the size of every volume but the last; at least 65536 is used.
    // Volumes are named base_NNN.ext beside fileName.
    int64_t volumeSize = 8388608;
    ZipOptions options;
    // Automatic: Zip64 fields for the entries (and the end record) that need them. Disabled:
    // such files are refused with "Cannot compress file '%s'. Zip64 mode is not enabled".
    Zip64Mode zip64Mode = Zip64Mode::Automatic;
    // Threads that deflate prepared files (0: one per processor); read by the first
    // prepareFile. The entries are the same whatever the number.
    unsigned prepareThreads = 0;

    ZipCompressionLevel compressionLevel() const;
    void setCompressionLevel(ZipCompressionLevel level);
    int compressionMode() const { return m_compressionMode; }
    // Throws ZipError-free Error "Invalid compression mode. Mode must be in [0-9] range".
    void setCompressionMode(int mode);
    ZipSpanningMode spanningMode() const { return m_spanningMode; }
    // Throws Error "Cannot set spanning mode on open archive" while an archive is open.
    void setSpanningMode(ZipSpanningMode mode);

    // --- events -----------------------------------------------------------------------------
    ZipFileProgressEvent onFileProgress;
    ZipProcessFileFailureEvent onProcessFileFailure;
    ZipRequestBlankVolumeEvent onRequestBlankVolume;
    ZipFileDataEvent onFileData;

    // --- operations -------------------------------------------------------------------------
    // Create: a new, empty archive (a split archive's first volume is requested and made
    // at once). Open: an existing archive, read-write where possible and read-only
    // otherwise (a file without write permission counts as read-only); a missing file is
    // created as with Create. An open archive is closed first.
    void open(ZipOpenMode mode = ZipOpenMode::Open);
    // Opens, read-only, an ordinary archive kept as the length bytes of container that start
    // at offset (an archive inside a disc image); fileName only names it in messages. A
    // split archive is refused (CannotOpenArchive): its other volumes cannot be found there.
    void openPart(const std::string& container, uint64_t offset, uint64_t length);
    // Writes what a created, never written archive lacks (an empty directory), releases the
    // files. Closing a closed archive does nothing.
    void close();
    // Adds what fileMask names below baseDir; one complete, flushed update per call. A
    // failed call leaves an ordinary archive as it was. Returns false when a progress
    // handler cancelled (nothing of this call is kept then).
    bool addFiles(const std::string& fileMask, uint32_t searchAttr = ZipAllAttributes,
                  const std::string& exclusionMask = {});
    // Reads the regular file that fileName names below baseDir (as addFiles takes a name
    // without wildcards, with every attribute and no exclusion) whole, raising the events an
    // add raises for its data (progress Start, Process and End as an Add, onFileData for each
    // piece), and has a worker thread deflate it from then on, so that the caller can go on
    // while addPrepared writes it later, into this archive or another one of this engine.
    // The entry's name, stamp, mode and compression are fixed now, by the settings of now.
    // Returns null when there is nothing to prepare: no such regular file, WholeEntryLimit
    // (16 MiB) or more, a failed open or read, a file that grew while it was read, or a
    // progress handler that cancelled. Failures are not reported (onProcessFileFailure is not
    // called): addFiles meets them again for such a file and reports them as it always does.
    // inspect, when set, is given the whole content as read, once, on a worker thread, before
    // addPrepared writes the entry (addPrepared waits for it): the caller's own work on the
    // content (a digest) runs beside the reading of the next file. onFileData is still raised.
    using ZipContentEvent = std::function<void(const std::vector<unsigned char>& content)>;
    [[nodiscard]] std::unique_ptr<ZipPreparedFile> prepareFile(const std::string& fileName,
                                                               ZipContentEvent inspect = {});
    // Adds a prepared file to the open ordinary archive: the same entry bytes as an addFiles
    // of it at the time of its read would have written there. Raises no progress or data
    // event (prepareFile did); waits for its deflated form and its inspection. One complete,
    // flushed update; a failure leaves the archive as it was and goes to onProcessFileFailure
    // as in addFiles.
    // Returns true when the entry was added, false when the failure handler chose Ignore.
    // A split archive raises SplitNotModifiable.
    bool addPrepared(const ZipPreparedFile& file);
    // Extracts the entries that match fileMask ("*.*" for all) into baseDir. Returns false
    // when a progress handler cancelled (the current file is deleted then). An entry whose
    // data fails its size or CRC check is not kept.
    bool extractFiles(const std::string& fileMask, uint32_t searchAttr = ZipAllAttributes,
                      const std::string& exclusionMask = {});
    // The file entries (not folders) whose name, as displayName gives it, is exactly name
    // ("/" separators, no wildcards, letter case counts), in the directory's order.
    std::vector<const ZipEntry*> findEntries(const std::string& name) const;
    // Extracts one file entry of this open archive into the file target, which is made or
    // replaced (a link there is replaced, never followed; its folder must exist), with the
    // stamp and mode extractFiles gives it. onData, when set, gets the content in order,
    // piece by piece, before the call returns, so that the caller can digest it in the same
    // pass; a large entry's may come on another thread while the file is written. A failure
    // (the file cannot be made or written, the data fails its size or CRC check) deletes the
    // file and goes to onProcessFileFailure as in extractFiles. Returns false when a progress
    // handler cancelled or the failure handler chose Ignore; no file is left then.
    bool extractEntryTo(const ZipEntry& entry, const std::string& target, const ZipFileDataEvent& onData = {});
    // Reads one file entry of this open archive as extractEntryTo does, writing nothing:
    // Sound when its data is whole and has its recorded size and CRC, Damaged when not (a
    // read error inside the entry's data counts as damage), Cancelled when a progress handler
    // cancelled. onData as for extractEntryTo. onProcessFileFailure is not called; a failure
    // of the archive as a whole (a volume that cannot be opened) is thrown as ZipError.
    enum class EntryTest { Sound, Damaged, Cancelled };
    [[nodiscard]] EntryTest testEntry(const ZipEntry& entry, const ZipFileDataEvent& onData = {});
    // Length of the archive file (of a split archive: of the volume being written).
    int64_t size() const;
    // Entries that are not folders.
    int fileCount() const;

    bool isOpen() const { return m_open; }
    bool isReadOnly() const { return m_readOnly; }
    const std::vector<ZipEntry>& entries() const { return m_entries; }
    // An entry's name as masks match it and extraction uses it: UTF-8 where it can be known,
    // "/" separators.
    std::string displayName(const ZipEntry& entry) const;

private:
    struct AddItem;
    struct ItemCollector;
    struct OrdinaryAdd;
    struct SplitWriter;
    struct ExtractContext;
    struct ExtractSession;

    void requireOpen() const;
    [[noreturn]] void raise(ZipErrorKind kind, const std::string& path = {}) const;
    // Runs work; a ZipFault from it goes to onProcessFileFailure (after cleanup). Returns
    // true when work succeeded, false when the handler chose to ignore the entry; retries
    // on Retry; throws the ZipError on Abort.
    bool attempt(const std::function<void()>& work, const std::string& fileName, ZipOperation operation,
                 const std::function<void()>& cleanup = {});
    ZipFailureAction reportFailure(const ZipFault& fault, const std::string& fileName, ZipOperation operation);
    bool progress(const std::string& entryName, double percent, ZipOperation operation, ZipProgressPhase phase);
    // Process progress of reading an entry's data: done of size bytes.
    bool extractProgress(const std::string& name, uint64_t done, uint64_t size);
    int deflateLevel() const;
    bool storedByMask(const std::string& path) const;

    void openExisting();
    void readDirectory(); // of the archive m_file holds
    void createArchive();
    void resetState();

    std::vector<AddItem> collectItems(const std::string& fileMask, uint32_t searchAttr,
                                      const std::string& exclusionMask);
    // The encoder of the current compression level, kept from one add to the next.
    zipwriter::DataEncoder& encoder();
    // The entry's name, flags, stamp, attributes and offset.
    void describeEntry(const AddItem& item, uint64_t offset, ZipEntry& entry) const;
    // Method, version and size of a file's entry; true when its local header needs zip64 sizes.
    bool describeData(ZipEntry& entry, uint64_t size, bool stored, const std::string& path) const;
    bool writeEntry(const AddItem& item, zipio::BufferedWriter& out, zipwriter::DataEncoder& encoder, ZipEntry& entry,
                    ZipOperation operation);
    void writePrepared(const ZipPreparedFile& file, const AddItem& item, zipio::BufferedWriter& out, ZipEntry& entry);
    // Writes one item's entry at the writer's position; false when a progress handler cancelled.
    using EntryWriter = std::function<bool(const AddItem&, zipio::BufferedWriter&, ZipEntry&, ZipOperation)>;
    bool addOrdinary(const std::vector<AddItem>& items, const EntryWriter& write);
    bool addSplit(std::vector<AddItem>& items);
    uint64_t volumeCapacity() const;
    void startVolume();
    void nextVolume(SplitWriter& writer);
    void writeRecord(SplitWriter& writer, const std::string& record);
    void writeSpanning(SplitWriter& writer, const unsigned char* data, std::size_t size);
    void commitSplit(SplitWriter& writer, std::vector<ZipEntry> entries);
    std::string directoryBytes(const std::vector<ZipEntry>& entries, uint64_t offset, uint32_t disk,
                               uint64_t& directorySize) const;
    // directoryBytes of m_entries on disk 0, from central headers kept from one add to the
    // next: a backup appends a hundred files one at a time, and each add writes the whole
    // directory after them.
    std::string ownDirectoryBytes(uint64_t offset, uint64_t& directorySize);
    void forgetCentralHeaders(); // wherever m_entries changes other than by an append
    // The central headers followed by the end records of a directory of count entries.
    std::string withDirectoryEnd(const std::string& headers, uint64_t count, uint64_t offset, uint32_t disk,
                                 uint64_t& directorySize) const;

    void ensureFolder(const std::string& folder, ExtractContext& context);
    bool extractEntry(const ZipEntry& entry, const std::string& name, ExtractContext& context,
                      zipreader::ChainReader& reader, zipreader::DataDecoder& decoder,
                      std::vector<std::pair<std::string, unsigned>>& folderModes);
    bool writeEntryFile(const ZipEntry& entry, const std::string& name, const std::string& target,
                        zipio::BufferedWriter& out, zipreader::ChainReader& reader, zipreader::DataDecoder& decoder,
                        const ZipFileDataEvent& onData);

    int m_compressionMode = 6;
    ZipSpanningMode m_spanningMode = ZipSpanningMode::None;

    bool m_open = false;
    bool m_readOnly = false;
    bool m_split = false;         // the open archive is a split archive
    bool m_splitFinished = false; // a split archive that takes no more adds
    bool m_hasDirectory = false;  // the archive file holds a written end record
    std::string m_path;           // fileName as it was opened
    platform::File m_file;        // the archive, or the volume being written
    std::vector<ZipEntry> m_entries;
    std::string m_centralHeaders;                     // of the first m_centralHeadersOf entries
    std::size_t m_centralHeadersOf = 0;               // see ownDirectoryBytes
    uint64_t m_dataEnd = 0;                           // where the next entry goes (the directory's offset)
    uint32_t m_lastDisk = 0;                          // 0-based number of the volume holding the end record
    uint32_t m_volumeNumber = 0;                      // split writing: 1-based number of the current volume
    uint64_t m_volumeRoom = 0;                        // split writing: what the current volume may hold
    std::string m_volumePath;                         // split writing: the current volume's file
    std::unique_ptr<ExtractSession> m_extractSession; // made by the first extractEntryTo
    std::unique_ptr<zipwriter::DataEncoder> m_encoder;
    // Made by the first prepareFile; shared with the files it prepared.
    std::shared_ptr<zipwriter::WholeDeflater> m_wholeDeflater;
};

} // namespace torvinel
