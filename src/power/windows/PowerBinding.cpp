// The power guard on Windows: a hidden window receives the power broadcasts and the
// end-of-session query and answers them from the owner's tables. It is a top-level window
// (hidden, never shown) because broadcasts do not reach message-only windows.
//
// Windows since Vista no longer sends the suspend and standby queries, so while the guard
// refuses sleep the thread also asks the system to stay awake (which holds off idle sleep),
// and while it refuses the end of the session it registers a shutdown block reason, without
// which a refusal is overridden after a few seconds with no explanation to the user.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <windows.h>

#include <optional>
#include <string>

#include "power/PowerBinding.h"
#include "power/PowerGuard.h"

namespace torvinel {

static_assert(PBT_APMQUERYSUSPEND == PowerEvent::QuerySuspend);
static_assert(PBT_APMQUERYSTANDBY == PowerEvent::QueryStandby);
static_assert(PBT_APMQUERYSUSPENDFAILED == PowerEvent::QuerySuspendFailed);
static_assert(PBT_APMQUERYSTANDBYFAILED == PowerEvent::QueryStandbyFailed);
static_assert(PBT_APMSUSPEND == PowerEvent::Suspend);
static_assert(PBT_APMSTANDBY == PowerEvent::Standby);
static_assert(PBT_APMRESUMECRITICAL == PowerEvent::ResumeCritical);
static_assert(PBT_APMRESUMESUSPEND == PowerEvent::ResumeSuspend);
static_assert(PBT_APMRESUMESTANDBY == PowerEvent::ResumeStandby);
static_assert(PBT_APMBATTERYLOW == PowerEvent::BatteryLow);
static_assert(PBT_APMPOWERSTATUSCHANGE == PowerEvent::PowerStatusChange);
static_assert(PBT_APMOEMEVENT == PowerEvent::OemEvent);
static_assert(BROADCAST_QUERY_DENY == BroadcastQueryDeny);

namespace {

const wchar_t* const WindowClassName = L"TorvinelPwrSave";
const wchar_t* const ShutdownBlockReason = L"Torvinel keeps the computer running until it closes";

LRESULT CALLBACK guardWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

std::optional<PowerStatus> readSystemPowerStatus()
{
    SYSTEM_POWER_STATUS s{};
    if (!GetSystemPowerStatus(&s))
        return std::nullopt;
    PowerStatus status;
    status.ACLineStatus = s.ACLineStatus;
    status.BatteryFlag = s.BatteryFlag;
    status.BatteryLifePercent = s.BatteryLifePercent;
    status.BatteryLifeTime = s.BatteryLifeTime;
    status.BatteryFullLifeTime = s.BatteryFullLifeTime;
    return status;
}

} // namespace

struct PowerBinding::Impl {
    Impl(PowerGuard& owner, LogFn log);
    ~Impl();
    void refresh();

    PowerGuard& owner;
    LogFn log;
    HWND window = nullptr;
    bool sleepHeld = false;
    bool endSessionBlocked = false;
};

namespace {

LRESULT CALLBACK guardWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* impl = reinterpret_cast<PowerBinding::Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (impl) {
        switch (message) {
        case WM_POWERBROADCAST: {
            const std::intptr_t answer = impl->owner.PowerBroadcast(
                static_cast<unsigned>(wParam), static_cast<std::uintptr_t>(lParam), readSystemPowerStatus);
            impl->refresh();
            return static_cast<LRESULT>(answer);
        }
        case WM_QUERYENDSESSION: {
            // ENDSESSION_LOGOFF marks a logoff; a shutdown may carry other bits
            // (ENDSESSION_CRITICAL), so the value is not simply compared with 0.
            const bool logoff = (static_cast<ULONG_PTR>(lParam) & ENDSESSION_LOGOFF) != 0;
            const bool allow = impl->owner.QueryEndSession(logoff);
            impl->refresh();
            return allow ? TRUE : FALSE;
        }
        default:
            break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

PowerBinding::Impl::Impl(PowerGuard& owner_, LogFn log_) : owner(owner_), log(std::move(log_))
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = guardWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = WindowClassName;
    // A second guard in the same process finds the class already there.
    if (!RegisterClassExW(&windowClass)) {
        const DWORD error = GetLastError();
        if (error != ERROR_CLASS_ALREADY_EXISTS) {
            if (log)
                log("Power guard: could not register its window class (error " + std::to_string(error)
                    + "), running without answering power events");
            return;
        }
    }
    window =
        CreateWindowExW(WS_EX_TOOLWINDOW, WindowClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, this);
    if (!window) {
        const DWORD error = GetLastError();
        if (log)
            log("Power guard: could not create its window (error " + std::to_string(error)
                + "), running without answering power events");
        return;
    }
    refresh();
}

PowerBinding::Impl::~Impl()
{
    if (!window)
        return;
    if (endSessionBlocked)
        ShutdownBlockReasonDestroy(window);
    if (sleepHeld)
        SetThreadExecutionState(ES_CONTINUOUS);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
}

void PowerBinding::Impl::refresh()
{
    if (!window)
        return;
    const bool sleep = owner.refusesSleep();
    if (sleep != sleepHeld) {
        // ES_CONTINUOUS keeps the request until this thread's next call.
        if (SetThreadExecutionState(sleep ? (ES_CONTINUOUS | ES_SYSTEM_REQUIRED) : ES_CONTINUOUS) != 0)
            sleepHeld = sleep;
        else if (log)
            log("Power guard: could not change the thread's execution state");
    }
    const bool endSession = owner.refusesEndSession();
    if (endSession != endSessionBlocked) {
        const BOOL done =
            endSession ? ShutdownBlockReasonCreate(window, ShutdownBlockReason) : ShutdownBlockReasonDestroy(window);
        if (done)
            endSessionBlocked = endSession;
        else if (log)
            log("Power guard: could not change the shutdown block reason (error " + std::to_string(GetLastError())
                + ")");
    }
}

PowerBinding::PowerBinding(PowerGuard& owner, LogFn log, const std::string& /*busAddress: no D-Bus here*/)
    : m_impl(std::make_unique<Impl>(owner, std::move(log)))
{
}

PowerBinding::~PowerBinding() = default;

void PowerBinding::refresh() { m_impl->refresh(); }

bool PowerBinding::holding() const { return m_impl->sleepHeld || m_impl->endSessionBlocked; }

} // namespace torvinel
