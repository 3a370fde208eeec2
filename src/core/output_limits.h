// SPDX-License-Identifier: GPL-2.0-or-later
// The ranges an output setting must lie in, whoever sets it: a profile of a
// catalogue file, a command-line option, the custom output settings window.
// One check serves them all, so a value refused as an option is refused in
// a catalogue too.
#pragma once

#include <cstdint>
#include <string>

#include "core/output_profile.h"

namespace rizuvira::core {

enum class OutputField {
    kWidth,         // pixels, even, 16..4096
    kHeight,        // pixels, even, 16..4096
    kFrameRate,     // frames per second × 1000, 1000..120000
    kVideoBitRate,  // bits per second, 1000..200 000 000
    kSampleRate,    // Hz, 8000..192000
    kChannels,      // 1..8
    kAudioBitRate,  // bits per second, 1000..2 000 000
};

// The catalogue's element name of a field: "Width", "FrameRate", "Channel" ...
const char* OutputFieldName(OutputField field);

// Empty when `value` suits `field`; else why not, for a message:
// "must be from 1000 to 120000 (frames per second × 1000)".
std::string OutputValueProblem(OutputField field, int64_t value);

// The first field of `settings` whose value does not suit it, as
// `FrameRate="1": must be from ...`; empty when every field suits. Only the
// fields of a stream the settings have are looked at, and a bit rate of 0
// (the encoder's own choice, as lossless sound has) is accepted.
std::string OutputSettingsProblem(const OutputSettings& settings);

}  // namespace rizuvira::core
