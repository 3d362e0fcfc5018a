// Work on a thread of its own that the caller may stop waiting for. Used where nothing can cut a
// blocking call short (a WinINet read under Wine goes on even after its handles are closed):
// the caller waits with a bound of its own and, past it, simply goes on.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "platform/win32/unique_handle.h"

namespace kvat::win32 {

template <typename Result>
class BoundedWorker {
  public:
    // Starts `work` at once. started() is false, with the last error set, when no thread could
    // be made.
    explicit BoundedWorker(std::function<Result()> work)
        : shared_(std::make_shared<Shared>(std::move(work))) {
        auto handed_over = std::make_unique<std::shared_ptr<Shared>>(shared_);
        thread_.reset(CreateThread(nullptr, 0, Run, handed_over.get(), 0, nullptr));
        if (thread_) {
            handed_over.release();  // the thread owns it now
        }
    }

    bool started() const { return thread_ != nullptr; }

    // Signalled once the thread has ended: the work, and everything it called, is over. The
    // result is handed over only then, so no thread of the work is still inside a library when
    // the caller (or the process) moves on.
    HANDLE finished() const { return thread_.get(); }

    // The work's result, once finished() is signalled; nothing when the work threw (out of
    // memory, say), which ends the work but never the process.
    std::optional<Result> Take() { return std::move(shared_->result); }

    // Abandons a worker that is still running: it ends by itself, and whichever of the two
    // lets go of the shared state last frees it. The thread's handle, for whoever waits for the
    // end of abandoned work.
    UniqueHandle Abandon() { return std::move(thread_); }

  private:
    struct Shared {
        explicit Shared(std::function<Result()> w) : work(std::move(w)) {}
        std::function<Result()> work;
        std::optional<Result> result;
    };

    static DWORD WINAPI Run(void* parameter) {
        const std::unique_ptr<std::shared_ptr<Shared>> owner(
            static_cast<std::shared_ptr<Shared>*>(parameter));
        Shared& shared = **owner;
        try {
            shared.result = shared.work();
        } catch (...) {
            shared.result.reset();
        }
        return 0;
    }

    std::shared_ptr<Shared> shared_;
    UniqueHandle thread_;
};

}  // namespace kvat::win32
