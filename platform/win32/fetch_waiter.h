// How the launcher's thread waits for a fetch that runs on a worker. The launcher's window
// supplies its own waiter, which keeps the windows painted and answering the system while it
// waits and lets the user stop waiting.
#pragma once

#include <windows.h>

#include <chrono>
#include <string_view>

namespace kvat::win32 {

enum class WaitEnd {
    Finished,  // the worker's job has ended
    TimedOut,  // the fetch's bound passed first
    Skipped,   // the user chose not to wait any longer
};

class FetchWaiter {
  public:
    virtual ~FetchWaiter() = default;

    // Whether the user has already chosen to skip the rest of the current check, so that a fetch
    // is not even started.
    virtual bool Skipped() const = 0;

    // Waits until `finished` is signalled or `deadline` passes, for the fetch of `url`.
    virtual WaitEnd Wait(HANDLE finished, std::chrono::steady_clock::time_point deadline,
                         std::wstring_view url) = 0;
};

// The milliseconds from now until `moment`, as a wait takes them: 0 once it has passed.
DWORD MillisecondsUntil(std::chrono::steady_clock::time_point moment);

// A plain wait on the calling thread: for programs without a window.
class PlainWaiter final : public FetchWaiter {
  public:
    bool Skipped() const override { return false; }
    WaitEnd Wait(HANDLE finished, std::chrono::steady_clock::time_point deadline,
                 std::wstring_view url) override;
};

}  // namespace kvat::win32
