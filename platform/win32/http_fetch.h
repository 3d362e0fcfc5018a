// One HTTP GET with WinINet, bounded in time and size. Transport and interpretation are kept
// apart: HttpGet reports what happened, AnswerText decides what the launcher makes of it.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/fetch_answer.h"
#include "platform/fetch_failure.h"
#include "platform/fetch_limits.h"
#include "platform/win32/fetch_waiter.h"

namespace kvat::win32 {

class WinInetLibrary;

struct HttpResult {
    enum class Outcome {
        Complete,        // a whole answer was received
        TransportError,  // no connection, name not found, reset, ...
        TimedOut,        // the bound passed before the answer was whole
        TooLarge,        // the body passed the size cap
        Skipped,         // the user stopped waiting, or had before it began
    };
    FetchFailure failure = FetchFailure::Other;  // why, in the terms the vendor's check shares
    unsigned long error = 0;                     // WinINet or system error code for TransportError
    unsigned status = 0;                         // HTTP status code, when headers arrived
    std::string body;                            // raw bytes, at most the cap
    std::wstring final_url;        // the last address asked, after the redirects followed
    std::string refused_location;  // a redirect's address that the rule refused, for the report

    // The failure, in the broad terms above.
    Outcome outcome() const {
        switch (failure) {
            case FetchFailure::None:
                return Outcome::Complete;
            case FetchFailure::TimedOut:
                return Outcome::TimedOut;
            case FetchFailure::TooLarge:
                return Outcome::TooLarge;
            case FetchFailure::Skipped:
                return Outcome::Skipped;
            default:
                return Outcome::TransportError;
        }
    }
};

struct FetchLimits {
    // A bound on the whole fetch: connect, headers and body together.
    std::chrono::milliseconds bound{std::chrono::seconds(kFetchTimeLimitSeconds)};
    std::size_t max_body_bytes = kFetchMaxBytes;
    unsigned max_redirects = kFetchMaxRedirects;
};

// Always fetches fresh (no cache), through the system's proxy settings, and never authenticates:
// a 401 or 407 is a final answer. Follows redirects by the rule of platform/redirect_policy.h,
// at most limits.max_redirects of them. A certificate WinINet does not trust fails the fetch.
// WinINet and its session come from `wininet`; a load of it still under way is waited for through
// `waiter`, within the same bound.
//
// The transfer runs on the library's worker thread, or on a new one while that is still held by
// a transfer left behind; `waiter` waits for it until the bound (or until the user skips). A
// finished answer is handed over only once the worker's job has ended, so no thread of a
// finished fetch is still inside WinINet. When the caller stops waiting (Skip, or the bound):
// - it closes the transfer's handles at once; the handles have one owner, and whoever ends the
//   transfer first, worker or caller, closes them once;
// - the worker begins nothing new after that: no further read, no redirect's request, since it
//   takes the handle for every call from that owner;
// - the answer says Skipped or TimedOut, with the address being asked and the last HTTP status
//   the worker had seen;
// - the worker ends when the call it has under way returns. Windows documents that closing the
//   handle cancels a pending call, so there that is at once (not tried here: the tests run
//   under Wine). Wine 8 lets a pending call run on after its handles are closed: the worker
//   ends when the server answers or at WinINet's receive time-out, which the worker sets to the
//   time left to the bound plus 1 s. Measured under Wine with a server that never answers,
//   Skipped 1.3 s into a 60 s fetch: the connection closed 59.8 s after the Skip. A process
//   that ends waits at most 2 s for such workers (WinInetLibrary), then ends without them.
// A name look-up, which WinINet's time-outs do not bound, can keep a worker longer.
HttpResult HttpGet(WinInetLibrary& wininet, std::wstring_view url, const FetchLimits& limits,
                   FetchWaiter& waiter);
// The same, waiting plainly on the calling thread.
HttpResult HttpGet(WinInetLibrary& wininet, std::wstring_view url, const FetchLimits& limits);

// The document as text when the answer was whole and its status 2xx, else empty text. Bytes are
// read in the system's ANSI code page.
std::string AnswerText(const HttpResult& result);

// What the launcher takes from a fetch of `asked`: AnswerText, and what came instead of it.
FetchAnswer AnswerOf(const HttpResult& result, std::wstring_view asked);

}  // namespace kvat::win32
