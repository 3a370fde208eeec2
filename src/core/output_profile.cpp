// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/output_profile.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

namespace rizuvira::core {

void CopyToField(char* field, size_t capacity, std::string_view text) {
    if (capacity == 0) return;
    size_t length = text.size() < capacity - 1 ? text.size() : capacity - 1;
    if (length < text.size()) {
        // Do not leave half a UTF-8 sequence: back up over continuation
        // bytes to the start of the character that was cut.
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(field, text.data(), length);
    std::memset(field + length, 0, capacity - length);
}

int32_t ParseLeadingInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < kLimit) value = value * 10 + (text[i] - '0');
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

FrameRateFraction ExactFrameRate(int32_t frame_rate_x1000) {
    if (frame_rate_x1000 <= 0) return {0, 1};
    if (frame_rate_x1000 == 23976) return {24000, 1001};
    if (frame_rate_x1000 == 29970) return {30000, 1001};
    if (frame_rate_x1000 == 59940) return {60000, 1001};
    int32_t divisor = std::gcd(frame_rate_x1000, 1000);
    return {frame_rate_x1000 / divisor, 1000 / divisor};
}

int32_t FrameRateForPeriod(int64_t period_100ns) {
    if (period_100ns <= 0) return 0;
    // Within 0.1 % of a rate of 1001 steps: the exact NTSC rates.
    for (const int32_t ntsc : {23976, 29970, 59940}) {
        const FrameRateFraction rate = ExactFrameRate(ntsc);
        const double period = 1e7 * rate.den / rate.num;
        if (std::abs(static_cast<double>(period_100ns) - period) < period * 0.001) return ntsc;
    }
    const double rate_x1000 = 1e10 / static_cast<double>(period_100ns);
    if (rate_x1000 > std::numeric_limits<int32_t>::max()) return 0;
    return static_cast<int32_t>(std::lround(rate_x1000));
}

OutputSettings ResolveSourceValues(const OutputSettings& settings, const SourcePicture& source) {
    OutputSettings out = settings;
    if (out.HasVideo == 0) return out;
    if (TakesSourceSize(out)) {
        if (source.width >= 2 && source.height >= 2) {
            out.Width = source.width / 2 * 2;
            out.Height = source.height / 2 * 2;
            out.AspectX = source.aspect_x;
            out.AspectY = source.aspect_y;
            if (out.AspectX <= 0 || out.AspectY <= 0) out.AspectX = out.AspectY = 0;
        } else {
            out.Width = 720;
            out.Height = 480;
            out.AspectX = out.AspectY = 0;
        }
    }
    if (TakesSourceFrameRate(out))
        out.FrameRate = source.frame_rate_x1000 > 0 ? source.frame_rate_x1000 : 29970;
    if (out.AspectX > 0 && out.AspectY > 0) {
        const int64_t divisor = std::gcd(out.AspectX, out.AspectY);
        out.AspectX = static_cast<int32_t>(out.AspectX / divisor);
        out.AspectY = static_cast<int32_t>(out.AspectY / divisor);
    }
    return out;
}

}  // namespace rizuvira::core
