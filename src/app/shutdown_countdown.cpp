// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/shutdown_countdown.h"

#include <algorithm>
#include <chrono>

#include "app/texts.h"

namespace rizuvira::app {

ShutdownCountdown::ShutdownCountdown(int seconds, std::function<int64_t()> now_ms)
    : now_ms_(std::move(now_ms)) {
    if (!now_ms_) {
        now_ms_ = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        };
    }
    end_ms_ = now_ms_() + int64_t{std::max(seconds, 0)} * 1000;
}

int ShutdownCountdown::SecondsLeft() const {
    const int64_t left_ms = std::max<int64_t>(end_ms_ - now_ms_(), 0);
    return static_cast<int>((left_ms + 999) / 1000);
}

bool ShutdownCountdown::TakeDue() {
    if (cancelled_ || taken_ || SecondsLeft() > 0) return false;
    taken_ = true;
    return true;
}

std::string ShutdownCountdown::Text() const {
    const int left = SecondsLeft();
    // The member hides the free function of the same name.
    return CountText(left, app::Text("shutdown", "The computer shuts down in 1 second."),
                     app::Text("shutdown", "The computer shuts down in %1 seconds."));
}

}  // namespace rizuvira::app
