// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/shutdown_countdown.h"

#include <gtest/gtest.h>

namespace rizuvira::app {
namespace {

TEST(ShutdownCountdownTest, CountsDownWholeSecondsAndIsDueOnce) {
    int64_t now_ms = 5000;
    ShutdownCountdown countdown(60, [&now_ms] { return now_ms; });
    EXPECT_EQ(countdown.SecondsLeft(), 60);
    EXPECT_EQ(countdown.Text(), "The computer shuts down in 60 seconds.");
    now_ms += 59'001;
    EXPECT_EQ(countdown.Text(), "The computer shuts down in 1 second.");
    EXPECT_FALSE(countdown.TakeDue());
    now_ms += 999;
    EXPECT_EQ(countdown.SecondsLeft(), 0);
    EXPECT_TRUE(countdown.TakeDue());
    now_ms += 10'000;
    EXPECT_FALSE(countdown.TakeDue());  // the machine is shut down once
    EXPECT_EQ(countdown.SecondsLeft(), 0);
}

TEST(ShutdownCountdownTest, ACancelledCountdownNeverFallsDue) {
    int64_t now_ms = 0;
    ShutdownCountdown countdown(60, [&now_ms] { return now_ms; });
    now_ms = 30'000;
    countdown.Cancel();
    now_ms = 120'000;
    EXPECT_FALSE(countdown.TakeDue());
    EXPECT_TRUE(countdown.cancelled());
}

}  // namespace
}  // namespace rizuvira::app
