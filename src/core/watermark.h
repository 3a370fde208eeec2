// SPDX-License-Identifier: GPL-2.0-or-later
// The text watermark a conversion draws into every picture, as the editor's watermark page
// and the command line's --watermark options set it. One record for the process, kept beside
// the current edit settings; an empty text means no watermark.
#pragma once

#include <cstdint>
#include <string>

namespace rizuvira::core {

// Longest text in UTF-16 code units (the converter's record holds 64 with the closing NUL).
inline constexpr int kMaxWatermarkUnits = 63;

struct Watermark {
    std::string text;                         // UTF-8; empty: no watermark
    std::string font_family = "DejaVu Sans";  // fontconfig family name
    int32_t font_size_px = 32;                // em height in output pixels, 4..400
    uint32_t colour = 0x00000000;             // 0x00BBGGRR, on the text's white box
    int32_t x = 16;                           // left edge in output pixels
    int32_t y = 16;                           // top edge in output pixels
    float alpha = 0.5f;                       // 0.0 invisible .. 1.0 opaque

    bool enabled() const { return !text.empty(); }
    friend bool operator==(const Watermark&, const Watermark&) = default;
};

}  // namespace rizuvira::core
