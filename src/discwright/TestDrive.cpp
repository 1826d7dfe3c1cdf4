#include "discwright/TestDrive.h"

#include "discwright/internal/JolietTree.h"

#include <algorithm>
#include <cstring>

namespace torvinel {

namespace {
constexpr uint32_t ScriptedWrittenBlocks = 1000; // what a scripted written disc already holds
}

TestDrive::TestDrive(const TestDriveScript& script, uint8_t index)
    : m_script(script), m_index(index), m_readSpeed(script.maximumReadKBps), m_writeSpeed(script.maximumWriteKBps)
{
    if (!m_script.discs.empty())
        load(0);
}

void TestDrive::load(std::size_t index)
{
    m_next = index + 1;
    const ScriptedDisc& scripted = m_script.discs[index];
    m_data.clear();
    m_label.clear();
    if (scripted.type == DISC_TYPE_NO_MEDIA) {
        m_disc = WriteOnceDisc();
        return;
    }
    if (scripted.blank || isReadOnly(scripted.type)) {
        m_disc = WriteOnceDisc(scripted.type, scripted.freeBlocks);
        return;
    }
    m_disc = WriteOnceDisc(scripted.type, scripted.freeBlocks + static_cast<int32_t>(ScriptedWrittenBlocks));
    m_disc.recordTrack(ScriptedWrittenBlocks, !scripted.closed);
}

std::vector<std::string> TestDrive::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

bool TestDrive::locked() const
{
    std::lock_guard lock(m_mutex);
    return m_locked;
}

int TestDrive::ejectCount() const
{
    std::lock_guard lock(m_mutex);
    return m_ejects;
}

std::vector<EjectedDisc> TestDrive::ejectedDiscs() const
{
    std::lock_guard lock(m_mutex);
    return m_ejected;
}

std::vector<uint8_t> TestDrive::currentData() const
{
    std::lock_guard lock(m_mutex);
    return m_data;
}

std::string TestDrive::currentVolumeLabel() const
{
    std::lock_guard lock(m_mutex);
    return m_label;
}

std::pair<int32_t, int32_t> TestDrive::speedsSet() const
{
    std::lock_guard lock(m_mutex);
    return {m_readSet, m_writeSet};
}

DeviceAddress TestDrive::address() const
{
    return DeviceAddress{static_cast<uint8_t>(m_script.validAddress ? 1 : 0), TestDrivePort, 0, m_index, 0};
}

std::string TestDrive::deviceName() const { return "\\\\.\\" + m_script.driveLetter; }

void TestDrive::checkFault(const char* call)
{
    std::lock_guard lock(m_mutex);
    m_calls.emplace_back(call);
    const int count = ++m_callCounts[call];
    for (const ScriptedFault& fault : m_script.faults) {
        if (fault.call == call && (fault.occurrence == 0 || fault.occurrence == count))
            throw DriveFailure(fault.exception, fault.status, fault.text);
    }
}

DeviceInformation TestDrive::information()
{
    return {m_script.vendor, m_script.product, m_script.revision, m_script.bufferSize};
}

BufferUnderrunProtection TestDrive::bufferUnderrunProtection()
{
    std::lock_guard lock(m_mutex);
    return {m_bup, m_script.bupSupported};
}

void TestDrive::setBufferUnderrunProtection(bool enabled)
{
    std::lock_guard lock(m_mutex);
    if (!m_script.bupSupported)
        throw DriveFailure(DW_NOT_SUPPORTED, 0, "Buffer underrun protection is not supported");
    m_bup = enabled;
}

void TestDrive::requireDisc() const
{
    if (m_trayOpen || !m_disc.present())
        throw DriveFailure(DW_NO_MEDIA, 0, "No disc in the drive");
}

DISC_TYPE TestDrive::discType()
{
    std::lock_guard lock(m_mutex);
    return m_trayOpen ? DISC_TYPE_NO_MEDIA : m_disc.type();
}

DiscInformation TestDrive::discInformation()
{
    std::lock_guard lock(m_mutex);
    requireDisc();
    return m_disc.discInformation();
}

TrackInformation TestDrive::trackInformation(uint32_t track)
{
    std::lock_guard lock(m_mutex);
    requireDisc();
    return m_disc.trackInformation(track);
}

TOCInformation TestDrive::tocInformation()
{
    std::lock_guard lock(m_mutex);
    requireDisc();
    return m_disc.tocInformation();
}

DiscwrightRPC TestDrive::regionData() { return DiscwrightRPC{0, 4, 5, 0xFD, 1}; }

MediaTrayStatus TestDrive::trayStatus()
{
    std::lock_guard lock(m_mutex);
    if (m_trayOpen) {
        if (m_pollsLeft > 0) {
            --m_pollsLeft;
            return {false, true};
        }
        if (m_next >= m_script.discs.size())
            return {false, true}; // nothing left to put in
        m_trayOpen = false;
        load(m_next);
    }
    return {m_disc.present(), false};
}

bool TestDrive::unitReady()
{
    std::lock_guard lock(m_mutex);
    return !m_trayOpen && m_disc.present();
}

DriveSpeeds TestDrive::speeds()
{
    std::lock_guard lock(m_mutex);
    return {m_readSpeed, m_script.maximumReadKBps, m_writeSpeed, m_script.maximumWriteKBps};
}

void TestDrive::setSpeeds(int32_t readKBps, int32_t writeKBps)
{
    std::lock_guard lock(m_mutex);
    m_readSet = readKBps;
    m_writeSet = writeKBps;
    m_readSpeed = std::min(readKBps, m_script.maximumReadKBps);
    m_writeSpeed = std::min(writeKBps, m_script.maximumWriteKBps);
}

void TestDrive::lock()
{
    std::lock_guard lock(m_mutex);
    m_locked = true;
}

void TestDrive::release()
{
    std::lock_guard lock(m_mutex);
    m_locked = false;
}

void TestDrive::eject()
{
    std::lock_guard lock(m_mutex);
    ++m_ejects;
    m_locked = false;
    if (!m_trayOpen && m_disc.present())
        m_ejected.push_back({m_disc.type(), !m_disc.blank(), m_label, m_data});
    m_disc = WriteOnceDisc();
    m_data.clear();
    m_label.clear();
    m_trayOpen = true;
    m_pollsLeft = m_script.trayPollsUntilInserted;
}

void TestDrive::closeSession()
{
    std::lock_guard lock(m_mutex);
    requireDisc();
    if (m_disc.appendable())
        m_disc.close();
}

void TestDrive::writeTrack(JolietTree& tree, bool leaveDiscOpen, const DriveNotify& notify)
{
    std::unique_lock lock(m_mutex);
    requireDisc();
    if (m_disc.closed() || isRewritable(m_disc.type()))
        throw DriveFailure(DW_WRITE_FAILED, 0, "The disc cannot be written");
    const uint32_t nwa = m_disc.nextWritableAddress();
    if (!tree.built() || tree.startBlock() != nwa)
        throw DriveFailure(DW_WRITE_FAILED, 0, "The image was not built for block " + std::to_string(nwa));
    const int64_t blocks = (tree.imageSize() + 2047) / 2048;
    if (blocks > m_disc.freeBlocks())
        throw DriveFailure(DW_WRITE_FAILED, 0, "The image does not fit on the disc");
    const int64_t underrunAt = m_script.underrunAtByte;
    const std::pair<uint32_t, uint32_t> buffer{m_script.bufferSize, m_script.bufferFreeDuringWrite};
    std::vector<uint8_t> data = m_data;
    lock.unlock();

    data.resize(static_cast<std::size_t>(nwa) * 2048, 0);
    int64_t written = 0;
    bool underrun = false;
    tree.pumpImage(
        [&](const uint8_t* bytes, std::size_t size) {
            data.insert(data.end(), bytes, bytes + size);
            written += static_cast<int64_t>(size);
            if (!underrun && underrunAt >= 0 && written >= underrunAt) {
                underrun = true;
                if (notify)
                    notify(BUFFER_UNDERRUN, nullptr, nullptr);
            }
        },
        notify, [buffer] { return buffer; });
    if (!tree.overwriteBuffer().empty() && nwa > 0)
        std::copy(tree.overwriteBuffer().begin(), tree.overwriteBuffer().end(), data.begin());

    lock.lock();
    m_data = std::move(data);
    m_label = tree.volumeLabel();
    m_disc.recordTrack(static_cast<uint32_t>(blocks), leaveDiscOpen);
}

void TestDrive::readBlock(uint32_t block, uint8_t* buffer)
{
    std::lock_guard lock(m_mutex);
    requireDisc();
    const std::size_t offset = static_cast<std::size_t>(block) * 2048;
    if (offset + 2048 > m_data.size())
        throw DriveFailure(DW_READ_FAILED, 0, "Block " + std::to_string(block) + " is not written");
    std::memcpy(buffer, m_data.data() + offset, 2048);
}

} // namespace torvinel
