// SPDX-License-Identifier: GPL-2.0-or-later
// How a conversion cleans up the source picture before it is converted: deinterlacing (or
// inverse telecine) and the automatic crop of black borders. One record for the run, kept
// beside the current edit settings and the watermark; the conversion graph turns it into
// its stages.
#pragma once

#include <cstdint>
#include <string_view>

namespace rizuvira::core {

enum class DeinterlaceMode : int32_t {
    kAuto = 0,  // by the pictures' coding flags and a measurement of the first pictures
    kOn = 1,    // every picture goes through the deinterlacer
    kOff = 2,   // pictures stay as the disc holds them
};

struct PictureCleanup {
    DeinterlaceMode deinterlace = DeinterlaceMode::kAuto;
    // Measure the black borders of each title and crop them (instead of the edit
    // settings' crop rectangle).
    bool auto_crop = false;

    friend bool operator==(const PictureCleanup&, const PictureCleanup&) = default;
};

// "auto", "on" or "off"; false for anything else.
inline bool ParseDeinterlaceMode(std::string_view text, DeinterlaceMode* mode) {
    if (text == "auto")
        *mode = DeinterlaceMode::kAuto;
    else if (text == "on")
        *mode = DeinterlaceMode::kOn;
    else if (text == "off")
        *mode = DeinterlaceMode::kOff;
    else
        return false;
    return true;
}

}  // namespace rizuvira::core
