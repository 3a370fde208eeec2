// SPDX-License-Identifier: GPL-2.0-or-later
#include "filters/video_geometry.h"

namespace rizuvira::filters {

namespace {

int32_t EvenUp(int32_t margin) {
    return (margin + 1) / 2 * 2;
}

}  // namespace

RECT FitPicture(int32_t zoom_mode, const RECT& frame, double crop_aspect) {
    switch (zoom_mode) {
        case kZoomKeepOriginal:
            if (!(crop_aspect > 0)) return frame;
            return FitAspect(static_cast<float>(crop_aspect), frame);
        case kZoom16x9:
            return FitAspect(1.7777778f, frame);
        case kZoom4x3:
            return FitAspect(1.3333334f, frame);
        default:
            return frame;
    }
}

bool ComputeConvertGeometry(int32_t in_width, int32_t in_height, PictureAspect in_aspect,
                            const RECT& crop_rect, const RECT& out_rect, int32_t zoom_mode,
                            ConvertGeometry* geometry, PictureAspect out_aspect) {
    ConvertGeometry g;
    g.in_width = in_width;
    g.in_height = in_height;
    g.crop_width = RectWidth(crop_rect);
    g.crop_height = RectHeight(crop_rect);
    g.out_width = RectWidth(out_rect);
    g.out_height = RectHeight(out_rect);
    if (in_width <= 0 || in_height <= 0 || g.crop_width <= 0 || g.crop_height <= 0 ||
        g.out_width <= 0 || g.out_height <= 0)
        return false;
    if (in_width > kMaxPictureSide || in_height > kMaxPictureSide ||
        g.out_width > kMaxPictureSide || g.out_height > kMaxPictureSide)
        return false;

    // A crop of the input's own size is not applied, wherever it lies.
    g.crop_on = g.crop_width != in_width || g.crop_height != in_height;
    if (g.crop_on) {
        g.crop = Margins{crop_rect.left, crop_rect.top, in_width - crop_rect.right,
                         in_height - crop_rect.bottom};
        if (g.crop.left < 0 || g.crop.top < 0 || g.crop.right < 0 || g.crop.bottom < 0)
            return false;
    }

    // Margins are measured from the output rectangle's own corner.
    if (in_aspect.x <= 0 || in_aspect.y <= 0) in_aspect = {in_width, in_height};
    RECT picture =
        FitPicture(zoom_mode, out_rect,
                   CropDisplayAspect(in_width, in_height, in_aspect, g.crop_width, g.crop_height));
    if (out_aspect.x > 0 && out_aspect.y > 0 &&
        int64_t{out_aspect.x} * g.out_height != int64_t{out_aspect.y} * g.out_width &&
        zoom_mode != kZoomFullScreen) {
        // Output pixels of another shape: fit in display units, then back to pixels. A
        // shape is display width over height; in output pixels it is that over the pixel
        // aspect (out_aspect.x · H) / (out_aspect.y · W).
        const long double pixel_aspect = static_cast<long double>(out_aspect.x) * g.out_height /
                                         (static_cast<long double>(out_aspect.y) * g.out_width);
        long double shape = 0;
        if (zoom_mode == kZoomKeepOriginal)
            shape = CropDisplayAspect(in_width, in_height, in_aspect, g.crop_width, g.crop_height);
        else if (zoom_mode == kZoom16x9)
            shape = 16.0L / 9.0L;
        else if (zoom_mode == kZoom4x3)
            shape = 4.0L / 3.0L;
        if (shape > 0) {
            picture = FitAspect(shape / pixel_aspect, out_rect);
            // A rounding away from the whole frame is no reason for a bar.
            const long double frame_shape = static_cast<long double>(g.out_width) / g.out_height;
            const long double off = shape / pixel_aspect / frame_shape;
            if (off > 0.998L && off < 1.002L) picture = out_rect;
        }
    }
    g.pad_on = RectWidth(picture) != g.out_width || RectHeight(picture) != g.out_height;
    if (g.pad_on) {
        g.pad = Margins{EvenUp(picture.left - out_rect.left), EvenUp(picture.top - out_rect.top),
                        EvenUp(out_rect.right - picture.right),
                        EvenUp(out_rect.bottom - picture.bottom)};
        if (g.pad.left < 0 || g.pad.top < 0 || g.pad.right < 0 || g.pad.bottom < 0 ||
            g.interior_width() <= 0 || g.interior_height() <= 0)
            return false;
    }

    g.scale_on = g.crop_width + g.pad.left + g.pad.right != g.out_width ||
                 g.crop_height + g.pad.top + g.pad.bottom != g.out_height;
    *geometry = g;
    return true;
}

}  // namespace rizuvira::filters
