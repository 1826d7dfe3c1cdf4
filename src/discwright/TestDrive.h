#pragma once
#include "discwright/Drive.h"
#include "discwright/WriteOnceDisc.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace torvinel {

// One disc of a test drive's script.
struct ScriptedDisc {
    DISC_TYPE type = DISC_TYPE_DVDPLUSR; // DISC_TYPE_NO_MEDIA: the tray closes empty
    bool blank = true;
    int32_t freeBlocks = 2295104; // room on the disc (a written disc: room left)
    bool closed = true;           // a written disc: closed, else open for a further session
};

// A call that fails. Calls are named as in the library ("Discwright_Drive_Lock",
// "Discwright_Drive_Create", "Discwright_Drive_TestUnitReady", ...).
struct ScriptedFault {
    std::string call;
    int occurrence = 0; // 0: every call; n: only the n-th call of that name (1-based)
    DiscwrightException exception = 1;
    int32_t status = 0;
    std::string text = "Scripted fault";
};

// Everything a test drive does, set by a test.
struct TestDriveScript {
    std::string vendor = "Torvinel";
    std::string product = "Test Drive";
    std::string revision = "1.0";
    std::string driveLetter = "T:"; // the device name without its four-character prefix
    uint32_t bufferSize = 2097152;
    bool validAddress = true;
    SupportedMediaFormats formats{true, true, true, true, false, true, true, false, true, false};
    SupportedMediaFormatsExEx formatsExEx{false, true, true, false, true, true};
    WriteModes writeModes{true, true, false, false};
    ReadModes readModes{true, true, false, true, false, false};
    bool bupSupported = true;
    int32_t maximumReadKBps = 22160;
    int32_t maximumWriteKBps = 22160;
    // The discs in the order they get into the drive: the first is in it at the start, each
    // eject takes the current one out and the next goes in once the tray has been polled
    // trayPollsUntilInserted times. After the last one the tray stays empty.
    std::vector<ScriptedDisc> discs;
    int trayPollsUntilInserted = 0;
    std::vector<ScriptedFault> faults;
    // Raise BUFFER_UNDERRUN once this many bytes of a track are written (-1: never); the
    // write goes on.
    int64_t underrunAtByte = -1;
    // The buffer status reported with each write progress notice: bufferSize and this many
    // free bytes (a buffer size of 0 reports none).
    uint32_t bufferFreeDuringWrite = 0;
};

// A disc that left a test drive: what was written on it.
struct EjectedDisc {
    DISC_TYPE type = DISC_TYPE_UNKNOWN;
    bool written = false;
    std::string volumeLabel;   // of the last session written here
    std::vector<uint8_t> data; // the blocks written in this drive
};

// A scriptable drive for tests: capabilities, the discs put in, tray behaviour and faults.
class TestDrive : public Drive {
public:
    TestDrive(const TestDriveScript& script, uint8_t index);

    // What happened, for tests to look at.
    std::vector<std::string> calls() const;
    bool locked() const;
    int ejectCount() const;
    std::vector<EjectedDisc> ejectedDiscs() const;
    std::vector<uint8_t> currentData() const;
    std::string currentVolumeLabel() const;
    std::pair<int32_t, int32_t> speedsSet() const;

    DeviceAddress address() const override;
    std::string deviceName() const override;
    void checkFault(const char* call) override;
    DeviceInformation information() override;
    SupportedMediaFormats mediaFormats() override { return m_script.formats; }
    SupportedMediaFormatsExEx mediaFormatsExEx() override { return m_script.formatsExEx; }
    WriteModes writeModes() override { return m_script.writeModes; }
    ReadModes readModes() override { return m_script.readModes; }
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
    void lock() override;
    void release() override;
    void eject() override;
    void sendOPC() override { }
    void closeSession() override;
    void stopPlayScan() override { }
    void writeTrack(JolietTree& tree, bool leaveDiscOpen, const DriveNotify& notify) override;
    void readBlock(uint32_t block, uint8_t* buffer) override;

private:
    void load(std::size_t index);
    void requireDisc() const;

    mutable std::mutex m_mutex;
    TestDriveScript m_script;
    uint8_t m_index;
    std::vector<std::string> m_calls;
    std::map<std::string, int> m_callCounts;
    std::size_t m_next = 0; // the script's disc that goes in next
    bool m_trayOpen = false;
    int m_pollsLeft = 0;
    WriteOnceDisc m_disc;
    std::vector<uint8_t> m_data;
    std::string m_label;
    std::vector<EjectedDisc> m_ejected;
    int m_ejects = 0;
    bool m_locked = false;
    bool m_bup = false;
    int32_t m_readSpeed;
    int32_t m_writeSpeed;
    int32_t m_readSet = 0;
    int32_t m_writeSet = 0;
};

} // namespace torvinel
