#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/ZipEntry.h"
#include "archive/ZipError.h"
#include "archive/ZipIo.h"

namespace torvinel {

namespace zipreader {
class ChainReader;
class DataDecoder;
} // namespace zipreader
namespace zipwriter {
class DataEncoder;
}

enum ZipCompressionLevel { clNone, clFastest, clNormal, clMax };
enum ZipSpanningMode { smNone, smSpanning, smSplitting };
enum ZipVolumeSize { vsAutoDetect, vsCustom };
enum ZipStorePath { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum ZipOverwriteMode { omPrompt, omAlways, omNever };
enum ZipShareMode { smShareCompat, smShareExclusive, smShareDenyWrite, smShareDenyRead, smShareDenyNone };
enum Zip64Policy { zmDisabled, zmAuto };
enum ZipOpenMode { omOpen, omCreate };
enum ZipOperation {
    poAdd, poMove, poDelete, poUpdate, poExtract, poTest, poRename, poChangeAttr, poChangeComment,
    poMakeSFX
};
enum ZipProgressPhase { ppStart, ppProcess, ppEnd };
enum ZipFailureAction { fxaRetry, fxaIgnore, fxaAbort };

struct ZipSpanningOptions {
    bool AdvancedNaming = true;   // volumes base_NNN.ext (else base.zNN)
    ZipVolumeSize VolumeSize = vsCustom;
    int64_t CustomVolumeSize = 8388608; // every volume but the last; at least 65536 is used
    int64_t FirstVolumeSize = 0;  // 0: the first volume is as large as the others
};

struct ZipOptions {
    ZipStorePath StorePath = spRelativePath;
    bool Recurse = true;
    ZipOverwriteMode OverwriteMode = omAlways;
    bool CreateDirs = true;
    bool ReplaceReadOnly = true;
    bool SetAttributes = true;
    uint32_t SearchAttr = 10431;
    ZipShareMode ShareMode = smShareDenyNone; // POSIX has no share modes: kept for the record
    bool FlushBuffers = true;
    bool OEMFileNames = true; // names without the UTF-8 flag from non-Unix hosts are code page 437
};

class ZipArchive;

// Sender, entry name (platform separators), per cent of the current file, operation, phase,
// cancel (out).
using ZipFileProgressEvent = std::function<void(ZipArchive& sender, const std::string& fileName,
                                                 double progress, ZipOperation operation,
                                                 ZipProgressPhase phase, bool& cancel)>;
// Sender, file name, operation, native error, error code, error message (the whole
// "ZF: ... - Native error: nnnnn" text), action (out; starts as fxaAbort).
using ZipProcessFileFailureEvent = std::function<void(
    ZipArchive& sender, const std::string& fileName, ZipOperation operation,
    int nativeError, int errorCode, const std::string& errorMessage, ZipFailureAction& action)>;
// Each piece of a file's content as an add reads it, before compression: lets the caller
// digest the file in the same read. Called again from the start when an entry is retried.
using ZipFileDataEvent = std::function<void(const unsigned char* data, std::size_t size)>;
// Sender, volume number (from 1), volume file name (in/out), cancel (out).
using ZipRequestBlankVolumeEvent = std::function<void(ZipArchive& sender, int volumeNumber,
                                                       std::string& volumeFileName, bool& cancel)>;

// The ZIP archive engine: ordinary archives that grow one add at a time, split archives of
// fixed-size volumes, and extraction. Writes classic ZIP; Zip64 fields only for entries that
// need them. Not thread-safe per instance; one process-wide lock serialises adds, extracts
// and commits of all instances.
//
// Failures of the archive as a whole are thrown as ZipError. A failure that concerns one
// entry goes to OnProcessFileFailure first: the handler may throw its own error, or set
// Action to fxaRetry (try the entry again) or fxaIgnore (leave it out and go on); fxaAbort,
// or no handler, throws the ZipError.
class ZipArchive {
public:
    ZipArchive();
    ~ZipArchive(); // closes an open archive; errors are not reported from here
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // --- settings ---------------------------------------------------------------------------
    std::string Name = "ZF"; // the component's name at the start of every message
    std::string FileName;    // the archive; for a split archive the path of its last volume
    std::string BaseDir;     // added paths are resolved, entries extracted, against this
    std::vector<std::string> NoCompressionMasks;
    ZipSpanningOptions SpanningOptions;
    ZipOptions Options;
    bool ExtractCorruptedFiles = false;
    // zmAuto: Zip64 fields for the entries (and the end record) that need them. zmDisabled:
    // such files are refused with "Cannot compress file '%s'. Zip64 mode is not enabled".
    Zip64Policy Zip64Mode = zmAuto;
    bool InMemory = false; // archives are always files here; true is refused by ArchiveOpen
    std::string TempDir;   // empty: $TMPDIR or /tmp

    ZipCompressionLevel CompressionLevel() const;
    void setCompressionLevel(ZipCompressionLevel level);
    int CompressionMode() const { return m_compressionMode; }
    // Throws ZipError-free Error "Invalid compression mode. Mode must be in [0-9] range".
    void setCompressionMode(int mode);
    ZipSpanningMode SpanningMode() const { return m_spanningMode; }
    // Throws Error "Cannot set spanning mode on open archive" while an archive is open.
    void setSpanningMode(ZipSpanningMode mode);

