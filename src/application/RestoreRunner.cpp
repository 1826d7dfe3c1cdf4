#include "application/RestoreRunner.h"

#include "app/Error.h"
#include "application/RunEndNotice.h"

namespace torvinel {

RestoreResult RestoreRunner::run(const CheckTree& tree, const RestoreRunOptions& options)
{
    m_view.forget();
    RestoreResult result;
    try {
        result = runRestore(m_application.state(), m_view, tree, options);
    } catch (const Error& failure) {
        notifyRunEnd(m_application.desktopNotifier(), RunKind::Restore, RunEnd::Failed, errorBoxText(failure.what()));
        throw;
    }
    if (result.cancelled || !result.target.empty())
        notifyRunEnd(m_application.desktopNotifier(), RunKind::Restore,
                     result.cancelled ? RunEnd::Cancelled : RunEnd::Finished, m_view.lastInformation());
    return result;
}

} // namespace torvinel
