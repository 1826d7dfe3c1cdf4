#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace torvinel {

// The room a disc of room bytes (what packing and the index may use) keeps free for its
// recovery data when percent (0 to 50) goes to parity: the most data whose recovery file fits
// beside it decides. 0 for percent 0.
int64_t recoveryReserve(int64_t room, int percent);

// Writes the recovery file (recovery/RecoveryFile.h) into folder, the staged disc, for every
// file in it, in the order they will lie on the disc: the index and STATUS.INI first (they
// lead the disc's data), then the others by name. The MD5s are STATUS.INI's where it lists a
// file, else computed. The share of parity is percent, or less when the file would not fit
// in roomLeft bytes (log says so); no file when not even one per cent fits or percent is 0.
// Returns the bytes the file takes on the disc. Raises Error "Could not read <path>" or
// "Could not write <path>".
int64_t stageRecoveryData(const std::string& folder, int percent, int64_t roomLeft,
                          const std::function<void(const std::string&)>& log);

} // namespace torvinel
