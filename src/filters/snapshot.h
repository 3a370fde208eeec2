// SPDX-License-Identifier: GPL-2.0-or-later
// Snapshots: the picture a preview shows, saved as a BMP, JPEG, GIF or PNG file written by
// libavcodec's image encoders. The caller hands the picture over as a device-independent
// bitmap, the way the renderer's current-image request gives it out: a BITMAPINFOHEADER
// (24 bits per pixel, uncompressed, no colour table) immediately followed by the pixel rows
// (B, G, R per pixel, each row padded to 4 bytes, bottom row first for a positive height,
// top row first for a negative one).
//
// Every failure is silent toward the user and leaves no file behind; the functions still
// say whether a file was written, for callers that want to know.
//
// Pure functions: any thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace rizuvira::filters {

enum class SnapshotType { kUnknown, kBmp, kJpeg, kGif, kPng };

// The encoder the file name's extension chooses, compared without regard to case: .bmp,
// .dib and .rle write BMP; .jpg, .jpeg, .jpe and .jfif JPEG; .gif GIF; .png PNG (the
// command line's choice; the main window stores BMP, JPEG or GIF). Anything else,
// including no extension, is kUnknown.
SnapshotType SnapshotTypeFromPath(const std::filesystem::path& path);

// Encodes `dib` and writes it to `path`. Writes nothing (and returns false) for an unknown
// extension, a malformed bitmap, a failed encoder, or a file that cannot be created or
// written (a partly written file is removed). The folder is neither created nor checked.
// JPEG quality and the GIF palette (3-3-2 RGB) are the encoders' defaults.
bool SaveDibAsImage(const std::vector<uint8_t>& dib, const std::filesystem::path& path);

// The snapshot file of the main window: `folder`, a separator, the local time `now` as
// "%Y-%m-%d %H-%M-%S", ".", and `image_type` as stored ("BMP", "JPEG", "GIF"). The folder
// text is used as it is; a folder ending in a separator gives two in a row.
std::string SnapshotFileName(const std::string& folder, const std::string& image_type,
                             std::time_t now);

// Builds a 24-bit DIB (bottom row first) from RGB24 rows, top row first, 3 bytes per pixel.
std::vector<uint8_t> MakeDibFromRgb(const uint8_t* rgb, int width, int height);

}  // namespace rizuvira::filters
