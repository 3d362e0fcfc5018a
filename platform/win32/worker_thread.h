// A thread that runs the jobs it is given, one at a time. Under Wine a new thread runs its first
// instruction 3 to 4 ms after it is made, so the start-up check loads WinINet and makes both of
// its fetches on one thread instead of three.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

#include "platform/win32/unique_handle.h"

namespace kvat::win32 {

class WorkerThread {
  public:
    // A thread waiting for its first job; nullptr, with the last error set, when none could be
    // made.
    static std::unique_ptr<WorkerThread> Start();
    // The thread ends once its job, if it has one, has returned. A thread with no job is waited
    // for, a little at most, so that none is still ending when the process ends: under Wine a
    // thread's end racing the process's own can crash the process.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts `job`, which must not throw, on the thread. Only once the last job has returned.
    void Run(std::function<void()> job);
    // Signalled while the thread has no job: once the job started last has returned, and what
    // it held is gone.
    HANDLE idle() const { return state_->idle.get(); }
    // Lets go of the thread, whose job may still be running: it ends as soon as it is free. Its
    // handle, for whoever waits for the end of abandoned work.
    UniqueHandle Abandon() &&;

  private:
    struct State {
        UniqueHandle go;    // a job, or the end, is waiting for the thread
        UniqueHandle idle;  // see idle()
        std::function<void()> job;
        std::atomic<bool> end{false};  // read by the thread each time `go` wakes it
    };
    struct Made {};  // only Start makes one

  public:
    WorkerThread(Made, std::shared_ptr<State> state, UniqueHandle thread)
        : state_(std::move(state)), thread_(std::move(thread)) {}

  private:
    static DWORD WINAPI Loop(void* parameter);

    std::shared_ptr<State> state_;
    UniqueHandle thread_;
};

}  // namespace kvat::win32
