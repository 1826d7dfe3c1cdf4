#include "application/RunEndNotice.h"

namespace torvinel {

void notifyRunEnd(const DesktopNotifier& notifier, RunKind kind, RunEnd end, const std::string& closingMessage)
{
    const std::string run = kind == RunKind::Backup ? "Backup" : "Restore";
    const std::string how = end == RunEnd::Finished ? " finished" : end == RunEnd::Cancelled ? " cancelled" : " failed";
    const auto urgency = end == RunEnd::Failed ? DesktopNotifier::Urgency::Critical : DesktopNotifier::Urgency::Normal;
    // The user has seen the closing box already; the notification is for one who looked away.
    static_cast<void>(notifier.notify(run + how, closingMessage, urgency));
}

} // namespace torvinel
