#include "platform/win32/http_fetch.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <array>
#include <cwchar>
#include <initializer_list>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/redirect_policy.h"
#include "platform/win32/bounded_worker.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/wininet_library.h"

namespace kvat::win32 {
namespace {

// Fresh from the server every time, and nothing left behind: no cache entry, no cookie, no
// dialog. No authentication either: WinINet would otherwise answer an NTLM or Negotiate challenge
// with the user's Windows logon, to any server a redirect names.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTH;

// WinINet is loaded at run time, so its close function comes from the loaded table.
struct InternetHandleCloser {
    decltype(&::InternetCloseHandle) close;
    void operator()(HINTERNET handle) const { close(handle); }
};

using InternetHandle = std::unique_ptr<void, InternetHandleCloser>;

// Everything the worker needs, its own copy: once the caller has stopped waiting, the worker
// touches nothing of the caller's.
struct Transfer {
    WinInetFunctions wininet;
    HINTERNET session = nullptr;  // shared by every fetch; it lives as long as the process
    std::wstring url;
    FetchLimits limits;
    // The worker gives up by itself soon after this, even while a server keeps dripping bytes.
    std::chrono::steady_clock::time_point deadline;
};

FetchFailure Classify(DWORD error) {
    switch (error) {
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            return FetchFailure::NameNotFound;
        case ERROR_INTERNET_CANNOT_CONNECT:
            return FetchFailure::ConnectionRefused;
        case ERROR_INTERNET_TIMEOUT:
            return FetchFailure::TimedOut;
        case ERROR_INTERNET_CONNECTION_ABORTED:
        case ERROR_INTERNET_CONNECTION_RESET:
            return FetchFailure::ConnectionCut;
        case ERROR_HTTP_INVALID_SERVER_RESPONSE:
            return FetchFailure::ClosedWithoutAnswer;
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
            return FetchFailure::SecureChannelFailed;
        case ERROR_INTERNET_INVALID_CA:
            return FetchFailure::CertificateUntrusted;
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
            return FetchFailure::CertificateOtherName;
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
            return FetchFailure::CertificateDate;
        default:
            return FetchFailure::Other;
    }
}

// An answer that ended as `why` says, with no error code of its own.
HttpResult Ended(FetchFailure why) {
    HttpResult result;
    result.failure = why;
    return result;
}

HttpResult Failure(DWORD error) {
    HttpResult result = Ended(Classify(error));
    result.error = error;
    return result;
}

// A redirect the rule refuses, under WinINet's nearest error code.
HttpResult Refused(FetchFailure why) {
    HttpResult result =
        Failure(why == FetchFailure::RedirectHttpsToHttp ? ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR
                                                         : ERROR_HTTP_REDIRECT_FAILED);
    result.failure = why;
    return result;
}

// The handles of one transfer, closed request first.
struct Handles {
    explicit Handles(const WinInetFunctions& wininet)
        : connection(nullptr, {wininet.InternetCloseHandle}),
          request(nullptr, {wininet.InternetCloseHandle}) {}

    // Request first: it holds the connection.
    void Close() {
        request.reset();
        connection.reset();
    }

    InternetHandle connection;
    InternetHandle request;
};

// WinINet's own time-outs bound each wait of the worker: the time left until the deadline, and
// a little more so that the caller, who waits exactly until the deadline, always gives up first.
DWORD WaitLimit(const Transfer& transfer) {
    constexpr std::chrono::milliseconds kGrace{1000};
    return MillisecondsUntil(std::max(transfer.deadline, std::chrono::steady_clock::now()) +
                             kGrace);
}

// Where one request goes.
struct Target {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;  // path and query, at least "/"
    bool secure = false;
};

std::optional<Target> Crack(const WinInetFunctions& wininet, const std::wstring& url) {
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    // Non-zero lengths ask for pointers into the URL itself.
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!wininet.InternetCrackUrlW(url.c_str(), 0, 0, &parts)) {
        return std::nullopt;
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
        SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        return std::nullopt;
    }
    if (parts.dwHostNameLength == 0) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return std::nullopt;
    }
    Target target{std::wstring(parts.lpszHostName, parts.dwHostNameLength), parts.nPort,
                  std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                      std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength),
                  parts.nScheme == INTERNET_SCHEME_HTTPS};
    if (target.object.empty()) {
        target.object = L"/";
    }
    return target;
}

// A header of the answer as text; nothing when the answer has none.
std::optional<std::wstring> Header(const WinInetFunctions& wininet, HINTERNET request,
                                   DWORD query) {
    std::wstring text(64, L'\0');
    for (;;) {
        auto size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (wininet.HttpQueryInfoW(request, query, text.data(), &size, nullptr)) {
            text.resize(size / sizeof(wchar_t));
            return text;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return std::nullopt;
        }
        text.resize(size / sizeof(wchar_t) + 1);
    }
}

