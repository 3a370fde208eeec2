// SPDX-License-Identifier: GPL-2.0-or-later
// The texts of the properties window for the title loaded in the preview: the first video and
// the first audio stream of its stream list, in words. Rows of an absent stream stay empty.
#pragma once

#include <string>

#include "engine/preview_player.h"

namespace rizuvira::app {

struct PropertiesTexts {
    std::string resolution;         // "720x480"
    std::string video_bitrate;      // "9800.00 kbps"
    std::string frame_rate;         // "29.970 fps"; empty when no frame duration is known
    std::string aspect_ratio;       // always empty (hidden row)
    std::string audio_bitrate;      // "192.000 kbps"
    std::string audio_sample_rate;  // "48000 Hz"
    std::string channels;           // "Channel Mono", "Channels Stereo", "5.1", or empty
};

PropertiesTexts MakePropertiesTexts(const engine::StreamInfoList& streams);

}  // namespace rizuvira::app
