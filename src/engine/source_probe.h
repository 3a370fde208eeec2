// SPDX-License-Identifier: GPL-2.0-or-later
// What a conversion's source shows, found before its file is opened, for profiles whose size
// or frame rate is the source's: the first pictures of the title (or plain file) play, as fast
// as they decode, through the deinterlacer set up as the conversion sets it up (telecined film
// allowed back to its own rate) into a surface that only looks at them.
//
//  - size and display aspect: of the first picture;
//  - rate: 23.976 when the deinterlacer matches telecined film back into its pictures, or when
//    the pictures come at film rate on average (film coded with repeated fields); otherwise the
//    rate the stream declares, or, when it declares none, the pictures' own average.
//
// Application thread; blocks while it decodes, at most kSourceProbeWait for the pictures.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>

#include "core/output_profile.h"
#include "core/picture_cleanup.h"

namespace rizuvira::engine {

// Pictures looked at: enough for the deinterlacer's decision and an average beyond it.
inline constexpr int kSourceProbePictures = 96;
inline constexpr std::chrono::seconds kSourceProbeWait{10};

// Title `title` (from 0) of the open disc `dvd_handle`, or, when `file` is given, the plain
// MPEG file (its length `file_length_ms`). All zero when nothing could be played; a value the
// source does not show stays 0.
core::SourcePicture ProbeSourcePicture(int32_t dvd_handle, int title,
                                       const std::filesystem::path& file, int64_t file_length_ms,
                                       core::DeinterlaceMode deinterlace, int threads);

}  // namespace rizuvira::engine
