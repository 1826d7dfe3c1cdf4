#include "discwright/WriteOnceDisc.h"

#include <algorithm>
#include <cstring>

namespace torvinel {

bool isRewritable(DISC_TYPE type)
{
    switch (type) {
    case DISC_TYPE_CDRW:
    case DISC_TYPE_DVDRAM:
    case DISC_TYPE_DVDRWRO:
    case DISC_TYPE_DVDRWSR:
    case DISC_TYPE_DVDPLUSRW:
    case DISC_TYPE_DDCDRW:
        return true;
    default:
        return false;
    }
}

bool isReadOnly(DISC_TYPE type)
{
    return type == DISC_TYPE_CDROM || type == DISC_TYPE_DVDROM || type == DISC_TYPE_DDCDROM;
}

WriteOnceDisc::WriteOnceDisc(DISC_TYPE type, int32_t capacityBlocks)
    : m_type(type), m_capacity(std::max<int32_t>(capacityBlocks, 0)), m_closed(isReadOnly(type))
{
}

int32_t WriteOnceDisc::freeBlocks() const
{
    if (m_closed)
        return 0;
    return std::max<int32_t>(m_capacity - static_cast<int32_t>(m_used), 0);
}

uint32_t WriteOnceDisc::trackStart(std::size_t trackNumber) const
{
    if (trackNumber == 0 || trackNumber > m_tracks.size())
        return 0;
    return m_tracks[trackNumber - 1].start;
}

void WriteOnceDisc::recordTrack(uint32_t blocks, bool leaveDiscOpen)
{
    m_tracks.push_back({m_used, blocks});
    m_used += blocks;
    if (!leaveDiscOpen)
        m_closed = true;
}

DiscInformation WriteOnceDisc::discInformation() const
{
    DiscInformation info;
    std::memset(&info, 0, sizeof info);
    info.sessionCount = static_cast<uint8_t>(m_tracks.size());
    info.discStatus = blank() ? DiscStatusBlank : (m_closed ? DiscStatusComplete : DiscStatusAppendable);
    info.lastSessionStatus = blank() ? 0 : (m_closed ? 3 : 1);
    info.erasable = isRewritable(m_type) ? 1 : 0;
    info.firstTrack = 1;
    info.lastTrack = static_cast<uint8_t>(std::min<std::size_t>(m_tracks.size() + (m_closed ? 0 : 1), 255));
    return info;
}

TrackInformation WriteOnceDisc::trackInformation(uint32_t track) const
{
    TrackInformation info;
    std::memset(&info, 0, sizeof info);
    const std::size_t next = m_tracks.size() + 1;
    if (track == NextWritableTrack || track == next) {
        // The next track: writable while the disc is open; on a closed disc it lies beyond
        // the last track and has no room.
        info.trackNumber = static_cast<uint8_t>(std::min<std::size_t>(next, 255));
        info.sessionNumber = info.trackNumber;
        info.trackStart = m_used;
        info.blank = m_closed ? 0 : 1;
        info.nwaValid = m_closed ? 0 : 1;
        info.nextWritableAddress = m_closed ? 0 : m_used;
        info.freeBlocks = freeBlocks();
        info.trackSize = static_cast<uint32_t>(freeBlocks());
        info.dataMode = 1;
        return info;
    }
    if (track >= 1 && track <= m_tracks.size()) {
        const Track& t = m_tracks[track - 1];
        info.trackNumber = static_cast<uint8_t>(track);
        info.sessionNumber = static_cast<uint8_t>(track);
        info.trackStart = t.start;
        info.dataMode = 1;
        info.lastRecordedAddress = t.start + t.blocks - 1;
        info.trackSize = t.blocks;
    }
    return info;
}

TOCInformation WriteOnceDisc::tocInformation() const
{
    TOCInformation toc;
    std::memset(&toc, 0, sizeof toc);
    toc.firstTrack = m_tracks.empty() ? 0 : 1;
    toc.lastTrack = static_cast<uint8_t>(std::min<std::size_t>(m_tracks.size(), 99));
    std::size_t i = 0;
    for (; i < m_tracks.size() && i < 99; ++i) {
        toc.entries[i].adrControl = 0x14; // data track
        toc.entries[i].trackNumber = static_cast<uint8_t>(i + 1);
        toc.entries[i].startAddress = m_tracks[i].start;
    }
    toc.entries[i].adrControl = 0x14;
    toc.entries[i].trackNumber = 0xAA; // lead-out
    toc.entries[i].startAddress = m_used;
    toc.dataLength = static_cast<uint16_t>(2 + 8 * (i + 1));
    return toc;
}

} // namespace torvinel
