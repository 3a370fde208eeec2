// SPDX-License-Identifier: GPL-2.0-or-later
// The video converter's picture adjustments on planar 4:2:0 pictures: brightness, saturation
// and hue in integer arithmetic, and the blend of a watermark picture.
//
// Integer rules (shifts are arithmetic, rounding toward minus infinity):
//   brightness b (1/128 steps, 0..256):  Y' = min(255, (Y * b) >> 7)
//   hue h (degrees) and saturation s (1/64 steps, 0..128), with c = cosine[h + 180] and
//   v = Cr - 128, u = Cb - 128:  s = sine[h + 180]:
//     a = ((v * c) >> 7) + ((u * s) >> 7),  b = ((u * c) >> 7) - ((v * s) >> 7)
//     Cr' = clamp(((a * s) >> 6) + 128),    Cb' = clamp(((b * s) >> 6) + 128)
// The tables hold sin and cos of -180..180 degrees times 128, truncated toward zero, with pi
// taken as 3.1415926 (so sine[90 + 180] is 127, not 128).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace rizuvira::filters {

// A view of a planar 4:2:0 picture held elsewhere. planes[0] is luma; for YV12 planes[1] is
// Cr (V) and planes[2] Cb (U). Chroma planes are ceil(width / 2) x ceil(height / 2).
struct PictureView {
    uint8_t* planes[3] = {};
    int strides[3] = {};
    int width = 0;
    int height = 0;

    int chroma_width() const { return (width + 1) / 2; }
    int chroma_height() const { return (height + 1) / 2; }
};

// Bytes of a contiguous 4:2:0 picture (luma, then two chroma planes, no padding).
int PictureBytes(int width, int height);
// A view of a contiguous picture at `data`, chroma planes in buffer order.
PictureView ContiguousPicture(uint8_t* data, int width, int height);

struct HueTables {
    std::array<int16_t, 361> sine;  // index = degrees + 180
    std::array<int16_t, 361> cosine;
};
// Filled on first use, then shared (read-only).
const HueTables& GetHueTables();

inline constexpr int32_t kNeutralBrightness = 128;
inline constexpr int32_t kNeutralSaturation = 64;
inline constexpr int32_t kNeutralHue = 0;

void ApplyBrightness(const PictureView& picture, int32_t brightness);
// `picture` is YV12-ordered (planes[1] = Cr). hue in -180..180, saturation 0..128.
void ApplySaturationHue(const PictureView& picture, int32_t saturation, int32_t hue);

// A watermark in 4:2:0 with its own chroma planes named by colour, so that it blends into the
// matching planes of a YV12 frame.
struct WatermarkPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> luma;  // width x height
    std::vector<uint8_t> cr;    // ceil(width / 2) x ceil(height / 2)
    std::vector<uint8_t> cb;
    int chroma_width() const { return (width + 1) / 2; }
};

// P' = trunc(P * (1 - alpha) + Q * alpha), clamped to 0..255, over the watermark's rectangle at
// (x, y) in luma pixels; chroma over (w / 2) x (h / 2) samples from (x / 2, y / 2). The
// rectangle is clipped on every side: nothing outside `frame` is read or written, whatever x
// and y are. `frame` is YV12-ordered.
void BlendWatermark(const PictureView& frame, const WatermarkPicture& mark, int x, int y,
                    float alpha);

}  // namespace rizuvira::filters
