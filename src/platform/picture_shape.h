// SPDX-License-Identifier: GPL-2.0-or-later
// The shape a picture is shown at, and where a picture of a given shape lands in a rectangle.
//
// A video type declares the display aspect of its whole picture (a VIDEOINFOHEADER2's picture
// aspect, carried from the stream's sequence header); its pixels are then
// (aspect_x * height) / (aspect_y * width) wide. The video converter, the renderers and the
// editor all place pictures with these functions, so one picture keeps one shape everywhere.
// Pure arithmetic, any thread.
#pragma once

#include <cstdint>

#include "platform/format_types.h"
#include "platform/media_type.h"

namespace rizuvira::platform {

struct PictureAspect {
    int32_t x = 0;  // display width : display height of the whole picture
    int32_t y = 0;
};

// The display aspect a video type declares: the picture aspect of a VideoInfo2 or MPEG2Video
// block when it names one, else the picture's own width : height (square pixels). {0, 0}
// when the type carries no bitmap header or no picture size.
PictureAspect DeclaredAspect(const AM_MEDIA_TYPE& type);

// Display aspect (shown width / shown height) of a crop_width x crop_height part of a
// frame_width x frame_height picture shown whole at `aspect`: the crop's width times the
// pixel aspect, over its height. 0 when any size or the aspect is not positive.
double CropDisplayAspect(int32_t frame_width, int32_t frame_height, PictureAspect aspect,
                         int32_t crop_width, int32_t crop_height);

// The largest rectangle of `ratio` (width / height) centred in `frame`: when ratio > W / H the
// width stays and top and bottom each move in by (H - trunc(W / ratio)) / 2, otherwise left
// and right each move in by (W - trunc(ratio * H)) / 2 (integer halving). An empty frame or a
// ratio that is not positive gives the frame itself.
RECT FitAspect(long double ratio, const RECT& frame);

}  // namespace rizuvira::platform
