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
#include <variant>

#include "platform/redirect_policy.h"
#include "platform/web_address.h"
#include "platform/win32/bounded_worker.h"
#include "platform/win32/shared_transfer.h"
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

// A certificate not made for this use; mingw-w64's wininet.h has no name for it.
constexpr DWORD kCertificateWrongUse = INTERNET_ERROR_BASE + 179;

FetchFailure Classify(DWORD error) {
    switch (error) {
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            return FetchFailure::NameNotFound;
        case ERROR_INTERNET_CANNOT_CONNECT:
            return FetchFailure::CouldNotConnect;
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
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
            return FetchFailure::CertificateNotVerified;
        case ERROR_INTERNET_SEC_CERT_REVOKED:
            return FetchFailure::CertificateRevoked;
        case ERROR_INTERNET_SEC_INVALID_CERT:
            return FetchFailure::CertificateInvalid;
        case kCertificateWrongUse:
            return FetchFailure::CertificateWrongUse;
        case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
            return FetchFailure::ClientCertificateAsked;
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

// Everything the worker needs, its own copy: once the caller has stopped waiting, the worker
// touches nothing of the caller's but what the two share.
struct Transfer {
    WinInetFunctions wininet;
    HINTERNET session = nullptr;  // shared by every fetch; it lives as long as the process
    std::string url;
    FetchLimits limits;
    std::chrono::steady_clock::time_point deadline;  // the caller's: the one bound of the fetch
    std::shared_ptr<SharedTransfer> shared;

    // Why nothing new may begin: the caller has let go, or the bound has passed. Asked before
    // every request and every read, so that the one bound covers the whole chain.
    std::optional<FetchFailure> Stop() const {
        if (shared->LetGo()) {
            return FetchFailure::Skipped;  // nobody reads it: the caller has its own answer
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return FetchFailure::TimedOut;
        }
        return std::nullopt;
    }

    // WinINet's own time-outs bound each wait of the worker: the time left until the deadline,
    // and a little more, so that the caller, who waits exactly until the deadline, gives up
    // first.
    DWORD WaitLimit() const {
        constexpr std::chrono::milliseconds kGrace{1000};
        return MillisecondsUntil(std::max(deadline, std::chrono::steady_clock::now()) + kGrace);
    }
};

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

// The Location of a redirect to follow, as the server sent it.
struct Redirect {
    std::string location;
};

// What one request brings: the final answer, or a redirect to follow.
using Step = std::variant<HttpResult, Redirect>;

// Reads the body of the final answer into `result`, up to one byte past the cap: enough to know
// the answer is too large.
void ReadBody(const Transfer& transfer, HttpResult& result) {
    const WinInetFunctions& wininet = transfer.wininet;
    const std::size_t cap = transfer.limits.max_body_bytes;
    const std::size_t wanted = cap == std::numeric_limits<std::size_t>::max() ? cap : cap + 1;
    std::array<char, 4096> chunk;
    while (result.body.size() < wanted) {
        // A read waits until its whole buffer is filled, so a server that drips its answer would
        // keep one read going far past any time-out. Reading only what has arrived lets the
        // bound cover the whole transfer; each wait for more is bounded by the time left.
        if (const auto stop = transfer.Stop()) {
            result.failure = *stop;
            return;
        }
        const HINTERNET request = transfer.shared->Get(SharedTransfer::kRequest);
        if (!request) {
            continue;  // the caller has let go: the next turn says so
        }
        DWORD timeout = transfer.WaitLimit();
        wininet.InternetSetOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout,
                                   sizeof timeout);
        DWORD available = 0;
        if (!wininet.InternetQueryDataAvailable(request, &available, 0, 0)) {
            result.failure = Classify(result.error = GetLastError());
            return;
        }
        if (available == 0) {
            break;  // the end of the body
        }
        const auto ask = static_cast<DWORD>(
            std::min({chunk.size(), wanted - result.body.size(), std::size_t{available}}));
        DWORD read = 0;
        if (!wininet.InternetReadFile(request, chunk.data(), ask, &read)) {
            result.failure = Classify(result.error = GetLastError());
            return;
        }
        if (read == 0) {
            break;
        }
        result.body.append(chunk.data(), read);
    }
    if (result.body.size() > cap) {
        result.failure = FetchFailure::TooLarge;
        result.body.resize(cap);
        return;
    }
    // A connection that ends early reads as a clean end of the body; only the announced length
    // tells a cut-off answer from a whole one. Read as text: Wine has no 64-bit number query.
    const auto length =
        Header(wininet, transfer.shared->Get(SharedTransfer::kRequest), HTTP_QUERY_CONTENT_LENGTH);
    if (length && result.body.size() < std::wcstoull(length->c_str(), nullptr, 10)) {
        result.failure = Classify(result.error = ERROR_INTERNET_CONNECTION_ABORTED);
    }
}

// One request to `target` and its answer, on handles kept in the shared transfer.
Step Exchange(const Transfer& transfer, const HttpAddress& target) {
    const WinInetFunctions& wininet = transfer.wininet;
    SharedTransfer& shared = *transfer.shared;
    const auto failed = [&shared](DWORD error) {
        // A call on a handle the caller has closed fails for that reason, not the server's.
        return shared.LetGo() ? Ended(FetchFailure::Skipped) : Failure(error);
    };
    // Each handle goes to the shared owner as soon as it is made; the error is taken first.
    const HINTERNET opened = wininet.InternetConnectW(
        transfer.session, Widen(target.host).c_str(), static_cast<INTERNET_PORT>(target.port),
        nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!opened) {
        return failed(GetLastError());
    }
    if (!shared.Keep(SharedTransfer::kConnection, opened)) {
        return Ended(FetchFailure::Skipped);
    }
    // These make a worker left behind on a stalled connection end a little after the caller
    // stopped waiting for it. They go on the connection: Wine ignores them on the session.
    DWORD timeout = transfer.WaitLimit();
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        wininet.InternetSetOptionW(shared.Get(SharedTransfer::kConnection), option, &timeout,
                                   sizeof timeout);
    }

    // Redirects are followed by Run, which bounds and checks them. A certificate error fails
    // the request: nothing here asks WinINet to overlook one.
    const DWORD flags =
        kRequestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT | (target.secure ? INTERNET_FLAG_SECURE : 0);
    const wchar_t* accept[] = {L"*/*", nullptr};
    HINTERNET request =
        wininet.HttpOpenRequestW(shared.Get(SharedTransfer::kConnection), L"GET",
                                 Widen(target.target).c_str(), nullptr, nullptr, accept, flags, 0);
    if (!request) {
        return failed(GetLastError());
    }
    if (!shared.Keep(SharedTransfer::kRequest, request)) {
        return Ended(FetchFailure::Skipped);
    }
    request = shared.Get(SharedTransfer::kRequest);
    if (!request || !wininet.HttpSendRequestW(request, nullptr, 0, nullptr, 0)) {
        return failed(GetLastError());
    }
    request = shared.Get(SharedTransfer::kRequest);
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!request ||
        !wininet.HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                                &size, nullptr)) {
        return failed(GetLastError());
    }
    // A connection closed before any answer is opened without error under Wine, with no status
    // line at all.
    if (status == 0) {
        return Failure(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    }
    shared.Saw(status);
    // Without a Location, a redirect is the final answer.
    if (IsFollowedRedirect(status)) {
        if (const auto location = Header(wininet, request, HTTP_QUERY_LOCATION);
            location && !location->empty()) {
            return Redirect{Narrow(*location)};
        }
    }
    HttpResult result;
    result.failure = FetchFailure::None;
    ReadBody(transfer, result);
    return result;
}

