#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// Values and records that pass through the disc library's calls. The records are plain
// structs with fixed layouts, so a caller may also read them byte by byte.
namespace torvinel {

using DiscwrightException = uint8_t;

// The kind of disc in a drive.
enum DISC_TYPE : int32_t {
    DISC_TYPE_UNKNOWN = 0,
    DISC_TYPE_CDROM = 1,
    DISC_TYPE_CDR = 2,
    DISC_TYPE_CDRW = 3,
    DISC_TYPE_DVDROM = 4,
    DISC_TYPE_DVDR = 5,
    DISC_TYPE_DVDRAM = 6,
    DISC_TYPE_DVDRWRO = 7, // DVD-RW, restricted overwrite
    DISC_TYPE_DVDRWSR = 8, // DVD-RW, sequential recording
    DISC_TYPE_DVDPLUSRW = 9,
    DISC_TYPE_DDCDROM = 10,
    DISC_TYPE_DDCDR = 11,
    DISC_TYPE_DDCDRW = 12,
    DISC_TYPE_DVDPLUSR = 13,
    DISC_TYPE_NO_MEDIA = 14,
    DISC_TYPE_DVDPLUSR_DL = 15,
};

// Where a drive sits. Valid is 0 for an address the library could not work out.
struct DeviceAddress {
    uint8_t Valid = 0;
    uint8_t PortID = 0;
    uint8_t BusID = 0;
    uint8_t TargetID = 0;
    uint8_t LUN = 0;
};
static_assert(sizeof(DeviceAddress) == 5);

// Ports that tell the library's own drives apart from optical ones.
constexpr uint8_t OpticalPort = 0;
constexpr uint8_t TestDrivePort = 254;
constexpr uint8_t ImageDrivePort = 255;

// Notification codes: the low byte of the callback's first argument.
enum DiscwrightCallbackCode : uint32_t {
    TREE_NODE_ADDED = 0,
    TREE_NODE_REMOVED = 1,
    TREE_NAME_IGNORED = 2,
    TREE_NAME_COLLISION = 3, // p1: NameCollisionRecord
    TARGET_FILE_ANALYZE_BEGIN = 4,
    TARGET_FILE_ANALYZE_END = 5, // p1: bytes (int64), p2: blocks (int64)
    WAIT_CACHE_FULL_BEGIN = 6,
    WAIT_CACHE_FULL_END = 7,
    SYNCHRONIZE_CACHE_BEGIN = 8,
    SYNCHRONIZE_CACHE_END = 9,
    DEVICE_FOUND = 10,           // p1: DeviceAddress
    CN_CDVD_WRITE_PROGRESS = 12, // p1: total bytes (int64), p2: bytes written (int64)
    BUFFER_STATUS = 13,          // p1: buffer size (uint32), p2: free (uint32)
    TRACK_PROGRESS = 14,
    TRACK_DONE = 15,
    SPLIT_SECTION_PROGRESS = 16,
    SPLIT_SECTION_DONE = 17,
    DVDPLUSRW_FORMAT_BEGIN = 21,
    DVDPLUSRW_FORMAT_END = 22,
    BUFFER_UNDERRUN = 25,
    DVD_MEDIA_PADDING_SIZE = 26,
    DVD_MEDIA_PADDING_BEGIN = 27,
    DVD_MEDIA_PADDING_END = 28,
    DVDRW_QUICK_FORMAT_BEGIN = 30,
    DVDRW_QUICK_FORMAT_END = 31,
    VERIFY_PROGRESS = 36, // p1: done (uint32), p2: total (uint32)
};

// The one callback shape: code in the low byte, the context given with it, two parameters
// whose meaning depends on the code. Called on the thread that made the library call.
using DiscwrightCallback = void (*)(uint32_t code, void* context, void* parameter1, void* parameter2);

// Handles: a drive or a file tree, and a node of a file tree.
struct DiscwrightObject;
using DiscwrightHandle = DiscwrightObject*;
struct DiscwrightNode;

// Size of the error-text buffers the callers hand in.
constexpr uint32_t DiscwrightTextSize = 1024;

// Details of a failed drive call (for diagnosis only).
struct DiscwrightFailure {
    uint8_t senseKey = 0;
    uint8_t additionalSenseCode = 0;
    uint8_t additionalSenseQualifier = 0;
    uint8_t reserved = 0;
    int32_t systemError = 0;
};

// Status values of the disc information.
constexpr uint8_t DiscStatusBlank = 0;
constexpr uint8_t DiscStatusAppendable = 1;
constexpr uint8_t DiscStatusComplete = 2;

struct DiscInformation {       // 33 bytes
    uint8_t sessionCount;      // 0
    uint8_t discStatus;        // 1: 0 blank, 1 appendable, 2 complete
    uint8_t lastSessionStatus; // 2: 0 empty, 1 incomplete, 3 complete
    uint8_t erasable;          // 3
    uint8_t firstTrack;        // 4
    uint8_t lastTrack;         // 5
    uint8_t reserved[27];
};
static_assert(sizeof(DiscInformation) == 33);
static_assert(offsetof(DiscInformation, discStatus) == 1 && offsetof(DiscInformation, erasable) == 3);

// The number to ask for the next writable (invisible) track.
constexpr uint32_t NextWritableTrack = 255;

struct TrackInformation {         // 28 bytes
    uint8_t sessionNumber;        // 0
    uint8_t trackNumber;          // 1
    uint8_t damaged;              // 2
    uint8_t reserved3;            // 3
    uint32_t trackStart;          // 4
    uint8_t dataMode;             // 8
    uint8_t blank;                // 9
    uint8_t packet;               // 10
    uint8_t nwaValid;             // 11
    uint32_t lastRecordedAddress; // 12
    uint32_t nextWritableAddress; // 16
    int32_t freeBlocks;           // 20
    uint32_t trackSize;           // 24
};
static_assert(sizeof(TrackInformation) == 28);
static_assert(offsetof(TrackInformation, blank) == 9 && offsetof(TrackInformation, nwaValid) == 11
              && offsetof(TrackInformation, nextWritableAddress) == 16 && offsetof(TrackInformation, freeBlocks) == 20);

struct TOCEntry {
    uint8_t reserved0;
    uint8_t adrControl;
    uint8_t trackNumber;
    uint8_t reserved3;
    uint32_t startAddress;
};

struct TOCInformation { // 5612 bytes
    uint16_t dataLength;
    uint8_t firstTrack;
    uint8_t lastTrack;
    TOCEntry entries[100];
    uint8_t reserved[4808];
};
static_assert(sizeof(TOCInformation) == 5612);

// Region data of a DVD drive.
struct DiscwrightRPC {
    uint8_t typeCode;
    uint8_t vendorResetsLeft;
    uint8_t userChangesLeft;
    uint8_t regionMask;
    uint8_t rpcScheme;
};
static_assert(sizeof(DiscwrightRPC) == 5);

// What a drive reads and writes; the order is the order of the capability log lines.
struct SupportedMediaFormats {
    bool IsCDRRead = false;
    bool IsCDERead = false;
    bool IsDVDROMRead = false;
    bool IsDVDRRead = false;
    bool IsDVDRAMRead = false;
    bool IsTestWrite = false;
    bool IsCDRWrite = false;
    bool IsCDEWrite = false;
    bool IsDVDRWrite = false;
    bool IsDVDRAMWrite = false;
};

struct SupportedMediaFormatsExEx {
    bool IsDVDPLUSRWRead = false;
    bool IsDVDPLUSRRead = false;
    bool IsDVDPLUSRDLRead = false;
    bool IsDVDPLUSRWWrite = false;
    bool IsDVDPLUSRWrite = false;
    bool IsDVDPLUSRDLWrite = false;
};

struct WriteModes {
    bool TrackAtOnce = false;
    bool SessionAtOnce = false;
    bool DiscAtOncePQ = false;
    bool DiscAtOnceRawPW = false;
};

struct ReadModes {
    bool Mode1 = false;
    bool Mode2Form1 = false;
    bool Mode2Form2 = false;
    bool CDDA = false;
    bool SubChannels = false;
    bool C2Pointers = false;
};

// Tray status: the first flag turns true once a disc may have been put in (the tray is
// closed and holds a disc), the second tells whether the tray is open.
struct MediaTrayStatus {
    bool DiscPresent = false;
    bool TrayOpen = false;
};

// Parameter 1 of TREE_NAME_COLLISION. The callback may rewrite the name in place and
// answers in reply.
struct NameCollisionRecord {       // 538 bytes
    uint8_t nameKind;              // 0: ISO9660 name (8-bit), else Joliet (UTF-16)
    uint8_t name[524];             // 1..524: NUL-terminated (two zero bytes for UTF-16)
    uint8_t existingAttributes[4]; // 525..528: bit 0x10 = folder
    uint8_t reserved1[4];          // 529..532
    uint8_t addedAttributes[4];    // 533..536: bit 0x10 = folder
    uint8_t reply;                 // 537
};
static_assert(sizeof(NameCollisionRecord) == 538);
static_assert(offsetof(NameCollisionRecord, existingAttributes) == 525
              && offsetof(NameCollisionRecord, addedAttributes) == 533 && offsetof(NameCollisionRecord, reply) == 537);

// The record's Joliet name, up to its terminator or the end of the field.
inline std::u16string jolietName(const NameCollisionRecord& record)
{
    std::u16string name;
    for (std::size_t i = 0; i + 1 < sizeof record.name; i += 2) {
        char16_t unit;
        std::memcpy(&unit, record.name + i, 2);
        if (unit == 0)
            break;
        name.push_back(unit);
    }
    return name;
}

constexpr uint32_t FolderAttribute = 0x10;
constexpr uint8_t CollisionReplyRenamed = 2;
constexpr uint8_t CollisionReplyMerge = 3;

} // namespace torvinel
