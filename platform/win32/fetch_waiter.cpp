#include "platform/win32/fetch_waiter.h"

#include <algorithm>

namespace kvat::win32 {

DWORD MillisecondsUntil(std::chrono::steady_clock::time_point moment) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(moment - std::chrono::steady_clock::now());
    // INFINITE is one more than the largest finite wait.
    constexpr auto kLongest = static_cast<std::chrono::milliseconds::rep>(INFINITE - 1);
    return static_cast<DWORD>(
        std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, kLongest));
}

WaitEnd PlainWaiter::Wait(HANDLE finished, std::chrono::steady_clock::time_point deadline,
                          std::wstring_view) {
    return WaitForSingleObject(finished, MillisecondsUntil(deadline)) == WAIT_OBJECT_0
               ? WaitEnd::Finished
               : WaitEnd::TimedOut;
}

}  // namespace kvat::win32
