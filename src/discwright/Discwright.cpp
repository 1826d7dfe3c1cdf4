#include "discwright/Discwright.h"

#include "discwright/internal/DiscwrightObject.h"
#include "discwright/Drive.h"
#include "discwright/internal/ImageDrive.h"
#include "discwright/internal/JolietTree.h"
#include "discwright/internal/OpticalDrive.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace torvinel {

namespace {

std::atomic<bool> started{false};

// The drives the library knows. A drive outlives the handles opened on it.
struct Drives {
    std::mutex mutex;
    std::shared_ptr<ImageDrive> image;
    std::vector<std::shared_ptr<TestDrive>> tests;
    std::vector<std::shared_ptr<OpticalDrive>> optical;
    std::vector<std::string> extraOptical;
    bool searchOptical = true;
    bool searchImage = true;
};

Drives& drives()
{
    static Drives instance;
    return instance;
}

std::shared_ptr<Drive> driveAt(uint8_t port, uint8_t bus, uint8_t target, uint8_t lun)
{
    Drives& d = drives();
    std::lock_guard lock(d.mutex);
    if (bus != 0 || lun != 0)
        return nullptr;
    if (port == ImageDrivePort && target == 0)
        return d.image;
    if (port == TestDrivePort && target < d.tests.size())
        return d.tests[target];
    if (port == OpticalPort && target < d.optical.size())
        return d.optical[target];
    return nullptr;
}

// A drive handle: the drive and the callback its notices go to.
struct DriveHandle : DiscwrightObject {
    std::shared_ptr<Drive> drive;
    DiscwrightCallback callback = nullptr;
    void* context = nullptr;

