#include "platform/win32/worker_thread.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

namespace kvat::win32 {
namespace {

constexpr DWORD kSoon = 2000;  // ms; a thread that is free ends at once

// The thread that runs `worker`'s next job, opened so that its end can be awaited.
UniqueHandle ThreadOf(WorkerThread& worker) {
    auto id = std::make_shared<DWORD>(0);
    worker.Run([id] { *id = GetCurrentThreadId(); });
    EXPECT_EQ(WaitForSingleObject(worker.idle(), kSoon), WAIT_OBJECT_0);
    return UniqueHandle(OpenThread(SYNCHRONIZE, FALSE, *id));
}

TEST(WorkerThread, RunsEachJobOnOneThreadThatEndsWithItsOwner) {
    auto worker = WorkerThread::Start();
    ASSERT_TRUE(worker);
    const UniqueHandle first = ThreadOf(*worker);
    ASSERT_TRUE(first);
    // The next job finds the same thread, still there.
    const UniqueHandle second = ThreadOf(*worker);
    EXPECT_EQ(GetThreadId(first.get()), GetThreadId(second.get()));
    EXPECT_EQ(WaitForSingleObject(first.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // Free, it has ended by the time its owner is gone: a thread still ending as the process
    // ends can crash the process under Wine.
    worker.reset();
    EXPECT_EQ(WaitForSingleObject(first.get(), 0), WAIT_OBJECT_0);
}

TEST(WorkerThread, AbandonedThreadEndsOnceItsJobReturnsAndLetsGoOfIt) {
    auto worker = WorkerThread::Start();
    ASSERT_TRUE(worker);
    const UniqueHandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto held = std::make_shared<int>(0);
    const std::weak_ptr<int> watched = held;
    worker->Run([held = std::move(held), started = started.get(), release = release.get()] {
        SetEvent(started);
        WaitForSingleObject(release, INFINITE);
    });
    ASSERT_EQ(WaitForSingleObject(started.get(), kSoon), WAIT_OBJECT_0);
    const UniqueHandle thread = std::move(*worker).Abandon();
    worker.reset();

    // Still in its job: it ends only when the job returns, and keeps nothing of it.
    EXPECT_EQ(WaitForSingleObject(thread.get(), 200), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(release.get());
    EXPECT_EQ(WaitForSingleObject(thread.get(), kSoon), WAIT_OBJECT_0);
    EXPECT_TRUE(watched.expired());

    // Abandoned before it even took its job, a thread ends too.
    auto hasty = WorkerThread::Start();
    ASSERT_TRUE(hasty);
    hasty->Run([] {});
    const UniqueHandle hasty_thread = std::move(*hasty).Abandon();
    EXPECT_EQ(WaitForSingleObject(hasty_thread.get(), kSoon), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace kvat::win32
