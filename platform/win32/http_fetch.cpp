#include "platform/win32/http_fetch.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <array>
#include <cwchar>
#include <initializer_list>
#include <limits>
#include <memory>
#include <utility>

#include "platform/win32/text_conversion.h"
#include "platform/win32/wininet_library.h"

namespace kvat::win32 {
namespace {

using Outcome = HttpResult::Outcome;

// Fresh from the server every time, and nothing left behind: no cache entry, no cookie, no
// dialog.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                                INTERNET_FLAG_NO_COOKIES;

class InternetHandle {
  public:
    explicit InternetHandle(decltype(&::InternetCloseHandle) close) : close_(close) {}
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle() { Reset(nullptr); }

    void Reset(HINTERNET handle) {
        if (handle_) {
            close_(handle_);
        }
        handle_ = handle;
    }
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

  private:
    decltype(&::InternetCloseHandle) close_;
    HINTERNET handle_ = nullptr;
};

class EventHandle {
  public:
    EventHandle() : handle_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    EventHandle(const EventHandle&) = delete;
    EventHandle& operator=(const EventHandle&) = delete;
    ~EventHandle() {
        if (handle_) {
            CloseHandle(handle_);
        }
    }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// Everything the caller and the worker share. Once the caller has given up waiting, the worker
// touches nothing else, and whichever of them lets go last frees it.
struct Transfer {
    Transfer(const WinInetFunctions& functions, std::wstring_view address,
             const FetchLimits& fetch_limits)
        : wininet(functions),
          url(address),
          limits(fetch_limits),
          deadline(std::chrono::steady_clock::now() + fetch_limits.bound) {}

    const WinInetFunctions wininet;
    const std::wstring url;
    const FetchLimits limits;
    // The worker gives up by itself soon after this, even while a server keeps dripping bytes.
    const std::chrono::steady_clock::time_point deadline;
    EventHandle finished;
    HttpResult result;  // written by the worker before `finished` is set
};

HttpResult Failure(DWORD error) {
    HttpResult result;
    result.outcome = error == ERROR_INTERNET_TIMEOUT ? Outcome::TimedOut : Outcome::TransportError;
    result.error = error;
    return result;
}

DWORD Milliseconds(std::chrono::milliseconds duration) {
    // INFINITE is one more than the largest finite wait.
    constexpr auto kLongest = static_cast<std::chrono::milliseconds::rep>(INFINITE - 1);
    return static_cast<DWORD>(
        std::clamp<std::chrono::milliseconds::rep>(duration.count(), 0, kLongest));
}

// The handles of one transfer, closed request first.
struct Handles {
    explicit Handles(const WinInetFunctions& wininet)
        : session(wininet.InternetCloseHandle),
          connection(wininet.InternetCloseHandle),
          request(wininet.InternetCloseHandle) {}

    InternetHandle session;
    InternetHandle connection;
    InternetHandle request;
};

// WinINet's own time-outs bound each wait of the worker: the time left until the deadline, and
// a little more so that the caller, who waits exactly until the deadline, always gives up first.
DWORD WaitLimit(const Transfer& transfer) {
    constexpr std::chrono::milliseconds kGrace{1000};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        transfer.deadline - std::chrono::steady_clock::now());
    return Milliseconds(std::max(left, std::chrono::milliseconds{0}) + kGrace);
}

// The handles belong to the caller of Run so that they are closed after the answer is handed
// over.
HttpResult Run(const Transfer& transfer, Handles& handles) {
    const WinInetFunctions& wininet = transfer.wininet;
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    // Non-zero lengths ask for pointers into the URL itself.
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!wininet.InternetCrackUrlW(transfer.url.c_str(), 0, 0, &parts)) {
        return Failure(GetLastError());
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
        return Failure(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                          std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty()) {
        object = L"/";
    }

    handles.session.Reset(
        wininet.InternetOpenW(L"KVAT_Launcher", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!handles.session) {
        return Failure(GetLastError());
    }
    handles.connection.Reset(wininet.InternetConnectW(handles.session.get(), host.c_str(),
                                                      parts.nPort, nullptr, nullptr,
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

    const DWORD flags =
        kRequestFlags | (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
    const wchar_t* accept[] = {L"*/*", nullptr};
    handles.request.Reset(wininet.HttpOpenRequestW(handles.connection.get(), L"GET", object.c_str(),
                                                   nullptr, nullptr, accept, flags, 0));
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
        result.outcome = Outcome::TooLarge;
        result.body.resize(cap);
        return result;
    }

    // A connection that ends early reads as a clean end of the body; only the announced length
    // tells a cut-off answer from a whole one. Read as text: Wine has no 64-bit number query.
    std::array<wchar_t, 32> length{};
    size = sizeof length - sizeof length[0];
    if (wininet.HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, length.data(), &size, nullptr) &&
        result.body.size() < std::wcstoull(length.data(), nullptr, 10)) {
        return Failure(ERROR_INTERNET_CONNECTION_ABORTED);
    }

    result.outcome = Outcome::Complete;
    return result;
}

DWORD WINAPI Worker(void* parameter) {
    const std::unique_ptr<std::shared_ptr<Transfer>> owner(
        static_cast<std::shared_ptr<Transfer>*>(parameter));
    Transfer& transfer = **owner;
    Handles handles(transfer.wininet);
    transfer.result = Run(transfer, handles);
    SetEvent(transfer.finished.get());
    // Closing the request now may make WinINet read what is left of the body first; the caller
    // already has its answer and does not wait for that.
    return 0;
}

}  // namespace

HttpResult HttpGet(WinInetLibrary& library, std::wstring_view url, const FetchLimits& limits) {
    const WinInetFunctions* wininet = library.Functions();
    if (!wininet) {
        return Failure(GetLastError());
    }
    auto transfer = std::make_shared<Transfer>(*wininet, url, limits);
    if (!transfer->finished.get()) {
        return Failure(GetLastError());
    }

    // The transfer runs on a thread of its own because nothing ends a blocking WinINet read
    // early: closing its handles from here does not, under Wine at least. Past the deadline the
    // caller simply stops waiting.
    auto shared = std::make_unique<std::shared_ptr<Transfer>>(transfer);
    const HANDLE thread = CreateThread(nullptr, 0, Worker, shared.get(), 0, nullptr);
    if (!thread) {
        return Failure(GetLastError());
    }
    shared.release();  // the worker owns it now
    CloseHandle(thread);

    if (WaitForSingleObject(transfer->finished.get(), Milliseconds(limits.bound)) !=
        WAIT_OBJECT_0) {
        HttpResult timed_out;
        timed_out.outcome = Outcome::TimedOut;
        return timed_out;
    }
    return std::move(transfer->result);
}

std::string AnswerText(const HttpResult& result) {
    if (result.outcome != Outcome::Complete || result.status < 200 || result.status > 299) {
        return {};
    }
    return AnsiToUtf8(result.body);
}

}  // namespace kvat::win32
