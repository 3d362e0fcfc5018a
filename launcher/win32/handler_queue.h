// The rules by which the launcher window runs its event handlers, in one place:
// - one handler at a time, each to its end: an event that arrives while one runs (inside its
//   message box, or while its start-up check waits for the server) waits for it to finish, and
//   the waiting events then run in the order they came;
// - timer ticks that fall due while a handler runs stand for one tick, not many;
// - nothing runs after a handler failed, or once the window is gone.
#pragma once

#include <deque>
#include <functional>
#include <utility>

namespace kvat::win32 {

class HandlerQueue {
  public:
    // `fail` is called, inside the catch, when a handler or `after_each` throws; `after_each`
    // after every handler (a start-up check is over when its handler is).
    HandlerQueue(std::function<void()> fail, std::function<void()> after_each)
        : fail_(std::move(fail)), after_each_(std::move(after_each)) {}

    // Runs `handler` now, or after the handler in progress.
    void Run(std::function<void()> handler);
    // A tick of a timer: runs `tick` now, or once after the handler in progress however many
    // ticks fall due meanwhile.
    void Tick(std::function<void()> tick);

    bool busy() const { return running_; }
    // No handler runs from now on; those still waiting are dropped.
    void Stop() {
        stopped_ = true;
        waiting_.clear();
    }

  private:
    void Invoke(const std::function<void()>& handler);

    std::function<void()> fail_;
    std::function<void()> after_each_;
    std::deque<std::function<void()>> waiting_;
    bool running_ = false;
    bool tick_waiting_ = false;
    bool stopped_ = false;
};

}  // namespace kvat::win32
