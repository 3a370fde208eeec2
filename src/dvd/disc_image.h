// SPDX-License-Identifier: GPL-2.0-or-later
// What a disc image (or the disc in a drive) is, read from its volume
// descriptors and root folder, for the message when it does not open as a
// DVD: a Blu-ray image, or an image without the UDF file system through
// which a DVD-Video image is read.
#pragma once

#include <string>

namespace rizuvira::dvd {

// The words after the image's path when it is not a DVD-Video image:
// " is a Blu-ray image, not a DVD ..." or " is an image without a DVD-Video
// file system ..."; empty when it has a UDF file system holding
// VIDEO_TS/VIDEO_TS.IFO, or when it cannot be read at all (other checks
// name those).
std::string ImageKindProblem(const std::string& path);

}  // namespace rizuvira::dvd
