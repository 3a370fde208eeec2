// SPDX-License-Identifier: GPL-2.0-or-later
// The wait before the desktop program powers the machine off at the end of
// a batch: a countdown the user can cancel. It only keeps time and says
// what to show; the window shows it and the caller shuts down once it is
// due.
//
// Threads: one thread at a time (the user-interface thread).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace rizuvira::app {

inline constexpr int kShutDownCountdownSeconds = 60;

class ShutdownCountdown {
public:
    // `now_ms` is a monotonic clock (a steady clock when empty); the
    // countdown starts when it is made.
    explicit ShutdownCountdown(int seconds = kShutDownCountdownSeconds,
                               std::function<int64_t()> now_ms = {});

    // Whole seconds left, rounded up: 60 at the start, 1 in the last
    // second, 0 once due (and stays 0).
    int SecondsLeft() const;
    // The time is up and the countdown was not cancelled. True once only:
    // the caller shuts down on the call that sees it.
    bool TakeDue();
    void Cancel() { cancelled_ = true; }
    bool cancelled() const { return cancelled_; }

    // "The computer shuts down in 60 seconds." ... "in 1 second."
    std::string Text() const;

private:
    std::function<int64_t()> now_ms_;
    int64_t end_ms_ = 0;
    bool cancelled_ = false;
    bool taken_ = false;
};

}  // namespace rizuvira::app
