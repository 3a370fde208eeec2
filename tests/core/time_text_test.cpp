// SPDX-License-Identifier: GPL-2.0-or-later
// Time texts: how a time is shown, and how a typed or a command-line time is read.
#include "core/time_text.h"

#include <gtest/gtest.h>

namespace rizuvira::core {
namespace {

TEST(TimeText, WholeSecondsOrMillisecondsAndUnlimitedHours) {
    EXPECT_EQ(TimeText(3725999), "01:02:05");
    EXPECT_EQ(TimeText(int64_t{25} * 3600000 + 61999), "25:01:01");
    EXPECT_EQ(TimeText(360000000), "100:00:00");
    EXPECT_EQ(TimeText(-5000), "00:00:00");
    EXPECT_EQ(TimeText(3725999, TimePrecision::kMilliseconds), "01:02:05.999");
}

TEST(TimeText, TypedTimesCountFromTheHoursAndAlwaysRead) {
    EXPECT_EQ(ParseTimeText("00:01:02", TimeSyntax::kTyped), 62000);
    EXPECT_EQ(ParseTimeText("1:30", TimeSyntax::kTyped), 5400000);  // missing parts count as 0
    EXPECT_EQ(ParseTimeText("0:x:5", TimeSyntax::kTyped), 0);       // so do unreadable ones
    EXPECT_EQ(ParseTimeText("99999999999999999999:0:0", TimeSyntax::kTyped),
              int64_t{999999999} * 3600000);
}

TEST(TimeText, CommandLineTimesCountFromTheSecondsAndRefuseTheRest) {
    EXPECT_EQ(ParseTimeText("0:00:05", TimeSyntax::kStrict), 5000);
    EXPECT_EQ(ParseTimeText("01:02:05.5", TimeSyntax::kStrict), 3725500);
    EXPECT_EQ(ParseTimeText("1:30.25", TimeSyntax::kStrict), 90250);
    EXPECT_EQ(ParseTimeText("42.007", TimeSyntax::kStrict), 42007);
    EXPECT_EQ(ParseTimeText("100:00:00", TimeSyntax::kStrict), 360000000);
    for (const char* bad :
         {"", ":", "1:60", "0:61:00", "5.", "5.1234", "-3", "1:2:3:4", "1.5:00", "a", "0:0x"})
        EXPECT_EQ(ParseTimeText(bad, TimeSyntax::kStrict), -1) << bad;
}

}  // namespace
}  // namespace rizuvira::core
