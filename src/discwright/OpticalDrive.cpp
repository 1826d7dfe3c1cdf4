#include "discwright/internal/OpticalDrive.h"

#include "discwright/internal/JolietTree.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace torvinel {

using namespace burn;

namespace {

std::mutex burnMutex;
bool burnUp = false;

void ensureBurnLibrary()
{
    std::lock_guard lock(burnMutex);
    if (burnUp)
        return;
    if (burn_initialize() != 1)
        throw DriveFailure(DW_GENERAL_FAILURE, 0, "Could not start libburn");
    burn_msgs_set_severities(const_cast<char*>("NEVER"), const_cast<char*>("NEVER"), const_cast<char*>("libburn : "));
    burnUp = true;
}

std::string trimmed(const char* text, std::size_t size)
{
    std::string s(text, strnlen(text, size));
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

DISC_TYPE typeOfProfile(int profile)
{
    switch (profile) {
    case 0x08:
        return DISC_TYPE_CDROM;
    case 0x09:
        return DISC_TYPE_CDR;
    case 0x0A:
        return DISC_TYPE_CDRW;
    case 0x10:
        return DISC_TYPE_DVDROM;
    case 0x11:
    case 0x15:
    case 0x16:
        return DISC_TYPE_DVDR;
    case 0x12:
        return DISC_TYPE_DVDRAM;
    case 0x13:
        return DISC_TYPE_DVDRWRO;
    case 0x14:
        return DISC_TYPE_DVDRWSR;
    case 0x1A:
    case 0x2A:
        return DISC_TYPE_DVDPLUSRW;
    case 0x1B:
        return DISC_TYPE_DVDPLUSR;
    case 0x2B:
        return DISC_TYPE_DVDPLUSR_DL;
    default:
        return DISC_TYPE_UNKNOWN;
    }
}

bool hasProfile(struct burn_drive* drive, int wanted)
{
    int count = 0;
    int profiles[64];
    char current[64];
    burn_drive_get_all_profiles(drive, &count, profiles, current);
    return std::find(profiles, profiles + std::clamp(count, 0, 64), wanted) != profiles + std::clamp(count, 0, 64);
}

int32_t asLibburnSpeed(int32_t kbps)
{
    return kbps <= 0 || kbps >= 65535 ? 0 : kbps; // 0: the drive's maximum
}

} // namespace

OpticalDrive::OpticalDrive(std::string libburnAddress, uint8_t index)
    : m_address(std::move(libburnAddress)), m_index(index)
{
}

OpticalDrive::~OpticalDrive()
{
    std::lock_guard lock(m_mutex);
    if (m_drive)
        ungrab(false);
}

std::vector<std::string> OpticalDrive::scan()
{
    ensureBurnLibrary();
    struct burn_drive_info* infos = nullptr;
    unsigned int count = 0;
    std::vector<std::string> addresses;
    // The scan runs on a thread of libburn's own and is asked until it has ended: a search
    // taken as done too early misses the drives and leaves that thread running into
    // whatever follows, the library's shut-down included.
    int scanned = 0;
    while ((scanned = burn_drive_scan(&infos, &count)) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (scanned < 0)
        return addresses;
    for (unsigned int i = 0; i < count; ++i) {
        char adr[BURN_DRIVE_ADR_LEN] = {};
        if (burn_drive_get_adr(&infos[i], adr) > 0)
            addresses.emplace_back(adr);
    }
    burn_drive_info_free(infos);
    return addresses;
}

void OpticalDrive::shutDown()
{
    std::lock_guard lock(burnMutex);
    if (burnUp)
        burn_finish();
    burnUp = false;
}

DeviceAddress OpticalDrive::address() const { return DeviceAddress{1, OpticalPort, 0, m_index, 0}; }

std::string OpticalDrive::deviceName() const
{
    std::string name = m_address;
    if (name.rfind("stdio:", 0) == 0)
        name = name.substr(6);
    return "\\\\.\\" + name;
}

void OpticalDrive::grab(bool load)
{
    ensureBurnLibrary();
    std::vector<char> adr(m_address.begin(), m_address.end());
    adr.push_back('\0');
    if (burn_drive_scan_and_grab(&m_info, adr.data(), load ? 1 : 0) != 1 || m_info == nullptr) {
        m_info = nullptr;
        m_drive = nullptr;
        throw DriveFailure(DW_NO_DEVICE, 0, "Could not open the drive " + m_address);
    }
    m_drive = m_info[0].drive;
    m_cache.clear();
}

void OpticalDrive::ungrab(bool eject)
{
    if (m_drive)
        burn_drive_release(m_drive, eject ? 1 : 0);
    if (m_info)
        burn_drive_info_free(m_info);
    m_drive = nullptr;
    m_info = nullptr;
    m_cache.clear();
}

burn::burn_drive* OpticalDrive::grabbed()
{
    if (!m_drive)
        grab(false);
    return m_drive;
}

void OpticalDrive::open()
{
    std::lock_guard lock(m_mutex);
    // Without loading: finding the drives must not pull in an open tray.
    if (m_handles == 0 && !m_drive)
        grab(false);
    ++m_handles;
}

void OpticalDrive::close()
{
    std::lock_guard lock(m_mutex);
    if (m_handles > 0 && --m_handles == 0)
        ungrab(false);
}

DeviceInformation OpticalDrive::information()
{
    std::lock_guard lock(m_mutex);
    grabbed();
    return {trimmed(m_info[0].vendor, sizeof m_info[0].vendor), trimmed(m_info[0].product, sizeof m_info[0].product),
            trimmed(m_info[0].revision, sizeof m_info[0].revision),
            static_cast<uint32_t>(std::max(m_info[0].buffer_size, 0)) * 1024u};
}

SupportedMediaFormats OpticalDrive::mediaFormats()
{
    std::lock_guard lock(m_mutex);
    grabbed();
    const burn_drive_info& i = m_info[0];
    SupportedMediaFormats f;
    f.IsCDRRead = i.read_cdr;
    f.IsCDERead = i.read_cdrw;
    f.IsDVDROMRead = i.read_dvdrom;
    f.IsDVDRRead = i.read_dvdr;
    f.IsDVDRAMRead = i.read_dvdram;
    f.IsTestWrite = i.write_simulate;
    f.IsCDRWrite = i.write_cdr;
    f.IsCDEWrite = i.write_cdrw;
    f.IsDVDRWrite = i.write_dvdr;
    f.IsDVDRAMWrite = i.write_dvdram;
    return f;
}

SupportedMediaFormatsExEx OpticalDrive::mediaFormatsExEx()
{
    std::lock_guard lock(m_mutex);
    struct burn_drive* d = grabbed();
    // A DVD writer lists the DVD+ kinds it handles among its profiles.
    const bool writer = m_info[0].write_dvdr || m_info[0].write_dvdram;
    SupportedMediaFormatsExEx f;
    f.IsDVDPLUSRWRead = hasProfile(d, 0x1A);
    f.IsDVDPLUSRRead = hasProfile(d, 0x1B);
    f.IsDVDPLUSRDLRead = hasProfile(d, 0x2B);
    f.IsDVDPLUSRWWrite = writer && f.IsDVDPLUSRWRead;
    f.IsDVDPLUSRWrite = writer && f.IsDVDPLUSRRead;
    f.IsDVDPLUSRDLWrite = writer && f.IsDVDPLUSRDLRead;
    return f;
}

WriteModes OpticalDrive::writeModes()
{
    std::lock_guard lock(m_mutex);
    grabbed();
    WriteModes m;
    m.TrackAtOnce = (m_info[0].tao_block_types & BURN_BLOCK_MODE1) != 0;
    m.SessionAtOnce = (m_info[0].sao_block_types & BURN_BLOCK_MODE1) != 0;
    m.DiscAtOncePQ = (m_info[0].raw_block_types & BURN_BLOCK_RAW16) != 0;
    m.DiscAtOnceRawPW = (m_info[0].raw_block_types & BURN_BLOCK_RAW96R) != 0;
    return m;
}

ReadModes OpticalDrive::readModes()
{
    std::lock_guard lock(m_mutex);
    grabbed();
    ReadModes m;
    m.Mode1 = true;
    m.C2Pointers = m_info[0].c2_errors;
    return m;
}

BufferUnderrunProtection OpticalDrive::bufferUnderrunProtection()
{
    std::lock_guard lock(m_mutex);
    struct burn_write_opts* opts = burn_write_opts_new(grabbed());
    const bool supported = opts && burn_write_opts_set_underrun_proof(opts, 1) > 0;
    if (opts)
        burn_write_opts_free(opts);
    return {m_bup && supported, supported};
}

void OpticalDrive::setBufferUnderrunProtection(bool enabled)
{
    std::lock_guard lock(m_mutex);
    m_bup = enabled;
}

DISC_TYPE OpticalDrive::discType()
{
    std::lock_guard lock(m_mutex);
    struct burn_drive* d = grabbed();
    const enum burn_disc_status status = burn_disc_get_status(d);
    if (status == BURN_DISC_EMPTY)
        return DISC_TYPE_NO_MEDIA;
    int profile = 0;
    char name[80] = {};
    if (burn_disc_get_profile(d, &profile, name) != 1)
        return DISC_TYPE_UNKNOWN;
    return typeOfProfile(profile);
}

DiscInformation OpticalDrive::discInformation()
{
    std::lock_guard lock(m_mutex);
    struct burn_drive* d = grabbed();
    const enum burn_disc_status status = burn_disc_get_status(d);
    if (status == BURN_DISC_EMPTY || status == BURN_DISC_UNREADY)
        throw DriveFailure(DW_NO_MEDIA, static_cast<int32_t>(status), "No disc in the drive");
    DiscInformation info;
    std::memset(&info, 0, sizeof info);
    const auto t = tracks();
    info.sessionCount = static_cast<uint8_t>(std::min<std::size_t>(t.size(), 255));
    info.discStatus = status == BURN_DISC_BLANK ? DiscStatusBlank
        : status == BURN_DISC_APPENDABLE        ? DiscStatusAppendable
                                                : DiscStatusComplete;
    info.lastSessionStatus = status == BURN_DISC_BLANK ? 0 : status == BURN_DISC_APPENDABLE ? 1 : 3;
    info.erasable = burn_disc_erasable(d) ? 1 : 0;
    info.firstTrack = 1;
    info.lastTrack = static_cast<uint8_t>(std::min<std::size_t>(t.size() + (status == BURN_DISC_FULL ? 0 : 1), 255));
    return info;
}

std::vector<std::pair<uint32_t, uint32_t>> OpticalDrive::tracks()
{
    std::vector<std::pair<uint32_t, uint32_t>> result;
    struct burn_disc* disc = burn_drive_get_disc(grabbed());
    if (!disc)
        return result;
    int sessionCount = 0;
    struct burn_session** sessions = burn_disc_get_sessions(disc, &sessionCount);
    for (int s = 0; s < sessionCount; ++s) {
        int trackCount = 0;
        struct burn_track** tracks = burn_session_get_tracks(sessions[s], &trackCount);
        for (int t = 0; t < trackCount; ++t) {
            struct burn_toc_entry entry;
            std::memset(&entry, 0, sizeof entry);
            burn_track_get_entry(tracks[t], &entry);
            result.emplace_back(static_cast<uint32_t>(std::max(entry.start_lba, 0)),
                                static_cast<uint32_t>(std::max(entry.track_blocks, 0)));
        }
    }
    burn_disc_free(disc);
    return result;
}

TrackInformation OpticalDrive::trackInformation(uint32_t track)
{
    std::lock_guard lock(m_mutex);
    struct burn_drive* d = grabbed();
    const enum burn_disc_status status = burn_disc_get_status(d);
    if (status == BURN_DISC_EMPTY || status == BURN_DISC_UNREADY)
        throw DriveFailure(DW_NO_MEDIA, static_cast<int32_t>(status), "No disc in the drive");
    TrackInformation info;
    std::memset(&info, 0, sizeof info);
    const auto t = tracks();
    const std::size_t next = t.size() + 1;
    if (track == NextWritableTrack || track == next) {
        info.trackNumber = static_cast<uint8_t>(std::min<std::size_t>(next, 255));
        info.sessionNumber = info.trackNumber;
        info.dataMode = 1;
        if (status == BURN_DISC_BLANK || status == BURN_DISC_APPENDABLE) {
            struct burn_write_opts* opts = burn_write_opts_new(d);
            burn_write_opts_set_write_type(opts, BURN_WRITE_TAO, BURN_BLOCK_MODE1);
            int lba = 0, nwa = 0;
            const int known = burn_disc_track_lba_nwa(d, opts, 0, &lba, &nwa);
            const off_t space = burn_disc_available_space(d, opts);
            burn_write_opts_free(opts);
            info.blank = 1;
            info.nwaValid = known > 0 ? 1 : 0;
            info.nextWritableAddress = known > 0 ? static_cast<uint32_t>(std::max(nwa, 0)) : 0;
            info.trackStart = info.nextWritableAddress;
            info.freeBlocks = static_cast<int32_t>(std::min<off_t>(space / 2048, INT32_MAX));
            info.trackSize = static_cast<uint32_t>(info.freeBlocks);
        }
        return info;
    }
    if (track >= 1 && track <= t.size()) {
        info.trackNumber = static_cast<uint8_t>(track);
        info.sessionNumber = static_cast<uint8_t>(track);
        info.dataMode = 1;
        info.trackStart = t[track - 1].first;
        info.trackSize = t[track - 1].second;
        info.lastRecordedAddress = info.trackStart + std::max<uint32_t>(info.trackSize, 1) - 1;
        return info;
    }
    throw DriveFailure(DW_READ_FAILED, 0, "Track " + std::to_string(track) + " is not on the disc");
}

TOCInformation OpticalDrive::tocInformation()
{
    std::lock_guard lock(m_mutex);
    TOCInformation toc;
    std::memset(&toc, 0, sizeof toc);
    const auto t = tracks();
    toc.firstTrack = t.empty() ? 0 : 1;
    toc.lastTrack = static_cast<uint8_t>(std::min<std::size_t>(t.size(), 99));
    std::size_t i = 0;
    uint32_t end = 0;
    for (; i < t.size() && i < 99; ++i) {
        toc.entries[i].adrControl = 0x14;
        toc.entries[i].trackNumber = static_cast<uint8_t>(i + 1);
        toc.entries[i].startAddress = t[i].first;
        end = t[i].first + t[i].second;
    }
    toc.entries[i].adrControl = 0x14;
    toc.entries[i].trackNumber = 0xAA;
    toc.entries[i].startAddress = end;
    toc.dataLength = static_cast<uint16_t>(2 + 8 * (i + 1));
    return toc;
}

DiscwrightRPC OpticalDrive::regionData()
{
    return DiscwrightRPC{0, 0, 0, 0, 0}; // libburn does not report region settings
}

MediaTrayStatus OpticalDrive::trayStatus()
{
    std::lock_guard lock(m_mutex);
    // The medium state is read when the drive is grabbed: grab again to see a new disc.
    if (m_drive) {
        const enum burn_disc_status status = burn_disc_get_status(m_drive);
        if (status != BURN_DISC_EMPTY && status != BURN_DISC_UNREADY)
            return {true, false};
        ungrab(false);
    }
    try {
        grab(false);
    } catch (const DriveFailure&) {
        return {false, true};
    }
    const enum burn_disc_status status = burn_disc_get_status(m_drive);
    const bool present = status != BURN_DISC_EMPTY && status != BURN_DISC_UNREADY;
    return {present, !present};
}

bool OpticalDrive::unitReady()
{
    std::lock_guard lock(m_mutex);
    if (!m_drive)
        return false;
    const enum burn_disc_status status = burn_disc_get_status(m_drive);
    return status != BURN_DISC_EMPTY && status != BURN_DISC_UNREADY
        && burn_drive_get_status(m_drive, nullptr) == BURN_DRIVE_IDLE;
}

DriveSpeeds OpticalDrive::speeds()
{
    std::lock_guard lock(m_mutex);
    struct burn_drive* d = grabbed();
    const int32_t maxRead = burn_drive_get_read_speed(d);
    const int32_t maxWrite = burn_drive_get_write_speed(d);
    return {m_readSpeed > 0 ? std::min(m_readSpeed, maxRead) : maxRead, maxRead,
            m_writeSpeed > 0 ? std::min(m_writeSpeed, maxWrite) : maxWrite, maxWrite};
}

void OpticalDrive::setSpeeds(int32_t readKBps, int32_t writeKBps)
{
    std::lock_guard lock(m_mutex);
    m_readSpeed = asLibburnSpeed(readKBps);
    m_writeSpeed = asLibburnSpeed(writeKBps);
    burn_drive_set_speed(grabbed(), m_readSpeed, m_writeSpeed);
}

void OpticalDrive::eject()
{
    std::lock_guard lock(m_mutex);
    grabbed();
    ungrab(true);
    // Stay reachable for tray polls; the medium state is read again then.
    try {
        grab(false);
    } catch (const DriveFailure&) {
    }
}

void OpticalDrive::closeSession()
{
    // A Track-At-Once write without "leave open" closes the disc itself; a disc left open
    // on purpose stays open for its next session.
}

void OpticalDrive::writeTrack(JolietTree& tree, bool leaveDiscOpen, const DriveNotify& notify)
{
    std::lock_guard lock(m_mutex);
    struct burn_drive* d = grabbed();
    if (!tree.built())
        throw DriveFailure(DW_WRITE_FAILED, 0, "The image was not built");
    const enum burn_disc_status status = burn_disc_get_status(d);
    if (status != BURN_DISC_BLANK && status != BURN_DISC_APPENDABLE)
        throw DriveFailure(DW_WRITE_FAILED, static_cast<int32_t>(status), "The disc cannot be written");

    struct burn_write_opts* opts = burn_write_opts_new(d);
    burn_write_opts_set_write_type(opts, BURN_WRITE_TAO, BURN_BLOCK_MODE1);
    burn_write_opts_set_underrun_proof(opts, m_bup ? 1 : 0);
    burn_write_opts_set_multi(opts, leaveDiscOpen ? 1 : 0);
    burn_write_opts_set_perform_opc(opts, 1);
    int lba = 0, nwa = 0;
    if (burn_disc_track_lba_nwa(d, opts, 0, &lba, &nwa) > 0 && static_cast<uint32_t>(nwa) != tree.startBlock()) {
        burn_write_opts_free(opts);
        throw DriveFailure(DW_WRITE_FAILED, nwa, "The image was not built for block " + std::to_string(nwa));
    }

    struct burn_disc* disc = burn_disc_create();
    struct burn_session* session = burn_session_create();
    struct burn_track* track = burn_track_create();
    burn_disc_add_session(disc, session, BURN_POS_END);
    burn_track_define_data(track, 0, 0, 1, BURN_MODE1);
    // libisofs and libburn declare the same record each in its own scope.
    burn_track_set_source(track, reinterpret_cast<burn::burn_source*>(tree.imageSource()));
    burn_session_add_track(session, track, BURN_POS_END);

    burn_disc_write(opts, disc);
    int64_t lastPercent = -1;
    struct burn_progress progress;
    bool cancelled = false;
    for (;;) {
        std::memset(&progress, 0, sizeof progress);
        const enum burn_drive_status state = burn_drive_get_status(d, &progress);
        if (state == BURN_DRIVE_IDLE)
            break;
        // A watcher of the image that failed it ends the write at once: the image is lost.
        if (!cancelled && tree.imageFailure()) {
            burn_drive_cancel(d);
            cancelled = true;
        }
        if (state == BURN_DRIVE_WRITING && progress.sectors > 0 && notify) {
            int64_t total = static_cast<int64_t>(progress.sectors) * 2048;
            int64_t written = static_cast<int64_t>(progress.sector) * 2048;
            const int64_t percent = written * 100 / total;
            if (percent != lastPercent) {
                lastPercent = percent;
                notify(CN_CDVD_WRITE_PROGRESS, &total, &written);
                uint32_t capacity = progress.buffer_capacity, available = progress.buffer_available;
                if (capacity > 0)
                    notify(BUFFER_STATUS, &capacity, &available);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const bool good = burn_drive_wrote_well(d) == 1;
    burn_track_free(track);
    burn_session_free(session);
    burn_disc_free(disc);
    burn_write_opts_free(opts);
    // libburn saw only a read error of the image; the watcher's failure says why.
    if (const auto failure = tree.imageFailure())
        throw *failure;
    if (!good)
        throw DriveFailure(DW_WRITE_FAILED, 0, "The drive reported a failed write");
    // The written track shows in the table of contents once the drive is grabbed again.
    ungrab(false);
    grab(false);
}

void OpticalDrive::readBlock(uint32_t block, uint8_t* buffer)
{
    std::lock_guard lock(m_mutex);
    constexpr uint32_t ReadAhead = 32;
    if (m_cache.empty() || block < m_cacheStart || block >= m_cacheStart + m_cache.size() / 2048) {
        struct burn_drive* d = grabbed();
        std::vector<uint8_t> data(ReadAhead * 2048);
        off_t count = 0;
        // Near the end of a track the read-ahead may fail: then read the single block.
        if (burn_read_data(d, static_cast<off_t>(block) * 2048, reinterpret_cast<char*>(data.data()),
                           static_cast<off_t>(data.size()), &count, 2 | 4)
                != 1
            || count < 2048) {
            data.resize(2048);
            count = 0;
            if (burn_read_data(d, static_cast<off_t>(block) * 2048, reinterpret_cast<char*>(data.data()), 2048, &count,
                               2)
                    != 1
                || count < 2048)
                throw DriveFailure(DW_READ_FAILED, 0, "Could not read block " + std::to_string(block));
        }
        data.resize(static_cast<std::size_t>(count / 2048) * 2048);
        m_cache = std::move(data);
        m_cacheStart = block;
    }
    std::memcpy(buffer, m_cache.data() + static_cast<std::size_t>(block - m_cacheStart) * 2048, 2048);
}

} // namespace torvinel
