#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "discwright/DiscwrightTypes.h"

namespace torvinel {

// A kind of disc a selection is measured against: its name for one disc and for several,
// and the room of one disc in bytes.
struct DiscMedia {
    std::string one;
    std::string several;
    int64_t bytes = 0;
    bool operator==(const DiscMedia&) const = default;
};

// The discs the run's estimate assumes when the writer's are not known: 650 MiB CDs and
// 4500 MiB DVDs.
DiscMedia estimateCd();
DiscMedia estimateDvd();

// The media to measure against for a writer holding (or, for the image drive, making) discs
// of type with blocks 2048-byte blocks each (0: the type's usual size). A type that is not a
// write-once CD or DVD gives the estimate's CD and DVD.
std::vector<DiscMedia> mediaForDisc(DISC_TYPE type, int64_t blocks = 0);

// Discs of media that bytes need, counted as the run's estimate counts: one per whole disc of
// bytes, plus the one begun (so never less than one).
int64_t discsNeeded(int64_t bytes, const DiscMedia& media);

} // namespace torvinel
