// One HTTP GET with WinINet, bounded in time and size. Transport and interpretation are kept
// apart: HttpGet reports what happened, AnswerText decides what the launcher makes of it.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

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
    Outcome outcome = Outcome::TransportError;
    unsigned long error = 0;  // WinINet or system error code for TransportError
    unsigned status = 0;      // HTTP status code, when headers arrived
    std::string body;         // raw bytes, at most the cap
};

struct FetchLimits {
    // A bound on the whole fetch: connect, headers and body together.
    std::chrono::milliseconds bound{std::chrono::seconds(kFetchTimeLimitSeconds)};
    std::size_t max_body_bytes = kFetchMaxBytes;
    unsigned max_redirects = kFetchMaxRedirects;
};

// Always fetches fresh (no cache), through the system's proxy settings. Follows redirects to
// http or https on any host, at most limits.max_redirects of them and never from https back to
// http. A certificate WinINet does not trust fails the fetch. WinINet and its session come from
// `wininet`.
//
// The transfer runs on a worker thread; `waiter` waits for it until the bound (or until the user
// skips). An answer is handed over only once the worker has ended, so no thread of a finished
// fetch is still inside WinINet. A worker that was not waited for ends by itself soon after
// its bound once the server stops sending; the name look-up and connection attempts of the
// system may keep it a little longer.
HttpResult HttpGet(WinInetLibrary& wininet, std::wstring_view url, const FetchLimits& limits,
                   FetchWaiter& waiter);
// The same, waiting plainly on the calling thread.
HttpResult HttpGet(WinInetLibrary& wininet, std::wstring_view url, const FetchLimits& limits);

// The document as text when the answer was whole and its status 2xx, else empty text. Bytes are
// read in the system's ANSI code page.
std::string AnswerText(const HttpResult& result);

}  // namespace kvat::win32
