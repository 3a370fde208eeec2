// A plain MPEG program or transport stream file (.vob, .mpg, .mpeg, .ts,
// .m2ts) offered as a disc of one title: the splitter reads the file
// itself, and the title's record describes what the splitter finds.
#pragma once

#include <filesystem>

#include "dvd/dvd_access.h"

namespace rizuvira::engine {

// Whether `path` is a regular file with one of the extensions above (any
// case).
bool IsMpegFilePath(const std::filesystem::path& path);

// Fills `disc` with one title: the file's duration and its audio and
// subtitle streams with their whole 16-bit ids (languages unknown). False
// when the splitter cannot read the file or finds nothing to convert.
bool ProbeMpegFile(const std::filesystem::path& path, DvdDiscInfo* disc);

}  // namespace rizuvira::engine
