#pragma once
#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "discwright/AwaitedFile.h"
#include "recovery/RecoveryFile.h"

namespace torvinel {

// The room a disc of room bytes (what packing and the index may use) keeps free for its
// recovery data when percent (0 to 50) goes to parity: the most data whose recovery file fits
// beside it decides. 0 for percent 0.
int64_t recoveryReserve(int64_t room, int percent);

// The recovery file (recovery/RecoveryFile.h) a staged disc is to carry: every file of its
// folder in the order they will lie on the disc (the index and STATUS.INI first, as they lead
// the disc's data, then the others by name) with their MD5s (STATUS.INI's where it lists a
// file, else computed), and the share of parity that fits.
struct RecoveryPlan {
    std::vector<ProtectedFile> files;
    int share = 0;
    int64_t bytes = 0; // on the disc, in whole sectors
};

// The plan for folder, the staged disc: the share is percent, or less when the file would not
// fit in roomLeft bytes (log says so); nullopt when not even one per cent fits or percent is 0.
// Raises Error "Could not read <path>".
std::optional<RecoveryPlan> planRecoveryData(const std::string& folder, int percent, int64_t roomLeft,
                                             const std::function<void(const std::string&)>& log);

// Writes a planned recovery file into its folder on a thread of its own, so that a burn can
// start meanwhile: the file is an awaited file of the burn (discwright/AwaitedFile.h) until
// the writer ends, and exists in the folder from the start.
class RecoveryWriter {
public:
    RecoveryWriter(const std::string& folder, RecoveryPlan plan);
    ~RecoveryWriter();
    RecoveryWriter(const RecoveryWriter&) = delete;
    RecoveryWriter& operator=(const RecoveryWriter&) = delete;

    // Waits for the file to be written; raises the writing's Error ("Could not read <path>",
    // "Could not write <path>").
    void finish();

private:
    std::shared_future<void> m_written;
    std::optional<AwaitedFileRegistration> m_awaited;
};

} // namespace torvinel
