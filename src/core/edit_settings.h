// SPDX-License-Identifier: GPL-2.0-or-later
// The block of picture and sound adjustments applied to a conversion item,
// 40 bytes, copied whole. One current block applies to every item (see
// CurrentEditSettings in convert_item.h).
#pragma once

#include <cstdint>

namespace rizuvira::core {

// Size of the source picture that bounds the crop rectangle, for every disc.
inline constexpr int32_t kSourceWidth = 720;
inline constexpr int32_t kSourceHeight = 480;

enum ZoomMode : int32_t {
    kZoomKeepOriginal = 0,
    kZoomFullScreen = 1,
    kZoom16x9 = 2,
    kZoom4x3 = 3,
};

struct EditSettings {
    int32_t zoom_mode;  // ZoomMode, 0..3
    int32_t crop_left;  // crop rectangle in source pixels;
    int32_t crop_top;   // left < right <= 720, top < bottom <= 480
    int32_t crop_right;
    int32_t crop_bottom;
    int32_t volume;       // 0..512, in 1/256 steps; 256 leaves the level
    int32_t brightness;   // 0..256, luma gain in 1/128 steps; 128 neutral
    int32_t saturation;   // 0..128, chroma gain in 1/64 steps; 64 neutral
    int32_t hue_degrees;  // -180..180; 0 neutral
    int32_t spare;        // read by nothing

    friend bool operator==(const EditSettings&, const EditSettings&) = default;
};
static_assert(sizeof(EditSettings) == 40, "EditSettings is a 40-byte block");

inline constexpr EditSettings kDefaultEditSettings{
    kZoomKeepOriginal, 0, 0, kSourceWidth, kSourceHeight, 256, 128, 64, 0, 0};

}  // namespace rizuvira::core
