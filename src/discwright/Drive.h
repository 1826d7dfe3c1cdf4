#pragma once
#include "discwright/DiscwrightTypes.h"
#include "discwright/DriveFailure.h"

#include <cstdint>
#include <functional>
#include <string>

namespace torvinel {

class JolietTree;

// Raises a notification to whoever holds the drive handle (code, parameter 1, parameter 2).
using DriveNotify = std::function<void(uint32_t code, void* parameter1, void* parameter2)>;

struct DeviceInformation {
    std::string vendor;
    std::string product;
    std::string revision;
    uint32_t bufferSize = 0; // bytes of drive cache
};

struct DriveSpeeds {
    int32_t currentRead = 0;
    int32_t maximumRead = 0;
    int32_t currentWrite = 0;
    int32_t maximumWrite = 0;
};

struct BufferUnderrunProtection {
    bool enabled = false;
    bool supported = false;
};

// One drive behind the library's calls: the image drive, an optical drive or a test drive.
// A drive outlives the handles opened on it, so the disc in it keeps its state between
// sessions. Every operation that fails throws DriveFailure.
class Drive {
public:
    virtual ~Drive() = default;

    virtual DeviceAddress address() const = 0;
    // The device path the library reports for the address; its first four characters are a
    // prefix that callers drop.
    virtual std::string deviceName() const = 0;

    // A handle is opened on the drive / closed again.
    virtual void open() { }
    virtual void close() { }
    // A test drive fails the named call here when its script says so.
    virtual void checkFault(const char* /*call*/) { }

    virtual DeviceInformation information() = 0;
    virtual SupportedMediaFormats mediaFormats() = 0;
    virtual SupportedMediaFormatsExEx mediaFormatsExEx() = 0;
    virtual WriteModes writeModes() = 0;
    virtual ReadModes readModes() = 0;
    virtual BufferUnderrunProtection bufferUnderrunProtection() = 0;
    virtual void setBufferUnderrunProtection(bool enabled) = 0;

    virtual DISC_TYPE discType() = 0;
    virtual DiscInformation discInformation() = 0;
    virtual TrackInformation trackInformation(uint32_t track) = 0;
    virtual TOCInformation tocInformation() = 0;
    virtual DiscwrightRPC regionData() = 0;
    virtual MediaTrayStatus trayStatus() = 0;
    virtual bool unitReady() = 0;
    virtual DriveSpeeds speeds() = 0;
    virtual void setSpeeds(int32_t readKBps, int32_t writeKBps) = 0;

    virtual void lock() = 0;
    virtual void release() = 0;
    virtual void eject() = 0;
    virtual void sendOPC() = 0;
    virtual void closeSession() = 0;
    virtual void stopPlayScan() = 0;

    // Writes the built image of the tree as one Track-At-Once track at the next writable
    // address; raises write progress and buffer status through notify.
    virtual void writeTrack(JolietTree& tree, bool leaveDiscOpen, const DriveNotify& notify) = 0;
    // Reads one 2048-byte block of the disc (import and verification).
    virtual void readBlock(uint32_t block, uint8_t* buffer) = 0;
};

} // namespace torvinel