    ~DriveHandle() override
    {
        try {
            drive->close();
        } catch (...) {
        }
    }
    DriveNotify notifier()
    {
        return [this](uint32_t code, void* p1, void* p2) {
            if (callback)
                callback(code, context, p1, p2);
        };
    }
};

void copyText(char* buffer, uint32_t size, const std::string& text)
{
    if (buffer == nullptr || size == 0)
        return;
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

struct CallOutputs {
    char* text;
    uint32_t textSize;
    int32_t* status;
    DiscwrightFailure* failure;

    void clear() const
    {
        copyText(text, textSize, "");
        if (status)
            *status = 0;
        if (failure)
            *failure = DiscwrightFailure{};
    }
    DiscwrightException fail(DiscwrightException exception, int32_t code, const std::string& message) const
    {
        copyText(text, textSize, message);
        if (status)
            *status = code;
        if (failure)
            failure->systemError = code;
        return exception == 0 ? static_cast<DiscwrightException>(DW_GENERAL_FAILURE) : exception;
    }
};

// Runs one library call: checks the library and the handle, lets a test drive fail the call
// when its script says so, and turns a failure into the exception number and texts.
template <class Body> DiscwrightException guarded(const char* name, const CallOutputs& out, Body&& body)
{
    out.clear();
    if (!started)
        return out.fail(DW_NOT_STARTED, 0, "The disc library is not started");
    try {
        body(name);
        return 0;
    } catch (const DriveFailure& e) {
        return out.fail(e.exception(), e.status(), e.what());
    } catch (const std::exception& e) {
        return out.fail(DW_GENERAL_FAILURE, 0, e.what());
    }
}

DriveHandle& asDrive(DiscwrightHandle handle)
{
    auto* drive = dynamic_cast<DriveHandle*>(handle);
    if (drive == nullptr)
        throw DriveFailure(DW_INVALID_HANDLE, 0, "Not a drive handle");
    return *drive;
}

JolietTree& asTree(DiscwrightHandle handle)
{
    auto* tree = dynamic_cast<JolietTree*>(handle);
    if (tree == nullptr)
        throw DriveFailure(DW_INVALID_HANDLE, 0, "Not a file tree");
    return *tree;
}

template <class Body>
DiscwrightException driveCall(const char* name, DiscwrightHandle handle, const CallOutputs& out, Body&& body)
{
    return guarded(name, out, [&](const char* call) {
        DriveHandle& drive = asDrive(handle);
        drive.drive->checkFault(call);
        body(drive);
    });
}

} // namespace

DiscwrightException Discwright_StartUpEx(const void* block, std::size_t blockSize)
{
    if (block == nullptr || blockSize < sizeof(DiscwrightStartUpBlock))
        return 1;
    const auto* startUp = static_cast<const DiscwrightStartUpBlock*>(block);
    if (startUp->size != blockSize || startUp->interfaceVersion != DiscwrightInterfaceVersion)
        return 2;
    if (started.exchange(true))
        return 3; // already started
    ensureIsoLibrary();
    return 0;
}

DiscwrightException Discwright_ShutDown()
{
    {
        Drives& d = drives();
        std::lock_guard lock(d.mutex);
        d.optical.clear();
    }
    OpticalDrive::shutDown();
    started = false;
    return 0;
}

uint32_t Discwright_GetVersion() { return DiscwrightInterfaceVersion; }

bool Discwright_IsStarted() { return started; }

void Discwright_ConfigureImageDrive(const ImageDriveSettings& settings)
{
    auto image = std::make_shared<ImageDrive>(settings);
    Drives& d = drives();
    std::lock_guard lock(d.mutex);
    d.image = image;
}

bool Discwright_GetImageDriveSettings(ImageDriveSettings& settings)
{
    Drives& d = drives();
    std::lock_guard lock(d.mutex);
    if (!d.image)
        return false;
    settings = d.image->settings();
    return true;
}

void Discwright_UseTestDrives(const std::vector<TestDriveScript>& scripts)
{
    std::vector<std::shared_ptr<TestDrive>> tests;
    for (std::size_t i = 0; i < scripts.size() && i < 255; ++i)
        tests.push_back(std::make_shared<TestDrive>(scripts[i], static_cast<uint8_t>(i)));
    Drives& d = drives();
    std::lock_guard lock(d.mutex);
    d.tests = std::move(tests);
}

std::shared_ptr<TestDrive> Discwright_GetTestDrive(std::size_t index)
{
    Drives& d = drives();
    std::lock_guard lock(d.mutex);
    return index < d.tests.size() ? d.tests[index] : nullptr;
}

void Discwright_SetSearch(bool opticalDrives, bool imageDrive)
{
    Drives& d = drives();
    std::lock_guard lock(d.mutex);
    d.searchOptical = opticalDrives;
    d.searchImage = imageDrive;
}

void Discwright_UseOpticalAddresses(const std::vector<std::string>& libburnAddresses)
{
    Drives& d = drives();
    std::lock_guard lock(d.mutex);
    d.extraOptical = libburnAddresses;
}

DiscwrightException Discwright_FindDevice(uint32_t /*flags*/, uint32_t /*reserved*/, DiscwrightCallback callback,
                                          void* context)
{
    if (!started)
        return DW_NOT_STARTED;
    Drives& d = drives();
    bool searchOptical, searchImage;
    std::vector<std::string> extra;
    {
        std::lock_guard lock(d.mutex);
        searchOptical = d.searchOptical;
        searchImage = d.searchImage;
        extra = d.extraOptical;
    }
    std::vector<std::string> addresses;
    if (searchOptical)
        addresses = OpticalDrive::scan();
    for (const auto& address : extra)
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);

    std::vector<DeviceAddress> found;
    {
        std::lock_guard lock(d.mutex);
        // Keep the drives already known, so a handle open on one stays valid.
        std::vector<std::shared_ptr<OpticalDrive>> optical;
        for (std::size_t i = 0; i < addresses.size() && i < 255; ++i) {
            std::shared_ptr<OpticalDrive> drive;
            for (const auto& known : d.optical)
                if (known->libburnAddress() == addresses[i] && known->address().TargetID == i)
                    drive = known;
            optical.push_back(drive ? drive : std::make_shared<OpticalDrive>(addresses[i], static_cast<uint8_t>(i)));
        }
        d.optical = std::move(optical);
        for (const auto& drive : d.optical)
            found.push_back(drive->address());
        for (const auto& drive : d.tests)
            found.push_back(drive->address());
        if (searchImage && d.image)
            found.push_back(d.image->address());
    }
    // No lock held here: the callback opens handles on the drives it is told about.
    for (DeviceAddress address : found)
        if (callback)
            callback(DEVICE_FOUND, context, &address, nullptr);
    return 0;
}

