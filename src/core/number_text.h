// SPDX-License-Identifier: GPL-2.0-or-later
// Reading whole numbers out of typed text, the way "%d" reads sane input but
// without overflow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rizuvira::core {

// Reads blanks, an optional sign and digits from `text` at `*pos`, and moves
// `*pos` past them. Digits after the ninth significant one are read but not
// counted, so no text overflows. False (and `*pos` unchanged) when no digit
// follows.
bool ReadInteger(std::string_view text, size_t* pos, int64_t* value);

}  // namespace rizuvira::core
