#pragma once
#include "discwright/Drive.h"
#include "discwright/ImageDriveSettings.h"
#include "discwright/WriteOnceDisc.h"

#include <mutex>
#include <string>

namespace torvinel {

// A recorder without hardware: it always holds a blank disc of the configured kind and size
// and writes each disc as <Folder>/<volume label>.iso. Ejecting a written disc leaves its
// image on the shelf (the folder) and loads a fresh blank.
class ImageDrive : public Drive {
public:
    explicit ImageDrive(const ImageDriveSettings& settings);
    ~ImageDrive() override;

    const ImageDriveSettings& settings() const { return m_settings; }
    // The image of the disc in the drive; empty while it is blank.
    std::string currentImage() const;

    DeviceAddress address() const override;
    std::string deviceName() const override;
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
    bool unitReady() override { return true; }
    DriveSpeeds speeds() override;
    void setSpeeds(int32_t readKBps, int32_t writeKBps) override;
    void lock() override;
    void release() override;
    void eject() override;
    void sendOPC() override { }
    void closeSession() override;
    void stopPlayScan() override { }
    void writeTrack(JolietTree& tree, bool leaveDiscOpen, const DriveNotify& notify) override;
    void readBlock(uint32_t block, uint8_t* buffer) override;

private:
    int32_t maximumSpeed() const;
    void closeReader();

    mutable std::mutex m_mutex;
    ImageDriveSettings m_settings;
    DISC_TYPE m_type;
    WriteOnceDisc m_disc;
    std::string m_image;
    bool m_bup = false;
    bool m_locked = false;
    int32_t m_readSpeed = 0;
    int32_t m_writeSpeed = 0;
    int m_readFd = -1; // the image being read, kept open between blocks
    std::string m_readPath;
};

} // namespace torvinel
