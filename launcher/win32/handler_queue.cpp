#include "launcher/win32/handler_queue.h"

#include <utility>

namespace kvat::win32 {

void HandlerQueue::Run(std::function<void()> handler) {
    if (stopped_) {
        return;
    }
    if (running_) {
        waiting_.push_back(std::move(handler));
        return;
    }
    running_ = true;
    Invoke(handler);
    while (!waiting_.empty() && !stopped_) {
        const std::function<void()> next = std::move(waiting_.front());
        waiting_.pop_front();
        Invoke(next);
    }
    running_ = false;
}

void HandlerQueue::Tick(std::function<void()> tick) {
    if (tick_waiting_) {
        return;
    }
    tick_waiting_ = true;
    Run([this, tick = std::move(tick)] {
        tick_waiting_ = false;
        tick();
    });
}

void HandlerQueue::Invoke(const std::function<void()>& handler) {
    // The step after the handler may fail too (out of memory): it is reported the same way.
    const auto guarded = [this](const std::function<void()>& step) {
        try {
            step();
        } catch (...) {
            fail_();
        }
    };
    guarded(handler);
    guarded(after_each_);
}

}  // namespace kvat::win32
