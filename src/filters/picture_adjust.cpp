// SPDX-License-Identifier: GPL-2.0-or-later
#include "filters/picture_adjust.h"

#include <algorithm>
#include <cmath>

namespace rizuvira::filters {

int PictureBytes(int width, int height) {
    return width * height + 2 * ((width + 1) / 2) * ((height + 1) / 2);
}

PictureView ContiguousPicture(uint8_t* data, int width, int height) {
    PictureView view;
    view.width = width;
    view.height = height;
    const int chroma_width = view.chroma_width();
    view.planes[0] = data;
    view.planes[1] = data + width * height;
    view.planes[2] = view.planes[1] + chroma_width * view.chroma_height();
    view.strides[0] = width;
    view.strides[1] = chroma_width;
    view.strides[2] = chroma_width;
    return view;
}

const HueTables& GetHueTables() {
    static const HueTables tables = [] {
        HueTables t{};
        for (int degrees = -180; degrees <= 180; ++degrees) {
            const double radians = degrees * 3.1415926 / 180;
            t.sine[degrees + 180] = static_cast<int16_t>(std::sin(radians) * 128);
            t.cosine[degrees + 180] = static_cast<int16_t>(std::cos(radians) * 128);
        }
        return t;
    }();
    return tables;
}

void ApplyBrightness(const PictureView& picture, int32_t brightness) {
    // Locals, so that the byte stores cannot alias the sizes and the loop vectorises.
    const auto gain = static_cast<uint16_t>(std::clamp(brightness, 0, 256));
    const int width = picture.width;
    const int height = picture.height;
    const int stride = picture.strides[0];
    uint8_t* const luma = picture.planes[0];
    for (int row = 0; row < height; ++row) {
        uint8_t* line = luma + static_cast<std::ptrdiff_t>(row) * stride;
        for (int x = 0; x < width; ++x) {
            const auto value = static_cast<uint16_t>(static_cast<uint16_t>(line[x] * gain) >> 7);
            line[x] = static_cast<uint8_t>(value > 255 ? 255 : value);
        }
    }
}

void ApplySaturationHue(const PictureView& picture, int32_t saturation, int32_t hue) {
    const HueTables& tables = GetHueTables();
    const std::size_t index = static_cast<std::size_t>(std::clamp(hue, -180, 180) + 180);
    const int16_t c = tables.cosine[index];
    const int16_t s = tables.sine[index];
    const auto gain = static_cast<int16_t>(std::clamp(saturation, 0, 128));

    // Every intermediate fits 16 bits (|v * c| <= 16384, a and b in -256..254, a * gain in
    // -32768..32512), so the loop runs on 16-bit lanes.
    const int width = picture.chroma_width();
    const int height = picture.chroma_height();
    for (int row = 0; row < height; ++row) {
        uint8_t* cr = picture.planes[1] + static_cast<std::ptrdiff_t>(row) * picture.strides[1];
        uint8_t* cb = picture.planes[2] + static_cast<std::ptrdiff_t>(row) * picture.strides[2];
        for (int x = 0; x < width; ++x) {
            const auto v = static_cast<int16_t>(cr[x] - 128);
            const auto u = static_cast<int16_t>(cb[x] - 128);
            const auto a =
                static_cast<int16_t>(static_cast<int16_t>(static_cast<int16_t>(v * c) >> 7) +
                                     static_cast<int16_t>(static_cast<int16_t>(u * s) >> 7));
            const auto b =
                static_cast<int16_t>(static_cast<int16_t>(static_cast<int16_t>(u * c) >> 7) -
                                     static_cast<int16_t>(static_cast<int16_t>(v * s) >> 7));
            const auto new_v = static_cast<int16_t>((static_cast<int16_t>(a * gain) >> 6) + 128);
            const auto new_u = static_cast<int16_t>((static_cast<int16_t>(b * gain) >> 6) + 128);
            cr[x] = static_cast<uint8_t>(new_v < 0 ? 0 : new_v > 255 ? 255 : new_v);
            cb[x] = static_cast<uint8_t>(new_u < 0 ? 0 : new_u > 255 ? 255 : new_u);
        }
    }
}

namespace {

uint8_t Mix(uint8_t frame, uint8_t mark, double alpha) {
    const double value = frame * (1.0 - alpha) + mark * alpha;
    if (!(value > 0.0)) return 0;  // also NaN
    if (value >= 255.0) return 255;
    return static_cast<uint8_t>(value);
}

// The mark indices [begin, end) of a run of `count` samples placed at frame coordinate
// `origin` that fall inside a frame of `frame_size` samples.
struct Span {
    int begin;
    int end;
};
Span Clip(int origin, int count, int frame_size) {
    return Span{std::max(0, -origin), std::min(count, frame_size - origin)};
}

}  // namespace

void BlendWatermark(const PictureView& frame, const WatermarkPicture& mark, int x, int y,
                    float alpha) {
    if (mark.width <= 0 || mark.height <= 0) return;
    if (x >= frame.width || y >= frame.height) return;
    if (int64_t{x} + mark.width <= 0 || int64_t{y} + mark.height <= 0) return;
    const double a = alpha;

    // Luma over the mark's rectangle, cut at the frame's edges.
    const Span columns = Clip(x, mark.width, frame.width);
    const Span rows = Clip(y, mark.height, frame.height);
    for (int j = rows.begin; j < rows.end; ++j) {
        uint8_t* line = frame.planes[0] + static_cast<std::ptrdiff_t>(y + j) * frame.strides[0];
        const uint8_t* source = mark.luma.data() + static_cast<std::ptrdiff_t>(j) * mark.width;
        for (int i = columns.begin; i < columns.end; ++i)
            line[x + i] = Mix(line[x + i], source[i], a);
    }

    // Chroma: (w / 2) x (h / 2) samples of the right/bottom-clipped size, from (x / 2, y / 2).
    const int chroma_x = x >> 1;  // floor, so that a negative position keeps its alignment
    const int chroma_y = y >> 1;
    const int chroma_count_x = std::min(mark.width, frame.width - x) / 2;
    const int chroma_count_y = std::min(mark.height, frame.height - y) / 2;
    const Span chroma_columns = Clip(chroma_x, chroma_count_x, frame.chroma_width());
    const Span chroma_rows = Clip(chroma_y, chroma_count_y, frame.chroma_height());
    const int mark_stride = mark.chroma_width();
    for (int j = chroma_rows.begin; j < chroma_rows.end; ++j) {
        const std::ptrdiff_t mark_row = static_cast<std::ptrdiff_t>(j) * mark_stride;
        uint8_t* cr =
            frame.planes[1] + static_cast<std::ptrdiff_t>(chroma_y + j) * frame.strides[1];
        uint8_t* cb =
            frame.planes[2] + static_cast<std::ptrdiff_t>(chroma_y + j) * frame.strides[2];
        for (int i = chroma_columns.begin; i < chroma_columns.end; ++i) {
            cr[chroma_x + i] = Mix(cr[chroma_x + i], mark.cr[mark_row + i], a);
            cb[chroma_x + i] = Mix(cb[chroma_x + i], mark.cb[mark_row + i], a);
        }
    }
}

}  // namespace rizuvira::filters
