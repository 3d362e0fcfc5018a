// WinINet, loaded from the system folder. It is not one of the DLLs Windows always takes from
// the system folder, so importing it would let a wininet.dll beside the launcher be loaded
// instead. Loading it is most of what the start-up check costs beyond a bare window, so the
// launcher starts loading it on a worker thread while it builds its window; the fetches then run
// on that same thread.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/win32/bounded_worker.h"

namespace kvat::win32 {

// The WinINet functions the fetch uses.
struct WinInetFunctions {
    decltype(&::InternetOpenW) InternetOpenW = nullptr;
    decltype(&::InternetConnectW) InternetConnectW = nullptr;
    decltype(&::InternetSetOptionW) InternetSetOptionW = nullptr;
    decltype(&::HttpOpenRequestW) HttpOpenRequestW = nullptr;
    decltype(&::HttpSendRequestW) HttpSendRequestW = nullptr;
    decltype(&::HttpQueryInfoW) HttpQueryInfoW = nullptr;
    decltype(&::InternetQueryDataAvailable) InternetQueryDataAvailable = nullptr;
    decltype(&::InternetReadFile) InternetReadFile = nullptr;
    decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
};

// WinINet ready for fetches: its functions and the one session every fetch of the process uses
// (the system's proxy settings, the launcher's name as user agent). The session is never
// closed: a fetch that was no longer waited for may still be using it.
struct WinInet {
    WinInetFunctions functions;
    HINTERNET session = nullptr;
};

class WinInetLibrary {
  public:
    WinInetLibrary();
    // Waits at most kAbandonedFetchWait for the fetches left running and a load still under way,
    // so that a fetch whose call has just returned can close its connection and no thread is
    // still ending when the process does, then lets the process end without them.
    ~WinInetLibrary();
    WinInetLibrary(const WinInetLibrary&) = delete;
    WinInetLibrary& operator=(const WinInetLibrary&) = delete;

    // Starts loading WinINet and opening its session on a worker thread, so that the first
    // fetch finds them ready; the fetches then run on that thread. Only the first call does
    // anything.
    void StartLoading();
    // Signalled once the load that StartLoading began has ended; nullptr when none is under way.
    // Get waits for it in any case: a caller with something better to do may wait here first.
    HANDLE loading() const {
        return loading_ && loading_->started() ? loading_->finished() : nullptr;
    }

    // WinINet ready for fetches: what StartLoading prepared (waiting for it if need be), or
    // loaded on the calling thread. nullptr, with the last error set, when it cannot be had; a
    // later call tries again. Once loaded, WinINet stays loaded for the rest of the process: a
    // fetch abandoned at its time bound may still be running its code.
    const WinInet* Get();

    // A thread for a fetch: the worker thread, when its last work has ended, or a new one;
    // nullptr, with the last error set, when none can be made.
    std::unique_ptr<WorkerThread> TakeThread();
    // Keeps a thread whose work has ended, for the next fetch.
    void KeepThread(std::unique_ptr<WorkerThread> thread);
    // Keeps the thread of a fetch the caller stopped waiting for, until it ends or the library
    // goes.
    void LeaveRunning(UniqueHandle worker);

  private:
    struct Loaded {
        std::optional<WinInet> wininet;
        DWORD error = ERROR_SUCCESS;
    };
    static Loaded Load();

    std::unique_ptr<WorkerThread> idle_;
    std::unique_ptr<BoundedWorker<Loaded>> loading_;
    std::optional<WinInet> wininet_;
    std::vector<UniqueHandle> left_running_;
};

}  // namespace kvat::win32
