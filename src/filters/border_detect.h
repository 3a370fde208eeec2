// SPDX-License-Identifier: GPL-2.0-or-later
// Black border detection for the automatic crop: finds the rectangle of a title's pictures
// that holds anything but black, over several pictures sampled across the title.
//
// A row or column is black when its mean luma is at most kBlackLimit (limited-range black is
// 16; coding noise lifts it a little). Each picture gives the box of its rows and columns that
// are not black; a picture with none (a dark scene, a fade) is left out. The result is the
// smallest box holding every picture's box, widened to even edges, so the crop never cuts
// into the picture.
//
// Plain object: one thread at a time.
#pragma once

#include <cstdint>
#include <optional>

namespace rizuvira::filters {

struct CropBox {
    int left = 0;    // first column kept
    int top = 0;     // first row kept
    int right = 0;   // one past the last column kept
    int bottom = 0;  // one past the last row kept
    friend bool operator==(const CropBox&, const CropBox&) = default;
};

class BorderDetector {
public:
    static constexpr int kBlackLimit = 24;

    BorderDetector(int width, int height) : width_(width), height_(height) {}

    // Adds one picture's luma plane (`width` x `height` bytes, rows `stride` apart).
    void AddPicture(const uint8_t* luma, int stride);

    // Pictures that showed something other than black.
    int pictures_used() const { return used_; }
    // The box to keep; none when no picture showed anything.
    std::optional<CropBox> Result() const;

private:
    const int width_;
    const int height_;
    int used_ = 0;
    CropBox box_;
};

}  // namespace rizuvira::filters
