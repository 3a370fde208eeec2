// SPDX-License-Identifier: GPL-2.0-or-later
// A plain MPEG file offered as a disc of one title: an MPEG program stream
// (.mpg, .vob), a transport stream (.ts, .m2ts; of several programs, the
// first with video), or a bare MPEG-1/2 video stream (.m2v). Pictures in
// MPEG-1/2 or H.264, sound in MPEG audio, AC-3, DTS, LPCM or AAC. The
// splitter reads the file itself, and the title's record describes what the
// splitter finds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "dvd/dvd_access.h"

namespace rizuvira::engine {

// Whether `path` is a plain file to read as above: a regular file that is
// not a disc image (ISO 9660 or UDF), whatever its name.
bool IsMpegFilePath(const std::filesystem::path& path);

// "<path>: No such file or directory" (or the system's other reason) when
// nothing can be found at `path`; empty when something is there.
std::string MissingSourceText(const std::filesystem::path& path);

// The line for a plain file the splitter does not read.
std::string UnreadableFileText(const std::filesystem::path& path);

// Fills `disc` with one title: the file's duration and its audio and
// subtitle streams with their whole track ids. Languages are unknown, except
// for a Blu-ray clip, whose clip information (BDMV/CLIPINF) names its
// streams' languages, codings and sound layouts, and its graphics
// subtitles. False when the splitter cannot read the file or finds nothing
// to convert.
bool ProbeMpegFile(const std::filesystem::path& path, dvd::TitleTable* disc);

// The size of the pictures of the file's first video stream, as its
// sequence header gives it; false when it has none the splitter reads.
bool FilePictureSize(const std::filesystem::path& path, int32_t* width, int32_t* height);

}  // namespace rizuvira::engine
