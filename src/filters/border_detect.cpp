// SPDX-License-Identifier: GPL-2.0-or-later
#include "filters/border_detect.h"

#include <algorithm>

namespace rizuvira::filters {

void BorderDetector::AddPicture(const uint8_t* luma, int stride) {
    if (!luma || width_ <= 0 || height_ <= 0 || stride < width_) return;
    const auto row_black = [&](int y) {
        const uint8_t* row = luma + static_cast<std::ptrdiff_t>(y) * stride;
        int64_t sum = 0;
        for (int x = 0; x < width_; ++x) sum += row[x];
        return sum <= int64_t{kBlackLimit} * width_;
    };
    int top = 0;
    while (top < height_ && row_black(top)) ++top;
    if (top == height_) return;  // all black: a dark scene tells nothing
    int bottom = height_;
    while (bottom > top && row_black(bottom - 1)) --bottom;

    // Columns are measured over the rows that are not black only, so a letterbox's bars do
    // not darken them.
    const int rows = bottom - top;
    const auto column_black = [&](int x) {
        int64_t sum = 0;
        for (int y = top; y < bottom; ++y) sum += luma[static_cast<std::ptrdiff_t>(y) * stride + x];
        return sum <= int64_t{kBlackLimit} * rows;
    };
    int left = 0;
    while (left < width_ && column_black(left)) ++left;
    if (left == width_) return;
    int right = width_;
    while (right > left && column_black(right - 1)) --right;

    if (used_ == 0) {
        box_ = {left, top, right, bottom};
    } else {
        box_.left = std::min(box_.left, left);
        box_.top = std::min(box_.top, top);
        box_.right = std::max(box_.right, right);
        box_.bottom = std::max(box_.bottom, bottom);
    }
    ++used_;
}

std::optional<CropBox> BorderDetector::Result() const {
    if (used_ == 0) return std::nullopt;
    CropBox even = box_;
    even.left &= ~1;
    even.top &= ~1;
    even.right = std::min(width_ & ~1, (even.right + 1) & ~1);
    even.bottom = std::min(height_ & ~1, (even.bottom + 1) & ~1);
    if (even.right <= even.left || even.bottom <= even.top) return std::nullopt;
    return even;
}

}  // namespace rizuvira::filters
