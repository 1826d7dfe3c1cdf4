#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "app/RunState.h"
#include "app/View.h"

namespace torvinel {

// What the burn callback works on. The burn session hands a pointer to one of these to the
// library as the context of its drive handle and of its file tree; the counters it keeps
// (TreeNodeCount, LastWritePercent, RenameCounter) live in RunState, so they run on across
// sessions.
struct BurnCallbackContext {
    RunState& state;
    View& view;
    // The date and time that a renamed Joliet name carries; the locale's short date and long
    // time when empty.
    std::function<std::string()> dateTimeText;
    // Set by a buffer underrun: the track being written is spoilt.
    bool underrun = false;
};

// The one callback the burn session gives to the library (see DiscwrightCallback): logs the
// notices, moves the backup progress window's bars while a track is written and verified,
// settles name collisions in the file tree, and turns a buffer underrun into a stop request.
// context: a BurnCallbackContext.
void BurnCallback(uint32_t code, void* context, void* parameter1, void* parameter2);

// A colliding ISO9660 name made unique: base (at most 8 characters, else 7) + the counter +
// the extension with its version suffix (at most 10 characters). Raises counter by one.
// "ABCDEFGHIJ.ZIP;1" with 1 gives "ABCDEFG1.ZIP;1".
std::string RenameIsoName(std::string name, int32_t& counter);

// A colliding Joliet name made unique: base + "_" + dateTime + extension, with every blank,
// control character, ":", ".", "/" and "\" turned into "_" ("report.txt" gives
// "report_<date-time>_txt").
std::u16string RenameJolietName(std::u16string name, const std::string& dateTime);

// The current date and time as the user's locale writes a short date and a long time.
std::string LocaleDateTimeText();

} // namespace torvinel