    // --- events -----------------------------------------------------------------------------
    ZipFileProgressEvent OnFileProgress;
    ZipProcessFileFailureEvent OnProcessFileFailure;
    ZipRequestBlankVolumeEvent OnRequestBlankVolume;
    ZipFileDataEvent OnFileData;

    // --- operations -------------------------------------------------------------------------
    // omCreate: a new, empty archive (a split archive's first volume is requested and made
    // at once). omOpen: an existing archive, read-write where possible and read-only
    // otherwise (a file without write permission counts as read-only); a missing file is
    // created as with omCreate. An open archive is closed first.
    void ArchiveOpen(ZipOpenMode mode = omOpen);
    // Writes what a created, never written archive lacks (an empty directory), releases the
    // files. Closing a closed archive does nothing.
    void ArchiveClose();
    // Adds what fileMask names below BaseDir; one complete, flushed update per call. A
    // failed call leaves an ordinary archive as it was. Returns false when a progress
    // handler cancelled (nothing of this call is kept then).
    bool ArchiveAddFiles(const std::string& fileMask, uint32_t searchAttr = 10431,
                         const std::string& exclusionMask = {});
    // Extracts the entries that match fileMask ("*.*" for all) into BaseDir. Returns false
    // when a progress handler cancelled (the current file is deleted then).
    bool ArchiveExtractFiles(const std::string& fileMask, uint32_t searchAttr = 10431,
                             const std::string& exclusionMask = {});
    // Length of the archive file (of a split archive: of the volume being written).
    int64_t ArchiveSize() const;
    // Entries that are not folders.
    int ArchiveFileCount() const;

    bool isOpen() const { return m_open; }
    bool isReadOnly() const { return m_readOnly; }
    const std::vector<ZipEntry>& entries() const { return m_entries; }
    // An entry's name as masks match it and extraction uses it: UTF-8 where it can be known,
    // "/" separators.
    std::string displayName(const ZipEntry& entry) const;

private:
    struct AddItem;
    struct SplitWriter;
    struct ExtractContext;

    void requireOpen() const;
    [[noreturn]] void raise(ZipErrorKind kind, const std::string& path = {}) const;
    // Runs work; a ZipFault from it goes to OnProcessFileFailure (after cleanup). Returns
    // true when work succeeded, false when the handler chose to ignore the entry; retries
    // on fxaRetry; throws the ZipError on fxaAbort.
    bool attempt(const std::function<void()>& work, const std::string& fileName,
                 ZipOperation operation, const std::function<void()>& cleanup = {});
    ZipFailureAction reportFailure(const ZipFault& fault, const std::string& fileName,
                             ZipOperation operation);
    bool progress(const std::string& entryName, double percent, ZipOperation operation,
                  ZipProgressPhase phase);
    int deflateLevel() const;
    bool storedByMask(const std::string& path) const;

    void openExisting();
    void createArchive();
    void resetState();

    std::vector<AddItem> collectItems(const std::string& fileMask, uint32_t searchAttr,
                                      const std::string& exclusionMask);
    bool writeEntry(const AddItem& item, zipio::BufferedWriter& out,
                    zipwriter::DataEncoder& encoder, ZipEntry& entry,
                    ZipOperation operation);
    bool addOrdinary(std::vector<AddItem>& items);
    bool addSplit(std::vector<AddItem>& items);
    uint64_t volumeCapacity(uint32_t number) const;
    void startVolume();
    void nextVolume(SplitWriter& writer);
    void writeRecord(SplitWriter& writer, const std::string& record);
    void writeSpanning(SplitWriter& writer, const unsigned char* data, std::size_t size);
    void commitSplit(SplitWriter& writer, std::vector<ZipEntry> entries);
    std::string directoryBytes(const std::vector<ZipEntry>& entries, uint64_t offset,
                               uint32_t disk, uint64_t& directorySize) const;

    void ensureFolder(const std::string& folder, ExtractContext& context);
    bool extractEntry(const ZipEntry& entry, const std::string& name, ExtractContext& context,
                      zipreader::ChainReader& reader, zipreader::DataDecoder& decoder,
                      std::vector<std::pair<std::string, unsigned>>& folderModes);

    int m_compressionMode = 6;
    ZipSpanningMode m_spanningMode = smNone;

    bool m_open = false;
    bool m_readOnly = false;
    bool m_split = false;           // the open archive is a split archive
    bool m_splitFinished = false;   // a split archive that takes no more adds
    bool m_hasDirectory = false;    // the archive file holds a written end record
    std::string m_path;             // FileName as it was opened
    zipio::FileHandle m_file;       // the archive, or the volume being written
    std::vector<ZipEntry> m_entries;
    uint64_t m_dataEnd = 0;         // where the next entry goes (the directory's offset)
    uint32_t m_lastDisk = 0;        // 0-based number of the volume holding the end record
    uint32_t m_volumeNumber = 0;    // split writing: 1-based number of the current volume
    uint64_t m_volumeRoom = 0;      // split writing: what the current volume may hold
    std::string m_volumePath;       // split writing: the current volume's file
};

} // namespace torvinel
