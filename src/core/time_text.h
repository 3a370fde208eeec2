// SPDX-License-Identifier: GPL-2.0-or-later
// Time texts: "hh:mm:ss" as the windows, the title list, the progress and the command line show
// a time, and the two ways a time is read back: typed into a field, or given on the command
// line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rizuvira::core {

enum class TimePrecision {
    kSeconds,       // "hh:mm:ss": the milliseconds are cut off
    kMilliseconds,  // "hh:mm:ss.mmm"
};

// `ms` as "hh:mm:ss" (or "hh:mm:ss.mmm"); hours grow past two digits. A negative time reads as
// 00:00:00.
std::string TimeText(int64_t ms, TimePrecision precision = TimePrecision::kSeconds);

enum class TimeSyntax {
    // Typed into a time field: up to three signed whole numbers "h:m:s" counted from the hours.
    // A missing or unreadable part counts as 0, so every text reads as some time; each part is
    // bounded (see ReadInteger), so the result never overflows.
    kTyped,
    // Given on the command line: "[[h:]m:]s[.mmm]" counted from the seconds, each part a whole
    // number up to 1000000 (with an optional "+"), those after the first below 60, and one to
    // three digits of fraction.
    kStrict,
};

// The milliseconds `text` names; -1 when a kStrict text is not of that form.
int64_t ParseTimeText(std::string_view text, TimeSyntax syntax);

}  // namespace rizuvira::core
