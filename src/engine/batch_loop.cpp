// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/batch_loop.h"

#include <chrono>

namespace rizuvira::engine {

void BatchLoop::PostStartItem() {
    std::lock_guard lock(mutex_);
    start_pending_ = true;
    wake_.notify_one();
}

void BatchLoop::PostGraphEvents() {
    std::lock_guard lock(mutex_);
    events_pending_ = true;
    wake_.notify_one();
}

void BatchLoop::RequestCancel() {
    std::lock_guard lock(mutex_);
    cancel_pending_ = true;
    wake_.notify_one();
}

void BatchLoop::Run(RunController& controller,
                    const std::function<void(const RunProgress&)>& on_tick) {
    using Clock = std::chrono::steady_clock;
    auto next_tick = Clock::now() + std::chrono::milliseconds(kProgressPeriodMs);
    while (!controller.ended()) {
        bool start = false, events = false, cancel = false;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_until(lock, next_tick,
                             [&] { return start_pending_ || events_pending_ || cancel_pending_; });
            std::swap(start, start_pending_);
            std::swap(events, events_pending_);
            cancel = cancel_pending_;
        }
        if (cancel) {
            controller.Cancel();
            break;
        }
        if (events) controller.HandleGraphEvents();
        if (start) controller.StartCurrentItem();
        if (Clock::now() >= next_tick) {
            const RunProgress& progress = controller.Tick();
            if (on_tick && controller.running()) on_tick(progress);
            next_tick += std::chrono::milliseconds(kProgressPeriodMs);
            if (next_tick < Clock::now())
                next_tick = Clock::now() + std::chrono::milliseconds(kProgressPeriodMs);
        }
    }
}

}  // namespace rizuvira::engine