// The rule of platform/redirect_policy.h, which the vendor's check follows too: ask, and follow
// each redirect the rule allows, until a final answer, a refusal, or the bound or the caller
// says stop. The answer carries the last address asked and the last status seen.
HttpResult Run(const Transfer& transfer) {
    std::string url(WithoutFragment(std::string_view(transfer.url)));
    HttpResult answer;
    for (unsigned followed = 0;; ++followed) {
        transfer.shared->Asking(url);
        const auto target = ParseWebAddress(url);
        if (const auto stop = transfer.Stop()) {
            answer = Ended(*stop);
        } else if (!target) {
            answer = Failure(ERROR_INTERNET_INVALID_URL);  // only the first address can be so
        } else {
            Step step = Exchange(transfer, *target);
            if (const auto* redirect = std::get_if<Redirect>(&step)) {
                RedirectStep next = FollowRedirect(url, redirect->location, followed,
                                                   transfer.limits.max_redirects);
                if (!next.refusal) {
                    url = std::move(next.next);
                    continue;
                }
                answer = Ended(*next.refusal);
                answer.refused_location = std::move(next.next);
            } else {
                answer = std::move(std::get<HttpResult>(step));
            }
        }
        const Seen seen = transfer.shared->Record();
        answer.final_url = Widen(seen.url);
        answer.status = seen.status;
        return answer;
    }
}

