// SPDX-License-Identifier: GPL-2.0-or-later
// The automatic crop's measurement of one title: a paused preview graph is sought to
// kBorderProbePictures moments spread evenly over the title, and the picture shown at each
// goes to a BorderDetector.
//
// Application thread; blocks while it decodes (each picture is waited for at most
// kBorderProbeWait, a picture that does not come is left out).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "filters/border_detect.h"

namespace rizuvira::engine {

inline constexpr int kBorderProbePictures = 16;
inline constexpr std::chrono::seconds kBorderProbeWait{5};

// Title `title` (from 0) of the open disc `dvd_handle`, or, when `file` is given, the plain
// MPEG file (its length `file_length_ms` as measured from its time stamps). None when the
// title cannot be played or shows nothing but black.
std::optional<filters::CropBox> MeasureTitleBorders(int32_t dvd_handle, int title,
                                                    const std::filesystem::path& file = {},
                                                    int64_t file_length_ms = 0);

}  // namespace rizuvira::engine
