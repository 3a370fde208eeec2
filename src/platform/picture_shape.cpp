// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/picture_shape.h"

#include <cmath>

#include "platform/uuids.h"

namespace rizuvira::platform {

PictureAspect DeclaredAspect(const AM_MEDIA_TYPE& type) {
    const BITMAPINFOHEADER* header = GetBitmapInfoHeader(type);
    if (!header || header->biWidth <= 0 || header->biHeight == 0) return {};
    const int32_t width = header->biWidth;
    const int32_t height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    if ((type.formattype == FORMAT_VideoInfo2 || type.formattype == FORMAT_MPEG2Video) &&
        type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
        const DWORD x = info->dwPictAspectRatioX;
        const DWORD y = info->dwPictAspectRatioY;
        if (x > 0 && y > 0 && x <= INT32_MAX && y <= INT32_MAX)
            return {static_cast<int32_t>(x), static_cast<int32_t>(y)};
    }
    return {width, height};
}

double CropDisplayAspect(int32_t frame_width, int32_t frame_height, PictureAspect aspect,
                         int32_t crop_width, int32_t crop_height) {
    if (frame_width <= 0 || frame_height <= 0 || aspect.x <= 0 || aspect.y <= 0 ||
        crop_width <= 0 || crop_height <= 0)
        return 0;
    // Every product is exact in a double, so square pixels give exactly crop_width / crop_height.
    return static_cast<double>(crop_width) * aspect.x * frame_height /
           (static_cast<double>(crop_height) * aspect.y * frame_width);
}

RECT FitAspect(long double ratio, const RECT& frame) {
    const LONG width = RectWidth(frame);
    const LONG height = RectHeight(frame);
    if (width <= 0 || height <= 0 || !(ratio > 0)) return frame;
    if (ratio > static_cast<long double>(width) / height) {
        const auto picture_height = static_cast<LONG>(std::trunc(width / ratio));
        const LONG inset = (height - picture_height) / 2;
        return RECT{frame.left, frame.top + inset, frame.right, frame.bottom - inset};
    }
    const auto picture_width = static_cast<LONG>(std::trunc(height * ratio));
    const LONG inset = (width - picture_width) / 2;
    return RECT{frame.left + inset, frame.top, frame.right - inset, frame.bottom};
}

}  // namespace rizuvira::platform
