#include "launcher/win32/check_wait.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "launcher/constants.h"
#include "launcher/win32/common_controls.h"
#include "launcher/win32/dialog_focus.h"
#include "platform/win32/text_conversion.h"

namespace kvat::win32 {
namespace {

using Clock = std::chrono::steady_clock;

// How often the progress bar moves.
constexpr std::chrono::milliseconds kTick{200};
// Paint messages dispatched in one go, however often something invalidates itself.
constexpr int kMostPaintsAtOnce = 64;

}  // namespace

CheckWait::WaitingFor CheckWait::Describe(std::wstring_view wide_url) {
    const std::string url = Narrow(wide_url);
    const std::size_t scheme_end = url.find("://");
    const std::size_t host_begin = scheme_end == std::string::npos ? 0 : scheme_end + 3;
    const std::size_t host_end = url.find('/', host_begin);
    WaitingFor what{std::string(text::kCheckHost) + url.substr(host_begin, host_end - host_begin),
                    {}};
    if (url.ends_with(kSoftwareVersionPath)) {
        what.file_line = text::kCheckSoftwareFile;
    } else if (url.ends_with(kUsbVersionPath)) {
        what.file_line = text::kCheckUsbFile;
        what.files_before = 1;
    } else {
        what.file_line = url;
    }
    return what;
}

void CheckWait::Begin() {
    running_ = true;
    skipped_ = false;
    began_ = std::min(Clock::now(), silent_since_.value_or(Clock::now()));
    silent_since_.reset();
    // Disabling a window takes the keyboard focus from it; it goes back when the check is over.
    const HWND focus = GetFocus();
    focus_ = focus && IsChild(window_, focus) ? focus : nullptr;
    EnableWindow(window_, FALSE);
}

void CheckWait::End(bool launcher_ends) {
    if (running_) {
        running_ = false;
        skipped_ = false;
        EnableWindow(window_, TRUE);
    }
    // Before the launcher window first shows, the progress window stays, so that the screen is
    // never left without a window of the launcher's; it goes at the call after it shows.
    if (!progress_ || (!launcher_ends && !IsWindowVisible(window_))) {
        return;
    }
    // Enabled first, so that the launcher window takes the activation back from its progress
    // window as that goes.
    progress_.reset();
    if (!launcher_ends && GetActiveWindow() == window_) {
        RestoreDialogFocus(window_, focus_);
    }
}

WaitEnd CheckWait::Wait(HANDLE finished, Clock::time_point deadline, std::wstring_view url) {
    if (!running_) {
        Begin();
    }
    while (next_step_ && WaitForSingleObject(finished, 0) == WAIT_TIMEOUT) {
        if (!next_step_()) {
            next_step_ = nullptr;
        }
    }
    const Clock::time_point start = Clock::now();
    const WaitingFor what = Describe(url);
    bool described = false;
    for (;;) {
        if (skipped_) {
            return WaitEnd::Skipped;
        }
        const Clock::time_point now = Clock::now();
        const double into_file = std::chrono::duration<double>(now - start) /
                                 std::max(deadline - start, Clock::duration{1});
        const double share = (what.files_before + std::min(into_file, 1.0)) / kFilesPerCheck;
        // The earliest moment the progress window may show in this wait.
        const Clock::time_point show_at =
            std::max(began_ + kCheckProgressDelay, start + kFileWaitBeforeProgress);
        if (!progress_ && !progress_failed_ && now >= show_at) {
            ShowProgress(what, share);
        } else if (progress_) {
            if (!described) {
                progress_->SetWaitingFor(what.host_line, what.file_line);
            }
            progress_->SetProgress(share);
        }
        described = true;
        // Woken at every tick, so that the queue is looked at often: a thread that has not
        // looked at its queue for a few seconds is taken for hung, whatever it waits in.
        Clock::time_point wake = std::min(deadline, now + kTick);
        if (!progress_ && !progress_failed_) {
            wake = std::min(wake, show_at);
        }
        switch (
            MsgWaitForMultipleObjects(1, &finished, FALSE, MillisecondsUntil(wake), QS_ALLINPUT)) {
            case WAIT_OBJECT_0:
                return WaitEnd::Finished;
            case WAIT_OBJECT_0 + 1:
            case WAIT_TIMEOUT:
                Pump();
                if (Clock::now() >= deadline) {
                    return WaitEnd::TimedOut;
                }
                break;
            default:
                // The wait itself failed: wait plainly rather than not at all.
                return PlainWaiter().Wait(finished, deadline, url);
        }
    }
}

void CheckWait::ShowProgress(const WaitingFor& what, double share) {
    try {
        LoadCommonControls(ICC_PROGRESS_CLASS);
        // Over the launcher window when it is on screen (a check after a driver installation);
        // alone before the launcher window first shows.
        const HWND owner = IsWindowVisible(window_) ? window_ : nullptr;
        progress_ = std::make_unique<ProgressWindow>(look_, owner, [this] { skipped_ = true; });
        progress_->SetWaitingFor(what.host_line, what.file_line);
        progress_->SetProgress(share);
        progress_->Show();
    } catch (...) {
        // Without its progress window the check still ends within its bound.
        progress_failed_ = true;
    }
}

void CheckWait::Pump() {
    MSG message;
    // The progress window's own messages, keys and clicks included.
    while (progress_ && PeekMessageW(&message, progress_->hwnd(), 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageW(progress_->hwnd(), &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // Every window of the thread keeps painting.
    for (int i = 0;
         i < kMostPaintsAtOnce && PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE);
         ++i) {
        DispatchMessageW(&message);
    }
    // Sent messages (a watchdog's WM_NULL, say) are answered by any look at the queue; this one
    // leaves everything posted where it is, for after the check.
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace kvat::win32
