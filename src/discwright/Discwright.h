#pragma once
#include "discwright/DiscwrightTypes.h"
#include "discwright/ImageDriveSettings.h"
#include "discwright/TestDrive.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The disc library: every drive access of the program goes through these calls.
//
// Drive and tree calls share one form: the handle (and the call's own arguments), then a
// buffer for the library's error text, its size (DiscwrightTextSize), an out status and, for
// drive calls, an out failure record (may be null). The result is an exception number,
// 0 meaning success; on failure the text buffer holds the reason and the status a number
// that goes with it; a caller that goes on after a failure says so where it calls.
// Notifications reach the callback given to the handle, on the thread that made the call.
namespace torvinel {

// Version of the library's interface: 0x20060630.
constexpr uint32_t DiscwrightInterfaceVersion = 0x20060630;

// The initialisation block the program hands to the library at start-up.
struct DiscwrightStartUpBlock {
    uint32_t size = sizeof(DiscwrightStartUpBlock);
    uint32_t interfaceVersion = DiscwrightInterfaceVersion;
    const char* applicationFolder = nullptr; // where the library keeps Discwright.log
};

// Starts the library once per program run. Returns 0 on success.
[[nodiscard]] DiscwrightException Discwright_StartUpEx(const void* block, std::size_t blockSize);
// Shuts the library down; safe to call when it was not started.
DiscwrightException Discwright_ShutDown();
// The library's version (0x20060630).
uint32_t Discwright_GetVersion();
// True between a successful start-up and the shut-down.
bool Discwright_IsStarted();

// --- which drives there are -----------------------------------------------------------

// Sets up the image drive (a fresh blank of the configured kind in it); without this call
// there is no image drive.
void Discwright_ConfigureImageDrive(const ImageDriveSettings& settings);
// The image drive's settings; false when there is no image drive.
bool Discwright_GetImageDriveSettings(ImageDriveSettings& settings);
// Replaces the test drives with drives acting out these scripts (an empty list: none).
void Discwright_UseTestDrives(const std::vector<TestDriveScript>& scripts);
// The test drive made from scripts[index], to look at what happened to it.
std::shared_ptr<TestDrive> Discwright_GetTestDrive(std::size_t index);
// Whether the search looks for optical drives (on by default) and reports the image drive
// (on by default). Tests switch both off to see their test drives alone.
void Discwright_SetSearch(bool opticalDrives, bool imageDrive);
// libburn drive addresses ("stdio:/path/file", "/dev/sr1") that the search reports as optical
// drives besides those it finds; replaces the earlier list.
void Discwright_UseOpticalAddresses(const std::vector<std::string>& libburnAddresses);

// Reports every drive through callback(DEVICE_FOUND, context, &DeviceAddress, nullptr):
// optical drives first, then the test drives, then the image drive. flags 5, reserved 0.
[[nodiscard]] DiscwrightException Discwright_FindDevice(uint32_t flags, uint32_t reserved, DiscwrightCallback callback,
                                                        void* context);
// The device path of an address ("\\.\" followed by the device, e.g. "\\.\/dev/sr0" or
// "\\.\Image:"). Returns 0 on success.
[[nodiscard]] DiscwrightException Discwright_GetDeviceNameByDeviceAddress(uint8_t portId, uint8_t busId,
                                                                          uint8_t targetId, uint8_t lun, char* name,
                                                                          uint32_t nameSize);

// --- drive handles --------------------------------------------------------------------

[[nodiscard]] DiscwrightException Discwright_Drive_Create(DiscwrightHandle* drive, char* errorText,
                                                          uint32_t errorTextSize, int32_t* status,
                                                          DiscwrightFailure* failure, DiscwrightCallback callback,
                                                          void* context, uint8_t portId, uint8_t busId,
                                                          uint8_t targetId, uint8_t lun, uint32_t flags);
// Destroys a drive handle or a tree and sets *handle to null; null is allowed.
DiscwrightException Discwright_Destroy(DiscwrightHandle* handle);

[[nodiscard]] DiscwrightException Discwright_Drive_GetDeviceInformation(DiscwrightHandle drive, char* vendor,
                                                                        char* product, char* revision,
                                                                        uint32_t* bufferSize, char* errorText,
                                                                        uint32_t errorTextSize, int32_t* status,
                                                                        DiscwrightFailure* failure);
// The capability reads have no failure result beyond an unusable handle.
DiscwrightException Discwright_Drive_GetSupportedMediaFormats(DiscwrightHandle drive, SupportedMediaFormats* formats);
DiscwrightException Discwright_Drive_GetSupportedMediaFormatsExEx(DiscwrightHandle drive,
                                                                  SupportedMediaFormatsExEx* formats);
[[nodiscard]] DiscwrightException Discwright_Drive_ProbeSupportedWriteModes(DiscwrightHandle drive, WriteModes* modes,
                                                                            char* errorText, uint32_t errorTextSize,
                                                                            int32_t* status,
                                                                            DiscwrightFailure* failure);
[[nodiscard]] DiscwrightException Discwright_Drive_ProbeSupportedReadModes(DiscwrightHandle drive, ReadModes* modes,
                                                                           char* errorText, uint32_t errorTextSize,
                                                                           int32_t* status, DiscwrightFailure* failure);
[[nodiscard]] DiscwrightException Discwright_Drive_GetBUP(DiscwrightHandle drive, bool* enabled, bool* supported,
                                                          char* errorText, uint32_t errorTextSize, int32_t* status,
                                                          DiscwrightFailure* failure);
[[nodiscard]] DiscwrightException Discwright_Drive_SetBUP(DiscwrightHandle drive, uint32_t enable, char* errorText,
                                                          uint32_t errorTextSize, int32_t* status,
                                                          DiscwrightFailure* failure);
// The kind of disc in the drive; DISC_TYPE_UNKNOWN when it cannot be told.
DISC_TYPE Discwright_Drive_GetInsertedDiscType(DiscwrightHandle drive);
[[nodiscard]] DiscwrightException Discwright_Drive_GetDiscInformation(DiscwrightHandle drive,
                                                                      DiscInformation* information, char* errorText,
                                                                      uint32_t errorTextSize, int32_t* status,
                                                                      DiscwrightFailure* failure);
// track: a track number, or NextWritableTrack (255).
[[nodiscard]] DiscwrightException Discwright_Drive_GetTrackInformation(DiscwrightHandle drive, uint32_t track,
                                                                       TrackInformation* information, char* errorText,
                                                                       uint32_t errorTextSize, int32_t* status,
                                                                       DiscwrightFailure* failure);
[[nodiscard]] DiscwrightException Discwright_Drive_GetTOCInformation(DiscwrightHandle drive, TOCInformation* toc,
                                                                     char* errorText, uint32_t errorTextSize,
                                                                     int32_t* status, DiscwrightFailure* failure);
[[nodiscard]] DiscwrightException Discwright_Drive_GetRPC(DiscwrightHandle drive, DiscwrightRPC* rpc, char* errorText,
                                                          uint32_t errorTextSize, int32_t* status,
                                                          DiscwrightFailure* failure);
[[nodiscard]] DiscwrightException Discwright_Drive_GetMediaTrayStatus(DiscwrightHandle drive, MediaTrayStatus* tray,
                                                                      char* errorText, uint32_t errorTextSize,
                                                                      int32_t* status, DiscwrightFailure* failure);
// 0 when the drive is ready for commands.
[[nodiscard]] DiscwrightException Discwright_Drive_TestUnitReady(DiscwrightHandle drive, char* errorText,
                                                                 uint32_t errorTextSize, int32_t* status,
                                                                 DiscwrightFailure* failure);
// KBps; 65535 stands for the drive's maximum.
[[nodiscard]] DiscwrightException Discwright_Drive_GetSpeeds(DiscwrightHandle drive, int32_t* currentRead,
                                                             int32_t* maximumRead, int32_t* currentWrite,
                                                             int32_t* maximumWrite, char* errorText,
                                                             uint32_t errorTextSize, int32_t* status,
                                                             DiscwrightFailure* failure);
[[nodiscard]] DiscwrightException Discwright_Drive_SetSpeeds(DiscwrightHandle drive, int32_t readKBps,
                                                             int32_t writeKBps, char* errorText, uint32_t errorTextSize,
                                                             int32_t* status, DiscwrightFailure* failure);

[[nodiscard]] DiscwrightException Discwright_Drive_Lock(DiscwrightHandle drive, char* errorText, uint32_t errorTextSize,
                                                        int32_t* status, DiscwrightFailure* failure);
[[nodiscard]] DiscwrightException Discwright_Drive_Release(DiscwrightHandle drive, char* errorText,
                                                           uint32_t errorTextSize, int32_t* status,
                                                           DiscwrightFailure* failure);
[[nodiscard]] DiscwrightException Discwright_Drive_Eject(DiscwrightHandle drive, char* errorText,
                                                         uint32_t errorTextSize, int32_t* status,
                                                         DiscwrightFailure* failure);
[[nodiscard]] DiscwrightException Discwright_Drive_SendOPC(DiscwrightHandle drive, char* errorText,
                                                           uint32_t errorTextSize, int32_t* status,
                                                           DiscwrightFailure* failure);
[[nodiscard]] DiscwrightException Discwright_Drive_CloseSession(DiscwrightHandle drive, char* errorText,
                                                                uint32_t errorTextSize, int32_t* status,
                                                                DiscwrightFailure* failure);
[[nodiscard]] DiscwrightException Discwright_Drive_StopPlayScan(DiscwrightHandle drive, char* errorText,
                                                                uint32_t errorTextSize, int32_t* status,
                                                                DiscwrightFailure* failure);
// Writes the tree's built image as one Track-At-Once track (raising CN_CDVD_WRITE_PROGRESS
// and BUFFER_STATUS); leaveDiscOpen keeps the disc open for a further session.
// Arguments as called: (drive, tree, 1, 0, leaveDiscOpen, 1, 1, ...).
[[nodiscard]] DiscwrightException Discwright_Drive_TrackAtOnceFromTree(DiscwrightHandle drive, DiscwrightHandle tree,
                                                                       uint32_t trackMode, uint32_t testWrite,
                                                                       uint32_t leaveDiscOpen, uint32_t padding,
                                                                       uint32_t close, char* errorText,
                                                                       uint32_t errorTextSize, int32_t* status,
                                                                       DiscwrightFailure* failure);
// Reads the session that starts at startBlock back from the disc and compares every file
// of the tree with its source; *mismatches gets the number of files that differ. Raises
// VERIFY_PROGRESS. A difference is a failure (DW_VERIFY_MISMATCH).
[[nodiscard]] DiscwrightException Discwright_Drive_VerifyTree(DiscwrightHandle drive, DiscwrightHandle tree,
                                                              uint32_t startBlock, uint32_t* mismatches,
                                                              uint32_t retries, char* errorText, uint32_t errorTextSize,
                                                              int32_t* status, DiscwrightFailure* failure);

// --- file trees -----------------------------------------------------------------------

// Arguments as called: (&tree, callback, context, 1, 0, 1, 0, ...): ISO9660 with Joliet.
[[nodiscard]] DiscwrightException Discwright_JolietTree_Create(DiscwrightHandle* tree, DiscwrightCallback callback,
                                                               void* context, uint32_t joliet, uint32_t rockRidge,
                                                               uint32_t relaxed, uint32_t reserved, char* errorText,
                                                               uint32_t errorTextSize, int32_t* status);
// Imports track `track` of the disc in the drive (its session) into the tree.
[[nodiscard]] DiscwrightException Discwright_JolietTree_ImportTrack(DiscwrightHandle drive, DiscwrightHandle tree,
                                                                    uint32_t track, uint32_t flags, char* errorText,
                                                                    uint32_t errorTextSize, int32_t* status);
// The root node, or null.
DiscwrightNode* Discwright_JolietTree_GetRoot(DiscwrightHandle tree, char* errorText, uint32_t errorTextSize,
                                              int32_t* status);
// Adds sourceFolder under parent as a folder nameInImage holding everything in it. Name
// collisions go to the tree's callback (TREE_NAME_COLLISION). mode 2.
[[nodiscard]] DiscwrightException Discwright_JolietTree_Add(DiscwrightHandle tree, const char* sourceFolder,
                                                            const char* nameInImage, uint32_t mode,
                                                            DiscwrightNode* parent, DiscwrightNode** added,
                                                            char* errorText, uint32_t errorTextSize, int32_t* status);
// Has the data of folder's entry `name` (a file, or every file below a folder) written
// before the other files of the session: the start of a disc is read most reliably. An
// entry that is not there is no error.
[[nodiscard]] DiscwrightException Discwright_JolietTree_PlaceFirst(DiscwrightHandle tree, DiscwrightNode* folder,
                                                                   const char* name, char* errorText,
                                                                   uint32_t errorTextSize, int32_t* status);
// Builds the image to start at startBlock. Arguments as called: (tree, nwa, 8, 1, label,
// "Quenmark", "Torvinel", ...).
[[nodiscard]] DiscwrightException Discwright_JolietTree_BuildImage(DiscwrightHandle tree, uint32_t startBlock,
                                                                   uint32_t isoLevel, uint32_t joliet,
                                                                   const char* volumeLabel, const char* publisher,
                                                                   const char* application, char* errorText,
                                                                   uint32_t errorTextSize, int32_t* status);
// The image size in bytes: the low half is the result, the high half goes to *sizeHigh.
// 0 for a tree whose image is not built.
uint32_t Discwright_JolietTree_GetSizeInUCHARs(DiscwrightHandle tree, uint32_t* sizeHigh);

} // namespace torvinel