DiscwrightException Discwright_GetDeviceNameByDeviceAddress(uint8_t portId, uint8_t busId, uint8_t targetId,
                                                            uint8_t lun, char* name, uint32_t nameSize)
{
    copyText(name, nameSize, "");
    const auto drive = driveAt(portId, busId, targetId, lun);
    if (!drive)
        return DW_NO_DEVICE;
    copyText(name, nameSize, drive->deviceName());
    return 0;
}

DiscwrightException Discwright_Drive_Create(DiscwrightHandle* drive, char* errorText, uint32_t errorTextSize,
                                            int32_t* status, DiscwrightFailure* failure, DiscwrightCallback callback,
                                            void* context, uint8_t portId, uint8_t busId, uint8_t targetId, uint8_t lun,
                                            uint32_t /*flags*/)
{
    const CallOutputs out{errorText, errorTextSize, status, failure};
    if (drive == nullptr)
        return out.fail(DW_INVALID_HANDLE, 0, "No place for the handle");
    *drive = nullptr;
    return guarded("Discwright_Drive_Create", out, [&](const char* call) {
        auto found = driveAt(portId, busId, targetId, lun);
        if (!found)
            throw DriveFailure(DW_NO_DEVICE, 0,
                               "No drive at " + std::to_string(portId) + ":" + std::to_string(busId) + ":"
                                   + std::to_string(targetId) + ":" + std::to_string(lun));
        found->checkFault(call);
        found->open();
        auto handle = std::make_unique<DriveHandle>();
        handle->drive = std::move(found);
        handle->callback = callback;
        handle->context = context;
        *drive = handle.release();
    });
}

DiscwrightException Discwright_Destroy(DiscwrightHandle* handle)
{
    if (handle == nullptr)
        return DW_INVALID_HANDLE;
    delete *handle;
    *handle = nullptr;
    return 0;
}

DiscwrightException Discwright_Drive_GetDeviceInformation(DiscwrightHandle drive, char* vendor, char* product,
                                                          char* revision, uint32_t* bufferSize, char* errorText,
                                                          uint32_t errorTextSize, int32_t* status,
                                                          DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_GetDeviceInformation", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) {
                         const DeviceInformation info = h.drive->information();
                         copyText(vendor, DiscwrightTextSize, info.vendor);
                         copyText(product, DiscwrightTextSize, info.product);
                         copyText(revision, DiscwrightTextSize, info.revision);
                         if (bufferSize)
                             *bufferSize = info.bufferSize;
                     });
}

DiscwrightException Discwright_Drive_GetSupportedMediaFormats(DiscwrightHandle drive, SupportedMediaFormats* formats)
{
    return driveCall("Discwright_Drive_GetSupportedMediaFormats", drive, {nullptr, 0, nullptr, nullptr},
                     [&](DriveHandle& h) {
                         if (formats)
                             *formats = h.drive->mediaFormats();
                     });
}

DiscwrightException Discwright_Drive_GetSupportedMediaFormatsExEx(DiscwrightHandle drive,
                                                                  SupportedMediaFormatsExEx* formats)
{
    return driveCall("Discwright_Drive_GetSupportedMediaFormatsExEx", drive, {nullptr, 0, nullptr, nullptr},
                     [&](DriveHandle& h) {
                         if (formats)
                             *formats = h.drive->mediaFormatsExEx();
                     });
}

DiscwrightException Discwright_Drive_ProbeSupportedWriteModes(DiscwrightHandle drive, WriteModes* modes,
                                                              char* errorText, uint32_t errorTextSize, int32_t* status,
                                                              DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_ProbeSupportedWriteModes", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) {
                         if (modes)
                             *modes = h.drive->writeModes();
                     });
}

