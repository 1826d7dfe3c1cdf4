#pragma once
#include <utility>

#include "app/Error.h"
#include "app/View.h"

namespace torvinel::ui {

// Runs an event handler's work and shows a failure the way the program shows every failure:
// the error box titled "Torvinel" with the message, a full stop appended when missing.
// Returns false when the work failed. Handlers call core through this, so that no failure
// has to unwind through the toolkit (TorvinelApplication::notify is only the last resort).
//     void MainWindow::removeDisc() { reportErrors(view(), [&] { RemoveDisc(...); }); }
template <typename Work> bool reportErrors(View& view, Work&& work)
{
    try {
        std::forward<Work>(work)();
        return true;
    } catch (const Error& e) {
        view.showError(errorBoxText(e.what()));
        return false;
    }
}

} // namespace torvinel::ui
