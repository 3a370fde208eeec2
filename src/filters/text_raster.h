// SPDX-License-Identifier: GPL-2.0-or-later
// Text rasteriser for the video watermark: FreeType glyphs from a font found by fontconfig.
//
// The raster is exactly the text's extent (the sum of the glyph advances by the font's line
// height), white, with the text drawn in the given colour (anti-aliased edges blend toward
// white). Pixels are RGB24 (bytes R, G, B), rows without padding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rizuvira::filters {

struct RgbRaster {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3 bytes
};

// `family` is a fontconfig family name ("DejaVu Sans", "sans-serif"); the closest installed
// font is used. `size_px` is the em height in pixels. `colour` is 0x00BBGGRR. Nothing (no
// raster) for empty text, a size outside 1..1000, no usable font, or a raster larger than
// `max_bytes`. Safe to call from any thread.
std::optional<RgbRaster> RenderText(std::u16string_view text, const std::string& family,
                                    int size_px, uint32_t colour, std::size_t max_bytes);

}  // namespace rizuvira::filters
