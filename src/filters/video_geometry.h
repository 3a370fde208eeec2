// SPDX-License-Identifier: GPL-2.0-or-later
// Geometry of the video converter: where the cropped picture lands inside the output frame.
//
// Given the input size, the crop rectangle, the output rectangle and the zoom mode, it decides
// whether to crop, pad (black bars) and scale, and by how much. Pure arithmetic, no state.
//
// Zoom modes: 0 keeps the shape the crop rectangle is shown at (its width times the source's
// pixel aspect, over its height), 1 stretches to the whole frame, 2 fits 16:9, 3 fits 4:3; any
// other value stretches. The output has square pixels, so a 16:9 720x576 source in mode 0
// into 720x480 gives a 720x404 picture between 38-row bars. The ratios are the 32-bit floats
// nearest the shape, 16/9 and 4/3 (1.7777778f and 1.3333334f), and the fit compares in
// extended precision (FitAspect), so 720x480 in mode 2 into 640x480 gives a 640x360 picture
// between 60-row bars.
#pragma once

#include <cstdint>

#include "platform/format_types.h"
#include "platform/picture_shape.h"

namespace rizuvira::filters {

struct Margins {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    friend constexpr bool operator==(const Margins&, const Margins&) = default;
};

struct ConvertGeometry {
    int32_t in_width = 0;
    int32_t in_height = 0;
    int32_t crop_width = 0;  // W_c x H_c: the part of the input that is kept
    int32_t crop_height = 0;
    int32_t out_width = 0;  // W_out x H_out: the output frame
    int32_t out_height = 0;
    bool crop_on = false;
    Margins crop;  // input pixels cut away on each side
    bool pad_on = false;
    Margins pad;  // black output pixels on each side, each even
    bool scale_on = false;

    // Size of the picture area inside the bars.
    int32_t interior_width() const { return out_width - pad.left - pad.right; }
    int32_t interior_height() const { return out_height - pad.top - pad.bottom; }
};

// Largest picture side handled; keeps every byte count of a picture within 32 bits.
inline constexpr int32_t kMaxPictureSide = 16384;

inline constexpr int32_t kZoomKeepOriginal = 0;
inline constexpr int32_t kZoomFullScreen = 1;
inline constexpr int32_t kZoom16x9 = 2;
inline constexpr int32_t kZoom4x3 = 3;

// The picture rectangle inside `frame` for the zoom mode; `crop_aspect` (CropDisplayAspect) is
// the ratio of mode 0, which fills the frame when it is not positive.
RECT FitPicture(int32_t zoom_mode, const RECT& frame, double crop_aspect);

// The whole set-up for an in_width x in_height input shown whole at `in_aspect` ({0, 0}:
// square pixels), into an output frame shown whole at `out_aspect` ({0, 0}: square pixels;
// otherwise the shapes of the zoom modes are measured in display units, so that a picture
// keeping the source's pixels fills a frame of the source's size). False when the rectangles make
// no picture: an empty crop or output rectangle, a crop reaching outside the input, bars that leave
// no room for the picture, or a side longer than kMaxPictureSide.
bool ComputeConvertGeometry(int32_t in_width, int32_t in_height, PictureAspect in_aspect,
                            const RECT& crop_rect, const RECT& out_rect, int32_t zoom_mode,
                            ConvertGeometry* geometry, PictureAspect out_aspect = {});

}  // namespace rizuvira::filters
