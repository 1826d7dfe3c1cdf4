#pragma once
#include "discwright/DiscwrightTypes.h"

#include <cstdint>
#include <vector>

namespace torvinel {

// The recording state of a simulated write-once disc (the image drive's and the test
// drive's): its kind, its size in 2048-byte blocks and the tracks written so far.
class WriteOnceDisc {
public:
    WriteOnceDisc() = default; // no disc
    WriteOnceDisc(DISC_TYPE type, int32_t capacityBlocks);

    bool present() const { return m_type != DISC_TYPE_NO_MEDIA; }
    DISC_TYPE type() const { return m_type; }
    bool blank() const { return m_tracks.empty() && !m_closed; }
    bool closed() const { return m_closed; }
    bool appendable() const { return !m_closed && !m_tracks.empty(); }
    int32_t capacityBlocks() const { return m_capacity; }
    uint32_t nextWritableAddress() const { return m_used; }
    int32_t freeBlocks() const;
    std::size_t trackCount() const { return m_tracks.size(); }
    uint32_t trackStart(std::size_t trackNumber) const; // 1-based

    // Records a track of that many blocks at the next writable address.
    void recordTrack(uint32_t blocks, bool leaveDiscOpen);
    // Closes the disc: no further track can be written.
    void close() { m_closed = true; }

    DiscInformation discInformation() const;
    TrackInformation trackInformation(uint32_t track) const;
    TOCInformation tocInformation() const;

private:
    struct Track {
        uint32_t start;
        uint32_t blocks;
    };
    DISC_TYPE m_type = DISC_TYPE_NO_MEDIA;
    int32_t m_capacity = 0;
    uint32_t m_used = 0;
    bool m_closed = false;
    std::vector<Track> m_tracks;
};

// True for the kinds that can be erased and written again.
bool isRewritable(DISC_TYPE type);
// True for pressed discs that cannot be written at all.
bool isReadOnly(DISC_TYPE type);

} // namespace torvinel
