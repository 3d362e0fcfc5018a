// How the launcher window waits for the fetches of a start-up check. A check runs within one
// event of the window (the start, or the driver installation that checks again), and no other
// handler may run until it is over; but the window must not freeze while a server takes its
// time. So while a fetch runs, the window's thread waits for it here, answering the system,
// painting, and serving the progress window; events for the launcher window wait in the queue
// until the check is over, and the launcher window itself is disabled, as under a modal dialog.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "launcher/win32/progress_window.h"
#include "platform/win32/fetch_waiter.h"

namespace kvat::win32 {

class CheckWait final : public FetchWaiter {
  public:
    // `window` is the launcher window.
    CheckWait(HWND window, const ProgressLook& look) : window_(window), look_(look) {}

    bool Skipped() const override { return skipped_; }
    // Begins the check at its first fetch. One second into the check, once this file has taken a
    // moment of its own, the progress window shows.
    WaitEnd Wait(HANDLE finished, std::chrono::steady_clock::time_point deadline,
                 std::wstring_view url) override;

    // The user has seen nothing of the launcher since `moment` (its start): the first check counts
    // its second from then rather than from its own beginning.
    void SilentSince(std::chrono::steady_clock::time_point moment) { silent_since_ = moment; }
    // Work of the window's thread that may wait for the check's waits: what the launcher window
    // needs only when it shows. Each call of `next_step` does one short step and says whether
    // any is left; a wait runs steps only while what it waits for has not come, so the check is
    // never held up by more than one step. It must not throw.
    void WhileWaiting(std::function<bool()> next_step) { next_step_ = std::move(next_step); }

    bool running() const { return running_; }
    // The check is over: the launcher window takes input again. Called after each handler, and
    // once the launcher window is on screen or ending. A progress window goes here once the
    // launcher window is on screen, or when `launcher_ends`; until then it stays, so that the
    // screen is never left without a window of the launcher's.
    void End(bool launcher_ends = false);

  private:
    // What the progress window says while the check waits for one file, and how many files of
    // the check came before it.
    struct WaitingFor {
        std::string host_line;
        std::string file_line;
        unsigned files_before = 0;
    };
    static WaitingFor Describe(std::wstring_view url);

    void Begin();
    void ShowProgress(const WaitingFor& what, double share);
    void Pump();

    HWND window_;
    ProgressLook look_;
    bool running_ = false;
    bool skipped_ = false;
    bool progress_failed_ = false;
    std::chrono::steady_clock::time_point began_;
    std::optional<std::chrono::steady_clock::time_point> silent_since_;
    HWND focus_ = nullptr;
    std::unique_ptr<ProgressWindow> progress_;
    std::function<bool()> next_step_;
};

}  // namespace kvat::win32
