// SPDX-License-Identifier: GPL-2.0-or-later
// Runs a batch on the calling thread without a window: the host of a
// RunController for the command line and the tests. It starts items when
// the controller asks, handles graph events when the graph announces them
// and ticks the progress every 200 ms, waiting on a condition variable in
// between.
//
// Threads: Run on the owner's thread; PostGraphEvents and RequestCancel
// from any thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "engine/run_controller.h"

namespace rizuvira::engine {

inline constexpr int kProgressPeriodMs = 200;

class BatchLoop final : public RunHost {
public:
    void PostStartItem() override;
    void PostGraphEvents() override;

    // Cancels the batch from any thread (Ctrl-C): the current file is
    // finished with what was written so far.
    void RequestCancel();

    // Returns when `controller`'s batch has ended (Begin has been called).
    // `on_tick` (may be empty) sees every progress update.
    void Run(RunController& controller, const std::function<void(const RunProgress&)>& on_tick);

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool start_pending_ = false;   // guarded by mutex_
    bool events_pending_ = false;  // guarded by mutex_
    bool cancel_pending_ = false;  // guarded by mutex_
};

}  // namespace rizuvira::engine