// The address a redirect leads to, resolved against the address that answered it.
std::optional<std::wstring> Resolve(const WinInetFunctions& wininet, const std::wstring& base,
                                    const std::wstring& location) {
    std::wstring combined(base.size() + location.size() + 64, L'\0');
    for (;;) {
        auto size = static_cast<DWORD>(combined.size());
        if (wininet.InternetCombineUrlW(base.c_str(), location.c_str(), combined.data(), &size,
                                        0)) {
            combined.resize(size);
            return combined;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= combined.size()) {
            return std::nullopt;
        }
        combined.resize(size);
    }
}

// One request and its whole answer, on the handles of the caller of Run. A redirect to follow
// leaves its Location in `location` and its body unread.
HttpResult Exchange(const Transfer& transfer, Handles& handles, const Target& target,
                    std::wstring& location) {
    const WinInetFunctions& wininet = transfer.wininet;
    handles.request.reset();
    handles.connection.reset(wininet.InternetConnectW(transfer.session, target.host.c_str(),
                                                      target.port, nullptr, nullptr,
                                                      INTERNET_SERVICE_HTTP, 0, 0));
    if (!handles.connection) {
        return Failure(GetLastError());
    }
    // The caller's deadline is what bounds the fetch; these make a worker left behind on a
    // stalled connection end a little after the caller stopped waiting for it. They go on the
    // connection: Wine ignores them on the session.
    DWORD timeout = WaitLimit(transfer);
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        wininet.InternetSetOptionW(handles.connection.get(), option, &timeout, sizeof timeout);
    }

    // Redirects are followed by Run, which bounds and checks them. A certificate error fails
    // the request: nothing here asks WinINet to overlook one.
    const DWORD flags =
        kRequestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT | (target.secure ? INTERNET_FLAG_SECURE : 0);
    const wchar_t* accept[] = {L"*/*", nullptr};
    handles.request.reset(wininet.HttpOpenRequestW(handles.connection.get(), L"GET",
                                                   target.object.c_str(), nullptr, nullptr, accept,
                                                   flags, 0));
    if (!handles.request) {
        return Failure(GetLastError());
    }
    if (!wininet.HttpSendRequestW(handles.request.get(), nullptr, 0, nullptr, 0)) {
        return Failure(GetLastError());
    }
    const HINTERNET request = handles.request.get();

    HttpResult result;
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!wininet.HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                                &size, nullptr)) {
        return Failure(GetLastError());
    }
    // A connection closed before any answer is opened without error under Wine, with no status
    // line at all.
    if (status == 0) {
        return Failure(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    }
    result.status = status;
    result.failure = FetchFailure::None;
    if (IsFollowedRedirect(status)) {
        // Without a Location, a redirect is the final answer.
        location = Header(wininet, request, HTTP_QUERY_LOCATION).value_or(std::wstring());
        if (!location.empty()) {
            return result;
        }
    }

    // One byte past the cap is enough to know the answer is too large.
    const std::size_t cap = transfer.limits.max_body_bytes;
    const std::size_t wanted = cap == std::numeric_limits<std::size_t>::max() ? cap : cap + 1;
    std::array<char, 4096> chunk;
    while (result.body.size() < wanted) {
        // A read waits until its whole buffer is filled, so a server that drips its answer would
        // keep one read going far past any time-out. Reading only what has arrived lets the
        // deadline bound the whole transfer; each wait for more is bounded by the time left.
        if (std::chrono::steady_clock::now() >= transfer.deadline) {
            return Failure(ERROR_INTERNET_TIMEOUT);
        }
        timeout = WaitLimit(transfer);
        wininet.InternetSetOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout,
                                   sizeof timeout);
        DWORD available = 0;
        if (!wininet.InternetQueryDataAvailable(request, &available, 0, 0)) {
            return Failure(GetLastError());
        }
        if (available == 0) {
            break;  // the end of the body
        }
        const auto ask = static_cast<DWORD>(
            std::min({chunk.size(), wanted - result.body.size(), std::size_t{available}}));
        DWORD read = 0;
        if (!wininet.InternetReadFile(request, chunk.data(), ask, &read)) {
            return Failure(GetLastError());
        }
        if (read == 0) {
            break;
        }
        result.body.append(chunk.data(), read);
    }
    if (result.body.size() > cap) {
        result.failure = FetchFailure::TooLarge;
        result.body.resize(cap);
        return result;
    }

    // A connection that ends early reads as a clean end of the body; only the announced length
    // tells a cut-off answer from a whole one. Read as text: Wine has no 64-bit number query.
    const auto length = Header(wininet, request, HTTP_QUERY_CONTENT_LENGTH);
    if (length && result.body.size() < std::wcstoull(length->c_str(), nullptr, 10)) {
        return Failure(ERROR_INTERNET_CONNECTION_ABORTED);
    }

    return result;
}