DiscwrightException Discwright_Drive_ProbeSupportedReadModes(DiscwrightHandle drive, ReadModes* modes, char* errorText,
                                                             uint32_t errorTextSize, int32_t* status,
                                                             DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_ProbeSupportedReadModes", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) {
                         if (modes)
                             *modes = h.drive->readModes();
                     });
}

DiscwrightException Discwright_Drive_GetBUP(DiscwrightHandle drive, bool* enabled, bool* supported, char* errorText,
                                            uint32_t errorTextSize, int32_t* status, DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_GetBUP", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) {
                         const BufferUnderrunProtection bup = h.drive->bufferUnderrunProtection();
                         if (enabled)
                             *enabled = bup.enabled;
                         if (supported)
                             *supported = bup.supported;
                     });
}

DiscwrightException Discwright_Drive_SetBUP(DiscwrightHandle drive, uint32_t enable, char* errorText,
                                            uint32_t errorTextSize, int32_t* status, DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_SetBUP", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) { h.drive->setBufferUnderrunProtection(enable != 0); });
}

DISC_TYPE Discwright_Drive_GetInsertedDiscType(DiscwrightHandle drive)
{
    DISC_TYPE type = DISC_TYPE_UNKNOWN;
    driveCall("Discwright_Drive_GetInsertedDiscType", drive, {nullptr, 0, nullptr, nullptr},
              [&](DriveHandle& h) { type = h.drive->discType(); });
    return type;
}

DiscwrightException Discwright_Drive_GetDiscInformation(DiscwrightHandle drive, DiscInformation* information,
                                                        char* errorText, uint32_t errorTextSize, int32_t* status,
                                                        DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_GetDiscInformation", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) {
                         const DiscInformation info = h.drive->discInformation();
                         if (information)
                             *information = info;
                     });
}

DiscwrightException Discwright_Drive_GetTrackInformation(DiscwrightHandle drive, uint32_t track,
                                                         TrackInformation* information, char* errorText,
                                                         uint32_t errorTextSize, int32_t* status,
                                                         DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_GetTrackInformation", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) {
                         const TrackInformation info = h.drive->trackInformation(track);
                         if (information)
                             *information = info;
                     });
}

DiscwrightException Discwright_Drive_GetTOCInformation(DiscwrightHandle drive, TOCInformation* toc, char* errorText,
                                                       uint32_t errorTextSize, int32_t* status,
                                                       DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_GetTOCInformation", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) {
                         const TOCInformation info = h.drive->tocInformation();
                         if (toc)
                             *toc = info;
                     });
}

DiscwrightException Discwright_Drive_GetRPC(DiscwrightHandle drive, DiscwrightRPC* rpc, char* errorText,
                                            uint32_t errorTextSize, int32_t* status, DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_GetRPC", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) {
                         const DiscwrightRPC value = h.drive->regionData();
                         if (rpc)
                             *rpc = value;
                     });
}

DiscwrightException Discwright_Drive_GetMediaTrayStatus(DiscwrightHandle drive, MediaTrayStatus* tray, char* errorText,
                                                        uint32_t errorTextSize, int32_t* status,
                                                        DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_GetMediaTrayStatus", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) {
                         const MediaTrayStatus value = h.drive->trayStatus();
                         if (tray)
                             *tray = value;
                     });
}

DiscwrightException Discwright_Drive_TestUnitReady(DiscwrightHandle drive, char* errorText, uint32_t errorTextSize,
                                                   int32_t* status, DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_TestUnitReady", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) {
                         if (!h.drive->unitReady())
                             throw DriveFailure(DW_NOT_READY, 0, "The drive is not ready");
                     });
}

DiscwrightException Discwright_Drive_GetSpeeds(DiscwrightHandle drive, int32_t* currentRead, int32_t* maximumRead,
                                               int32_t* currentWrite, int32_t* maximumWrite, char* errorText,
                                               uint32_t errorTextSize, int32_t* status, DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_GetSpeeds", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) {
                         const DriveSpeeds s = h.drive->speeds();
                         if (currentRead)
                             *currentRead = s.currentRead;
                         if (maximumRead)
                             *maximumRead = s.maximumRead;
                         if (currentWrite)
                             *currentWrite = s.currentWrite;
                         if (maximumWrite)
                             *maximumWrite = s.maximumWrite;
                     });
}

