// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/time_text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "core/number_text.h"

namespace rizuvira::core {

namespace {

int64_t ParseTyped(std::string_view text) {
    int64_t parts[3] = {0, 0, 0};
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != ':') break;
            ++pos;
        }
        if (!ReadInteger(text, &pos, &parts[i])) break;
    }
    return (parts[0] * 3600 + parts[1] * 60 + parts[2]) * 1000;
}

// A whole number filling `text`, with an optional leading "+".
bool ParseWhole(std::string_view text, int64_t* value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size();
}

int64_t ParseStrict(std::string_view text) {
    if (std::count(text.begin(), text.end(), ':') > 2) return -1;
    int64_t seconds = 0;
    int64_t fraction_ms = 0;
    for (bool first = true;; first = false) {
        const size_t colon = text.find(':');
        std::string_view part = text.substr(0, colon);
        const bool last = colon == std::string_view::npos;
        if (last) {
            if (const size_t dot = part.find('.'); dot != std::string_view::npos) {
                const std::string_view fraction = part.substr(dot + 1);
                if (fraction.empty() || fraction.size() > 3 ||
                    !std::all_of(fraction.begin(), fraction.end(),
                                 [](char c) { return c >= '0' && c <= '9'; }))
                    return -1;
                for (size_t i = 0; i < 3; ++i)
                    fraction_ms = fraction_ms * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
                part = part.substr(0, dot);
            }
        }
        int64_t whole = 0;
        if (!ParseWhole(part, &whole) || whole < 0 || whole > 1'000'000 || (!first && whole >= 60))
            return -1;
        seconds = seconds * 60 + whole;
        if (last) break;
        text.remove_prefix(colon + 1);
    }
    return seconds * 1000 + fraction_ms;
}

}  // namespace

std::string TimeText(int64_t ms, TimePrecision precision) {
    const long long total_ms = std::max<int64_t>(ms, 0);
    const long long s = total_ms / 1000;
    char text[48];
    if (precision == TimePrecision::kMilliseconds) {
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", s / 3600, s / 60 % 60,
                      s % 60, total_ms % 1000);
    } else {
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    }
    return text;
}

int64_t ParseTimeText(std::string_view text, TimeSyntax syntax) {
    return syntax == TimeSyntax::kTyped ? ParseTyped(text) : ParseStrict(text);
}

}  // namespace rizuvira::core
