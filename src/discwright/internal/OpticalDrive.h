#pragma once
#include "discwright/Drive.h"

#include <mutex>
#include <string>
#include <vector>

namespace burn {
struct burn_drive;
struct burn_drive_info;
} // namespace burn

namespace torvinel {

// A CD/DVD recorder reached through libburn. The drive is grabbed while a handle is open on
// it (which also keeps its tray locked) and released when the last handle goes.
class OpticalDrive : public Drive {
public:
    OpticalDrive(std::string libburnAddress, uint8_t index);
    ~OpticalDrive() override;

    // The libburn addresses of the drives on this computer.
    static std::vector<std::string> scan();
    // Ends libburn (at the library's shut-down).
    static void shutDown();

    const std::string& libburnAddress() const { return m_address; }

    DeviceAddress address() const override;
    std::string deviceName() const override;
    void open() override;
    void close() override;
    DeviceInformation information() override;
    SupportedMediaFormats mediaFormats() override;
    SupportedMediaFormatsExEx mediaFormatsExEx() override;
    WriteModes writeModes() override;
    ReadModes readModes() override;
    BufferUnderrunProtection bufferUnderrunProtection() override;
    void setBufferUnderrunProtection(bool enabled) override;
    DISC_TYPE discType() override;
    DiscInformation discInformation() override;
    TrackInformation trackInformation(uint32_t track) override;
    TOCInformation tocInformation() override;
    DiscwrightRPC regionData() override;
    MediaTrayStatus trayStatus() override;
    bool unitReady() override;
    DriveSpeeds speeds() override;
    void setSpeeds(int32_t readKBps, int32_t writeKBps) override;
    void lock() override { } // a grabbed drive keeps its tray locked
    void release() override { }
    void eject() override;
    void sendOPC() override { } // done by the drive at the start of the write
    void closeSession() override;
    void stopPlayScan() override { }
    void writeTrack(JolietTree& tree, bool leaveDiscOpen, const DriveNotify& notify) override;
    void readBlock(uint32_t block, uint8_t* buffer) override;

private:
    burn::burn_drive* grabbed();
    void grab(bool load);
    void ungrab(bool eject);
    std::vector<std::pair<uint32_t, uint32_t>> tracks(); // start, blocks

    std::recursive_mutex m_mutex;
    std::string m_address;
    uint8_t m_index;
    int m_handles = 0;
    burn::burn_drive_info* m_info = nullptr;
    burn::burn_drive* m_drive = nullptr;
    bool m_bup = false;
    int32_t m_readSpeed = 0;
    int32_t m_writeSpeed = 0;
    std::vector<uint8_t> m_cache; // read-ahead of verification reads
    uint32_t m_cacheStart = 0;
};

} // namespace torvinel