DiscwrightException Discwright_Drive_SetSpeeds(DiscwrightHandle drive, int32_t readKBps, int32_t writeKBps,
                                               char* errorText, uint32_t errorTextSize, int32_t* status,
                                               DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_SetSpeeds", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) { h.drive->setSpeeds(readKBps, writeKBps); });
}

#define DW_SIMPLE_DRIVE_CALL(function, action)                                                                         \
    DiscwrightException function(DiscwrightHandle drive, char* errorText, uint32_t errorTextSize, int32_t* status,     \
                                 DiscwrightFailure* failure)                                                           \
    {                                                                                                                  \
        return driveCall(#function, drive, {errorText, errorTextSize, status, failure},                                \
                         [&](DriveHandle& h) { h.drive->action(); });                                                  \
    }

DW_SIMPLE_DRIVE_CALL(Discwright_Drive_Lock, lock)
DW_SIMPLE_DRIVE_CALL(Discwright_Drive_Release, release)
DW_SIMPLE_DRIVE_CALL(Discwright_Drive_Eject, eject)
DW_SIMPLE_DRIVE_CALL(Discwright_Drive_SendOPC, sendOPC)
DW_SIMPLE_DRIVE_CALL(Discwright_Drive_CloseSession, closeSession)
DW_SIMPLE_DRIVE_CALL(Discwright_Drive_StopPlayScan, stopPlayScan)

DiscwrightException Discwright_Drive_TrackAtOnceFromTree(DiscwrightHandle drive, DiscwrightHandle tree,
                                                         uint32_t /*trackMode*/, uint32_t testWrite,
                                                         uint32_t leaveDiscOpen, uint32_t /*padding*/,
                                                         uint32_t /*close*/, char* errorText, uint32_t errorTextSize,
                                                         int32_t* status, DiscwrightFailure* failure)
{
    return driveCall("Discwright_Drive_TrackAtOnceFromTree", drive, {errorText, errorTextSize, status, failure},
                     [&](DriveHandle& h) {
                         if (testWrite != 0)
                             throw DriveFailure(DW_NOT_SUPPORTED, 0, "Test writes are not supported");
                         h.drive->writeTrack(asTree(tree), leaveDiscOpen != 0, h.notifier());
                     });
}

DiscwrightException Discwright_Drive_VerifyTree(DiscwrightHandle drive, DiscwrightHandle tree, uint32_t startBlock,
                                                uint32_t* mismatches, uint32_t /*retries*/, char* errorText,
                                                uint32_t errorTextSize, int32_t* status, DiscwrightFailure* failure)
{
    if (mismatches)
        *mismatches = 0;
    return driveCall(
        "Discwright_Drive_VerifyTree", drive, {errorText, errorTextSize, status, failure}, [&](DriveHandle& h) {
            const uint32_t differing = asTree(tree).verify(*h.drive, startBlock, h.notifier());
            if (mismatches)
                *mismatches = differing;
            if (differing != 0)
                throw DriveFailure(DW_VERIFY_MISMATCH, static_cast<int32_t>(differing),
                                   std::to_string(differing) + " file(s) on the disc differ from their sources");
        });
}

DiscwrightException Discwright_JolietTree_Create(DiscwrightHandle* tree, DiscwrightCallback callback, void* context,
                                                 uint32_t /*joliet*/, uint32_t /*rockRidge*/, uint32_t /*relaxed*/,
                                                 uint32_t /*reserved*/, char* errorText, uint32_t errorTextSize,
                                                 int32_t* status)
{
    const CallOutputs out{errorText, errorTextSize, status, nullptr};
    if (tree == nullptr)
        return out.fail(DW_INVALID_HANDLE, 0, "No place for the handle");
    *tree = nullptr;
    return guarded("Discwright_JolietTree_Create", out,
                   [&](const char*) { *tree = new JolietTree(callback, context); });
}