// Redirects are followed here rather than by WinINet, by the rule the vendor's check follows
// too (platform/redirect_policy.h).
HttpResult Run(const Transfer& transfer, Handles& handles) {
    const WinInetFunctions& wininet = transfer.wininet;
    std::wstring url(WithoutFragment(std::wstring_view(transfer.url)));
    for (unsigned redirects = 0;; ++redirects) {
        std::wstring location;
        HttpResult answer;
        if (const auto target = Crack(wininet, url)) {
            answer = Exchange(transfer, handles, *target, location);
        } else {
            // The rule lets only http and https addresses through, so a redirect's address that
            // does not crack is a bad one.
            answer = redirects == 0 ? Failure(GetLastError())
                                    : Refused(FetchFailure::RedirectBadLocation);
        }
        if (!location.empty()) {
            const auto next = Resolve(wininet, url, location);
            const auto next_text = next ? std::optional(Narrow(*next)) : std::nullopt;
            if (const auto refusal = RefuseRedirect(Narrow(url), next_text, redirects,
                                                    transfer.limits.max_redirects)) {
                answer = Refused(*refusal);
                answer.refused_location = next_text.value_or(Narrow(location));
            } else if (std::chrono::steady_clock::now() >= transfer.deadline) {
                // The one bound covers the whole chain: no new request once it has passed.
                answer = Failure(ERROR_INTERNET_TIMEOUT);
            } else {
                url = WithoutFragment(std::wstring_view(*next));
                continue;
            }
        }
        answer.final_url = std::move(url);
        return answer;
    }
}

// The worker's whole job. Its handles are closed before it ends, and so before the caller gets
// the answer: closing is quick when the body was read to its end or never began, and hands a
// kept-alive connection back to WinINet's pool before the next fetch looks there. Only an answer
// cut at the size cap may make WinINet read the rest first; the caller's bound covers that.
HttpResult Perform(const Transfer& transfer) {
    Handles handles(transfer.wininet);
    HttpResult result = Run(transfer, handles);
    handles.Close();
    return result;
}

}  // namespace

HttpResult HttpGet(WinInetLibrary& library, std::wstring_view url, const FetchLimits& limits,
                   FetchWaiter& waiter) {
    if (waiter.Skipped()) {
        return Ended(FetchFailure::Skipped);
    }
    const WinInet* wininet = library.Get();
    if (!wininet) {
        return Failure(GetLastError());
    }
    // The transfer runs on a thread of its own because nothing ends a blocking WinINet read
    // early: closing its handles from here does not, under Wine at least. Past the deadline the
    // caller simply stops waiting.
    const auto deadline = std::chrono::steady_clock::now() + limits.bound;
    BoundedWorker<HttpResult> worker(
        [transfer = Transfer{wininet->functions, wininet->session, std::wstring(url), limits,
                             deadline}] { return Perform(transfer); });
    if (!worker.started()) {
        return Failure(GetLastError());
    }
    switch (waiter.Wait(worker.finished(), deadline, url)) {
        case WaitEnd::Finished:
            // A worker that failed in itself (out of memory) brought no answer.
            return worker.Take().value_or(Failure(ERROR_NOT_ENOUGH_MEMORY));
        case WaitEnd::TimedOut:
            return Ended(FetchFailure::TimedOut);
        case WaitEnd::Skipped:
            return Ended(FetchFailure::Skipped);
    }
    return Ended(FetchFailure::TimedOut);
}

HttpResult HttpGet(WinInetLibrary& wininet, std::wstring_view url, const FetchLimits& limits) {
    PlainWaiter waiter;
    return HttpGet(wininet, url, limits, waiter);
}

std::string AnswerText(const HttpResult& result) {
    if (result.failure != FetchFailure::None || result.status < 200 || result.status > 299) {
        return {};
    }
    return AnsiToUtf8(result.body);
}

FetchAnswer AnswerOf(const HttpResult& result, std::wstring_view asked) {
    FetchAnswer answer{AnswerText(result),
                       result.failure,
                       "network error " + std::to_string(result.error),
                       static_cast<long>(result.status),
                       {}};
    if (result.final_url != asked) {
        answer.final_url = Narrow(result.final_url);
    }
    return answer;
}

}  // namespace kvat::win32
