// SPDX-License-Identifier: GPL-2.0-or-later
// The options of `rizuvira-cli convert`, parsed and checked: what to
// convert, how, and where. Everything here is plain data; parsing touches
// nothing outside the arguments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/conversion_request.h"

namespace rizuvira::cli {

// The conversion asked for, and how the command line shows its run.
struct ConvertOptions : app::ConversionRequest {
    bool json = false;  // progress, messages and finished files as JSON lines
    bool quiet = false;
    bool skip_existing = false;  // leave out the items whose output file exists
    int verbose = 0;             // -v: the plan and each file's times; -vv: FFmpeg's warnings too
    std::string log_file;        // a copy of the messages and progress lines, appended
};

// Whether `-o PATH` names the output file rather than its folder: PATH is not
// a folder, and ends in a media file's extension (.mp4, .mkv, ...) or is a
// file that exists.
bool NamesOutputFile(const std::string& path);

// Parses the arguments after "convert". False with a one-line reason.
bool ParseConvertOptions(const std::vector<std::string>& args, ConvertOptions* options,
                         std::string* error);

// "1,3-4" or "all" into indexes from 0 (sorted, without repeats); "all"
// gives an empty list. False when malformed or out of 1..99.
bool ParseTitleList(const std::string& text, std::vector<int>* titles);

}  // namespace rizuvira::cli
