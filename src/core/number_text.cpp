// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/number_text.h"

namespace rizuvira::core {

bool ReadInteger(std::string_view text, size_t* pos, int64_t* value) {
    size_t i = *pos;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    int64_t number = 0;
    int digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (digits < 9) number = number * 10 + (text[i] - '0');
        if (number != 0) ++digits;
    }
    *value = negative ? -number : number;
    *pos = i;
    return true;
}

}  // namespace rizuvira::core
