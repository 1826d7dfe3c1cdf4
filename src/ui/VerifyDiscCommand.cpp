#include "ui/VerifyDiscCommand.h"

#include <algorithm>

#include <QObject>

#include "app/Error.h"
#include "catalog/DiscHealth.h"
#include "catalog/DiscListing.h"
#include "discwright/DiscReader.h"
#include "restore/DiscVerification.h"
#include "ui/BusyWindow.h"
#include "ui/QtView.h"

namespace torvinel::ui {

VerifyDiscCommand::VerifyDiscCommand(RunState& state, QtView& view, BusyWindow& busy)
    : m_state(state), m_view(view), m_busy(busy)
{
}

std::string VerifyDiscCommand::chooseDisc(const std::string& drive, const std::vector<std::string>& discs)
{
    if (discs.empty()) {
        m_view.showError("There is no disc of Torvinel in " + drive + ".");
        return {};
    }
    if (discs.size() == 1)
        return discs.front();
    // The disc the command line's "verify --next" names when the drive holds it, else the
    // drive's own disc to check next (a drive may hold discs the database lacks).
    const std::vector<DiscCheck> checks = readDiscChecks(m_state.AppFolder);
    std::string next = nextDiscToCheck(discFolders(m_state), checks);
    if (std::ranges::find(discs, next) == discs.end()) {
        SortedList onDrive;
        for (const std::string& disc : discs)
            onDrive.add(disc);
        next = nextDiscToCheck(onDrive, checks);
    }
    const std::vector<DiscCheck> last = lastChecks(checks);
    std::vector<std::string> items;
    for (const std::string& disc : discs) {
        const auto check = std::ranges::find(last, disc, &DiscCheck::discId);
        items.push_back(disc
                        + (check == last.end()
                               ? "  (never checked)"
                               : "  (checked " + check->when + ", " + conditionName(check->condition) + ")"));
    }
    const auto first = std::ranges::find(discs, next);
    const int chosen = m_view.askChoice("Verify disc", "Which disc of " + drive + " do you want to verify?", items,
                                        static_cast<int>(first == discs.end() ? 0 : first - discs.begin()));
    return chosen < 0 ? std::string() : discs[static_cast<std::size_t>(chosen)];
}

void VerifyDiscCommand::run()
{
    const int chosen = m_view.selectedIndex(Control::AddDiscDrive);
    const std::vector<std::string> drives = m_view.items(Control::AddDiscDrive);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= drives.size())
        return;
    const std::string& drive = drives[static_cast<std::size_t>(chosen)];
    const std::unique_ptr<DiscReader> reader = OpenRestoreDrive(drive);
    const std::string disc = chooseDisc(drive, discsOnDrive(*reader));
    if (disc.empty())
        return;

    DiscVerification result;
    {
        // The busy window keeps the other windows out of reach while the disc is read; its
        // Cancel, or Escape, stops the check.
        m_cancelled = false;
        m_busy.OnCancel = [this](BusyWindow&) { cancel(); };
        const QMetaObject::Connection escape = QObject::connect(&m_busy, &QDialog::rejected, [this] { cancel(); });
        m_busy.setModal(true);
        m_view.setText(Window::Busy, Control::BusyCaption, "Verify disc");
        m_view.setVisible(Window::Busy, Control::BusyCancel, true);
        m_view.showWindow(Window::Busy);
        m_view.setText(Window::Busy, Control::BusyInfo, "Verifying disc " + disc + "...");
        struct Restore {
            BusyWindow& busy;
            const QMetaObject::Connection& escape;
            ~Restore()
            {
                busy.hide(); // also after a failure, before its error box
                busy.setModal(false);
                busy.OnCancel = nullptr;
                QObject::disconnect(escape);
            }
        } restore{m_busy, escape};
        result = verifyAndRecord(m_state, *reader, disc, [this] {
            m_view.processEvents();
            return m_cancelled;
        });
    }

    using Outcome = DiscVerification::Outcome;
    if (result.outcome == Outcome::Cancelled)
        return; // the user stopped it: nothing to tell
    if (result.outcome != Outcome::Checked) {
        m_view.showError(errorBoxText(result.problem));
        return;
    }
    std::vector<std::string> report = verificationReport(result);
    const std::string first = report.front();
    report.erase(report.begin());
    if (!result.sound())
        m_view.showWarning(first, report);
    else if (report.empty())
        m_view.showInformation(first);
    else
        m_view.showInformation(first, report);
}

} // namespace torvinel::ui
