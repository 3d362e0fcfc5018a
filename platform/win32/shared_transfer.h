// The handles of one WinINet transfer, and what its worker has seen so far, shared by the
// worker thread and the caller who waits for it; see SharedTransfer.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <array>
#include <mutex>
#include <string>
#include <utility>

namespace kvat::win32 {

// A lock of the system's own: std::mutex would bring in the C++ run-time's error reporting, and
// imports of its own, for a lock that cannot fail.
class CriticalSection {
  public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void lock() { EnterCriticalSection(&section_); }
    void unlock() { LeaveCriticalSection(&section_); }

  private:
    CRITICAL_SECTION section_;
};

// What the worker has seen so far: the address it asks, and the last HTTP status.
struct Seen {
    std::string url;
    unsigned status = 0;
};

// The handles of one transfer, and what its worker has seen so far, shared by the worker and
// the caller who waits for it. One owner, one close: whoever ends the transfer first closes the
// handles: the worker when it is done, or the caller when it stops waiting, which on Windows
// also ends a call the worker has pending (under Wine that call goes on until its time-out).
// The worker takes a handle from here for every call, so once the caller has let go it begins
// none; it may only have one under way.
class SharedTransfer {
  public:
    enum Slot { kConnection, kRequest };  // a request belongs to its connection

    explicit SharedTransfer(decltype(&::InternetCloseHandle) close) : close_(close) {}
    ~SharedTransfer() { Close(Take(kConnection)); }
    SharedTransfer(const SharedTransfer&) = delete;
    SharedTransfer& operator=(const SharedTransfer&) = delete;

    // Keeps `handle` in `slot`, after closing what held it (and, for a connection, its
    // request). False, with `handle` closed at once, when the caller has let go.
    bool Keep(Slot slot, HINTERNET handle) {
        Handles old;
        {
            const std::scoped_lock lock(mutex_);
            old = Take(slot);
            if (!let_go_) {
                handles_[slot] = std::exchange(handle, nullptr);
            }
        }
        Close(old);
        if (handle) {
            close_(handle);
            return false;
        }
        return true;
    }

    // The handle for the worker's next call; nullptr once the caller has let go.
    HINTERNET Get(Slot slot) const {
        const std::scoped_lock lock(mutex_);
        return let_go_ ? nullptr : handles_[slot];
    }

    bool LetGo() const {
        const std::scoped_lock lock(mutex_);
        return let_go_;
    }

    void Asking(std::string url) {
        const std::scoped_lock lock(mutex_);
        seen_.url = std::move(url);
    }

    void Saw(unsigned status) {
        const std::scoped_lock lock(mutex_);
        seen_.status = status;
    }

    Seen Record() const {
        const std::scoped_lock lock(mutex_);
        return seen_;
    }

    // The caller stops waiting: the handles are closed now, and no call begins on them.
    Seen LetGoNow() {
        Seen seen;
        {
            const std::scoped_lock lock(mutex_);
            let_go_ = true;
            seen = seen_;
        }
        Done();  // a handle the worker makes from now on is closed by Keep
        return seen;
    }

    // The worker is done with them; or the caller, who let go.
    void Done() {
        Handles old;
        {
            const std::scoped_lock lock(mutex_);
            old = Take(kConnection);
        }
        Close(old);
    }

  private:
    using Handles = std::array<HINTERNET, 2>;

    // The handles from `slot` on, no longer kept.
    Handles Take(Slot slot) {
        Handles taken{};
        for (int s = slot; s <= kRequest; ++s) {
            taken[s] = std::exchange(handles_[s], nullptr);
        }
        return taken;
    }

    // The request first: it holds the connection.
    void Close(const Handles& handles) const {
        for (int s = kRequest; s >= kConnection; --s) {
            if (handles[s]) {
                close_(handles[s]);
            }
        }
    }

    decltype(&::InternetCloseHandle) close_;
    mutable CriticalSection mutex_;
    Handles handles_{};
    bool let_go_ = false;
    Seen seen_;
};

}  // namespace kvat::win32
