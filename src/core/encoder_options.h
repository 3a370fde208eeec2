// SPDX-License-Identifier: GPL-2.0-or-later
// How the writer tells a video encoder to spend its bits: to a bit rate, or to a constant
// quality (OutputSettings::Quality) in the encoder's own scale, and how hard it works
// (OutputSettings::EncoderPreset).
//
//   libx264, libx265   crf 0..51; preset ultrafast .. placebo
//   libvpx-vp9         crf 0..63 with no bit rate (b:v 0); cpu-used -8..8 (deadline good)
//   libvpx             crf 4..63, the bit rate its ceiling; cpu-used -16..16
//   libsvtav1          crf 1..63 with no bit rate; preset 0..13
//   mpeg4, mpeg2video, mpeg1video, msmpeg4, wmv2, flv, h263
//                      a fixed quantiser (qscale) 1..31; no speed choice
//
// A quality beyond the encoder's range is brought into it; kEncodersOwnQuality takes the
// encoder's preferred one; a preset the encoder does not know
// is left out (the encoder's own default stands), so a list of x264 presets kept after a switch
// to VP9 does no harm. Encoders not listed code to the bit rate whatever the quality says.
//
// Pure functions of their arguments, any thread.
#pragma once

#include <cstdint>
#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "core/output_profile.h"

namespace rizuvira::core {

struct QualityScale {
    int32_t lowest = 0;  // 0 and 0: the encoder takes no constant quality
    int32_t highest = 0;
    int32_t preferred = 0;  // a sensible default: a file that looks like its source
};

// The quality scale of encoder `name` (an FFmpeg encoder name).
QualityScale QualityScaleOf(std::string_view name);

// Whether `preset` names a speed that encoder `name` knows.
bool EncoderKnowsPreset(std::string_view name, std::string_view preset);

// Sets `encoder` (allocated for `codec`, not yet opened) and `options` (for avcodec_open2) for
// the rate control and speed the settings ask for. The caller has set the bit rate, picture
// size and frame rate. Returns the picture quality (lambda) each frame must carry for a
// fixed-quantiser encoder, 0 when none.
int ApplyRateControl(const OutputSettings& settings, const AVCodec* codec, AVCodecContext* encoder,
                     AVDictionary** options);

}  // namespace rizuvira::core
