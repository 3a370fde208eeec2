#include "core/output_profile.h"

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
    int32_t divisor = std::gcd(frame_rate_x1000, 1000);
    return {frame_rate_x1000 / divisor, 1000 / divisor};
}

}  // namespace rizuvira::core
