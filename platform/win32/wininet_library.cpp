#include "platform/win32/wininet_library.h"

#include <chrono>

#include "platform/fetch_limits.h"
#include "platform/win32/fetch_waiter.h"
#include "platform/win32/start_trace.h"
#include "platform/win32/system_library.h"

namespace kvat::win32 {

WinInetLibrary::WinInetLibrary() = default;

WinInetLibrary::~WinInetLibrary() {
    if (loading_) {
        LeaveRunning(loading_->Abandon());  // it ends in milliseconds; the worker owns its result
    }
    const auto until = std::chrono::steady_clock::now() + kAbandonedFetchWait;
    for (const UniqueHandle& worker : left_running_) {
        WaitForSingleObject(worker.get(), MillisecondsUntil(until));
    }
}

void WinInetLibrary::LeaveRunning(UniqueHandle worker) {
    if (!worker) {
        return;
    }
    // Those that have ended need no more waiting; one per Skip would otherwise pile up.
    std::erase_if(left_running_, [](const UniqueHandle& thread) {
        return WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
    });
    left_running_.push_back(std::move(worker));
}

void WinInetLibrary::StartLoading() {
    if (!loading_ && !wininet_) {
        loading_ = std::make_unique<BoundedWorker<Loaded>>(&WinInetLibrary::Load, TakeThread());
    }
}

std::unique_ptr<WorkerThread> WinInetLibrary::TakeThread() {
    return idle_ ? std::move(idle_) : WorkerThread::Start();
}

void WinInetLibrary::KeepThread(std::unique_ptr<WorkerThread> thread) {
    idle_ = std::move(thread);
}

const WinInet* WinInetLibrary::Get() {
    MarkStart("a fetch asks for WinINet");
    if (!wininet_ && loading_) {
        const std::unique_ptr<BoundedWorker<Loaded>> loading = std::move(loading_);
        // Loading a system DLL from the local disk does not hang; it ends in milliseconds.
        if (loading->started() &&
            WaitForSingleObject(loading->finished(), INFINITE) == WAIT_OBJECT_0) {
            if (auto loaded = loading->Take()) {
                wininet_ = std::move(loaded->wininet);
            }
            KeepThread(loading->Release());
        }
        // A failed load in the background is not kept: it is tried again below, and that one
        // is reported.
    }
    if (!wininet_) {
        Loaded loaded = Load();
        if (!loaded.wininet) {
            SetLastError(loaded.error);
            return nullptr;
        }
        wininet_ = loaded.wininet;
    }
    return &*wininet_;
}

WinInetLibrary::Loaded WinInetLibrary::Load() {
    // WinINet loads COM by its bare name once it runs, through loaders that do not all keep to
    // the narrowed search (Wine's delay loads, or Windows without SetDefaultDllDirectories,
    // look in the launcher's folder first). Taken from the system folder beforehand, COM is
    // found already loaded. It is loaded at this point in any case, so this costs no time.
    LoadSystemLibrary(L"ole32.dll");
    const HMODULE module = LoadSystemLibrary(L"wininet.dll");
    if (!module) {
        return {std::nullopt, GetLastError()};
    }
    WinInetFunctions f;
    const bool complete =
        ResolveExport(module, "InternetOpenW", f.InternetOpenW) &&
        ResolveExport(module, "InternetConnectW", f.InternetConnectW) &&
        ResolveExport(module, "InternetSetOptionW", f.InternetSetOptionW) &&
        ResolveExport(module, "HttpOpenRequestW", f.HttpOpenRequestW) &&
        ResolveExport(module, "HttpSendRequestW", f.HttpSendRequestW) &&
        ResolveExport(module, "HttpQueryInfoW", f.HttpQueryInfoW) &&
        ResolveExport(module, "InternetQueryDataAvailable", f.InternetQueryDataAvailable) &&
        ResolveExport(module, "InternetReadFile", f.InternetReadFile) &&
        ResolveExport(module, "InternetCloseHandle", f.InternetCloseHandle);
    if (!complete) {
        FreeLibrary(module);
        return {std::nullopt, ERROR_PROC_NOT_FOUND};
    }
    const HINTERNET session =
        f.InternetOpenW(L"KVAT_Launcher", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) {
        // WinINet stays loaded: the next attempt finds it at once.
        return {std::nullopt, GetLastError()};
    }
    MarkStart("WinINet loaded, its session open");
    return {WinInet{f, session}, ERROR_SUCCESS};
}

}  // namespace kvat::win32
