// Work on a worker thread that the caller may stop waiting for. Used where nothing can cut a
// blocking call short (a WinINet read under Wine goes on even after its handles are closed):
// the caller waits with a bound of its own and, past it, simply goes on.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "platform/win32/unique_handle.h"
#include "platform/win32/worker_thread.h"

namespace kvat::win32 {

template <typename Result>
class BoundedWorker {
  public:
    // Starts `work` at once on `thread`. started() is false when there is no thread.
    BoundedWorker(std::function<Result()> work, std::unique_ptr<WorkerThread> thread)
        : result_(std::make_shared<std::optional<Result>>()), thread_(std::move(thread)) {
        if (thread_) {
            thread_->Run([work = std::move(work), result = result_] {
                try {
                    *result = work();
                } catch (...) {
                    result->reset();
                }
            });
        }
    }

    bool started() const { return thread_ != nullptr; }

    // Signalled once the work, and everything it called, is over. The result is handed over
    // only then, so no thread of the work is still inside a library when the caller (or the
    // process) moves on.
    HANDLE finished() const { return thread_->idle(); }

    // The work's result, once finished() is signalled; nothing when the work threw (out of
    // memory, say), which ends the work but never the process.
    std::optional<Result> Take() { return std::move(*result_); }

    // Once finished() is signalled: the thread, free for other work.
    std::unique_ptr<WorkerThread> Release() { return std::move(thread_); }

    // Abandons work that is still running: its thread ends by itself once the work is over,
    // and whichever of the two lets go of the result last frees it. The thread's handle, for
    // whoever waits for the end of abandoned work.
    UniqueHandle Abandon() {
        return thread_ ? std::move(*std::exchange(thread_, nullptr)).Abandon() : UniqueHandle();
    }

  private:
    std::shared_ptr<std::optional<Result>> result_;
    std::unique_ptr<WorkerThread> thread_;
};

}  // namespace kvat::win32
