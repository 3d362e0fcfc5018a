#include "platform/win32/worker_thread.h"

#include <utility>

#include <chrono>

#include "platform/fetch_limits.h"

namespace kvat::win32 {

std::unique_ptr<WorkerThread> WorkerThread::Start() {
    auto state = std::make_shared<State>();
    state->go.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    state->idle.reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    if (!state->go || !state->idle) {
        return nullptr;
    }
    auto handed_over = std::make_unique<std::shared_ptr<State>>(state);
    UniqueHandle thread(CreateThread(nullptr, 0, Loop, handed_over.get(), 0, nullptr));
    if (!thread) {
        return nullptr;
    }
    handed_over.release();  // the thread owns it now
    return std::make_unique<WorkerThread>(Made{}, std::move(state), std::move(thread));
}

WorkerThread::~WorkerThread() {
    if (state_ && thread_) {
        state_->end = true;
        SetEvent(state_->go.get());
        if (WaitForSingleObject(state_->idle.get(), 0) == WAIT_OBJECT_0) {
            const std::chrono::milliseconds bound = kAbandonedFetchWait;
            WaitForSingleObject(thread_.get(), static_cast<DWORD>(bound.count()));
        }
    }
}

void WorkerThread::Run(std::function<void()> job) {
    ResetEvent(state_->idle.get());
    state_->job = std::move(job);
    SetEvent(state_->go.get());
}

UniqueHandle WorkerThread::Abandon() && {
    state_->end = true;
    SetEvent(state_->go.get());
    return std::move(thread_);
}

DWORD WINAPI WorkerThread::Loop(void* parameter) {
    const std::unique_ptr<std::shared_ptr<State>> owner(
        static_cast<std::shared_ptr<State>*>(parameter));
    State& state = **owner;
    for (;;) {
        WaitForSingleObject(state.go.get(), INFINITE);
        if (state.end) {
            return 0;
        }
        std::function<void()> job = std::exchange(state.job, nullptr);
        job();
        job = nullptr;  // what the job held goes before anyone is told it has ended
        SetEvent(state.idle.get());
    }
}

}  // namespace kvat::win32