// The worker's whole job. Its handles are closed before it ends, and so before the caller gets
// the answer: closing is quick when the body was read to its end or never began, and hands a
// kept-alive connection back to WinINet's pool before the next fetch looks there. Only an answer
// cut at the size cap may make WinINet read the rest first; the caller's bound covers that.
HttpResult Perform(const Transfer& transfer) {
    HttpResult result = Run(transfer);
    transfer.shared->Done();
    return result;
}

}  // namespace

HttpResult HttpGet(WinInetLibrary& library, std::wstring_view url, const FetchLimits& limits,
                   FetchWaiter& waiter) {
    // The one bound of the fetch covers a wait for WinINet's load too.
    const auto deadline = std::chrono::steady_clock::now() + limits.bound;
    if (waiter.Skipped()) {
        return Ended(FetchFailure::Skipped);
    }
    // WinINet may still be loading: its wait is the fetch's, so the caller's thread spends it as
    // it spends the wait for the server (the window's, on its own work), not idle.
    if (const HANDLE loading = library.loading()) {
        switch (waiter.Wait(loading, deadline, url)) {
            case WaitEnd::TimedOut:
                return Ended(FetchFailure::TimedOut);
            case WaitEnd::Skipped:
                return Ended(FetchFailure::Skipped);
            case WaitEnd::Finished:
                break;
        }
    }
    const WinInet* wininet = library.Get();
    if (!wininet) {
        return Failure(GetLastError());
    }
    // The transfer runs on a worker thread because nothing ends a blocking WinINet call
    // early under Wine, not even closing its handles. Past the deadline, or on Skip, the caller
    // closes the handles (which does end the call on Windows) and goes on without it.
    const auto shared = std::make_shared<SharedTransfer>(wininet->functions.InternetCloseHandle);
    BoundedWorker<HttpResult> worker(
        [transfer = Transfer{wininet->functions, wininet->session, Narrow(url), limits, deadline,
                             shared}] { return Perform(transfer); },
        library.TakeThread());
    if (!worker.started()) {
        return Failure(GetLastError());
    }
    const WaitEnd end = waiter.Wait(worker.finished(), deadline, url);
    if (end == WaitEnd::Finished) {
        library.KeepThread(worker.Release());
        // A worker that failed in itself (out of memory) brought no answer.
        return worker.Take().value_or(Failure(ERROR_NOT_ENOUGH_MEMORY));
    }
    const Seen seen = shared->LetGoNow();
    library.LeaveRunning(worker.Abandon());
    HttpResult answer =
        Ended(end == WaitEnd::Skipped ? FetchFailure::Skipped : FetchFailure::TimedOut);
    answer.final_url = Widen(seen.url);
    answer.status = seen.status;
    return answer;
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
    const std::wstring_view last = result.final_url.empty() ? asked : result.final_url;
    FetchAnswer answer{
        AnswerText(result), result.failure, {}, static_cast<long>(result.status), {}};
    answer.failure_detail = result.failure == FetchFailure::CouldNotConnect
                                ? HostAndPortOf(Narrow(last))
                                : "network error " + std::to_string(result.error);
    if (last != asked) {
        answer.final_url = Narrow(last);
    }
    return answer;
}

}  // namespace kvat::win32