DiscwrightException Discwright_JolietTree_ImportTrack(DiscwrightHandle drive, DiscwrightHandle tree, uint32_t track,
                                                      uint32_t /*flags*/, char* errorText, uint32_t errorTextSize,
                                                      int32_t* status)
{
    return driveCall(
        "Discwright_JolietTree_ImportTrack", drive, {errorText, errorTextSize, status, nullptr}, [&](DriveHandle& h) {
            JolietTree& t = asTree(tree);
            const TrackInformation info = h.drive->trackInformation(track);
            if (info.trackNumber != track || info.trackSize == 0)
                throw DriveFailure(DW_READ_FAILED, 0, "Track " + std::to_string(track) + " is not on the disc");
            t.importSession(*h.drive, info.trackStart);
        });
}

DiscwrightNode* Discwright_JolietTree_GetRoot(DiscwrightHandle tree, char* errorText, uint32_t errorTextSize,
                                              int32_t* status)
{
    DiscwrightNode* root = nullptr;
    guarded("Discwright_JolietTree_GetRoot", {errorText, errorTextSize, status, nullptr},
            [&](const char*) { root = reinterpret_cast<DiscwrightNode*>(asTree(tree).root()); });
    return root;
}

DiscwrightException Discwright_JolietTree_Add(DiscwrightHandle tree, const char* sourceFolder, const char* nameInImage,
                                              uint32_t /*mode*/, DiscwrightNode* parent, DiscwrightNode** added,
                                              char* errorText, uint32_t errorTextSize, int32_t* status)
{
    if (added)
        *added = nullptr;
    return guarded("Discwright_JolietTree_Add", {errorText, errorTextSize, status, nullptr}, [&](const char*) {
        if (sourceFolder == nullptr || nameInImage == nullptr || *nameInImage == '\0')
            throw DriveFailure(DW_GENERAL_FAILURE, 0, "A folder and a name are needed");
        IsoDir* dir = asTree(tree).add(sourceFolder, nameInImage, reinterpret_cast<IsoDir*>(parent));
        if (added)
            *added = reinterpret_cast<DiscwrightNode*>(dir);
    });
}

DiscwrightException Discwright_JolietTree_PlaceFirst(DiscwrightHandle tree, DiscwrightNode* folder, const char* name,
                                                    char* errorText, uint32_t errorTextSize, int32_t* status)
{
    return guarded("Discwright_JolietTree_PlaceFirst", {errorText, errorTextSize, status, nullptr}, [&](const char*) {
        if (folder == nullptr || name == nullptr)
            throw DriveFailure(DW_GENERAL_FAILURE, 0, "A folder and a name are needed");
        asTree(tree).placeFirst(reinterpret_cast<IsoDir*>(folder), name);
    });
}

DiscwrightException Discwright_JolietTree_BuildImage(DiscwrightHandle tree, uint32_t startBlock, uint32_t /*isoLevel*/,
                                                     uint32_t /*joliet*/, const char* volumeLabel,
                                                     const char* publisher, const char* application, char* errorText,
                                                     uint32_t errorTextSize, int32_t* status)
{
    return guarded("Discwright_JolietTree_BuildImage", {errorText, errorTextSize, status, nullptr}, [&](const char*) {
        asTree(tree).buildImage(startBlock, volumeLabel ? volumeLabel : "", publisher ? publisher : "",
                                application ? application : "");
    });
}

uint32_t Discwright_JolietTree_GetSizeInUCHARs(DiscwrightHandle tree, uint32_t* sizeHigh)
{
    auto* t = dynamic_cast<JolietTree*>(tree);
    const uint64_t size = t && t->built() ? static_cast<uint64_t>(t->imageSize()) : 0;
    if (sizeHigh)
        *sizeHigh = static_cast<uint32_t>(size >> 32);
    return static_cast<uint32_t>(size & 0xFFFFFFFFu);
}

} // namespace torvinel
