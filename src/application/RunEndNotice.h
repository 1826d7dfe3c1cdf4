#pragma once
#include <string>

#include "desktop/DesktopNotifier.h"

namespace torvinel {

enum class RunKind { Backup, Restore };
enum class RunEnd { Finished, Cancelled, Failed };

// Tells the desktop that a backup or restore run ended: "Backup finished", "Backup
// cancelled" or "Backup failed" ("Restore ..." alike) over the run's closing message (the
// text of its last box, or the failure's error text). A failure stays until dismissed.
// Best effort (see DesktopNotifier): a desktop without notifications changes nothing.
void notifyRunEnd(const DesktopNotifier& notifier, RunKind kind, RunEnd end, const std::string& closingMessage);

} // namespace torvinel
