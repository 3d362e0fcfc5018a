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
    try {
        handler();
    } catch (...) {
        fail_();
    }
    after_each_();
}

}  // namespace kvat::win32
