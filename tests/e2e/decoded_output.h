// SPDX-License-Identifier: GPL-2.0-or-later
// Decodes a converted file with libavformat and libavcodec (an independent
// reader) into what the end-to-end tests check: the frame number each picture
// carries in its band, whether it flashes, its time, and the sound as mono
// float samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rizuvira::e2e {

struct DecodedPicture {
    double time_s;
    int band;  // frame number read from the band, -1 when unreadable
    bool flash;
    double bottom_luma;  // mean luma of the lower sixth (where subtitles show)
    double top_luma;     // mean luma of the top tenth (bars, or the background)
};

// Where the source picture lands in the output: the crop rectangle of the
// source and the rectangle it fills in the output. Empty: the whole source
// fills the rectangle the first picture shows it in (ShownRect), so bars
// around a picture kept at its shape are found by themselves.
struct OutputMapping {
    double crop_x0 = 0, crop_y0 = 0, crop_width = 0, crop_height = 0;
    double out_x0 = 0, out_y0 = 0, out_width = 0, out_height = 0;
};

// The part of the output frame a sample-disc picture fills, in pixels.
struct ShownRect {
    int x0 = 0, y0 = 0, width = 0, height = 0;
};

struct DecodedOutput {
    bool ok = false;
    std::string error;
    std::string container;
    std::string video_codec, audio_codec;
    int width = 0, height = 0;
    double frame_rate = 0;
    double sample_aspect = 0;  // the stream's pixel aspect; 0 when unset
    ShownRect shown;           // where the first picture lies inside the bars
    std::vector<DecodedPicture> pictures;
    std::vector<uint8_t> last_luma;  // the last picture's luma, width x height, packed
    int sample_rate = 0;
    int channels = 0;
    double audio_start_s = 0;
    std::vector<float> mono;  // first channel
};

// Where a sample-disc picture lies in a frame with black bars around it: the
// extent of what is brighter than black along the row at a quarter of the
// height (the grey background) and the column at the middle (background,
// band and colour bars, none of them black at their ends).
ShownRect FindShownRect(const uint8_t* luma, int width, int height, int stride);

// Where the beep of the `tone_hz` track that should start near `around_s`
// rises: the first 10 ms window from around_s - 0.1 s in which that tone is
// above halfway between its level 0.3 s after around_s and four times that
// (the beep), whatever a mix did to the track's level; -1 when none. The
// tone filter ignores other tracks' sound around an item boundary.
double BeepRise(const DecodedOutput& out, double around_s, double tone_hz);

// The sound is the file's default audio stream, or its `audio_track`th
// audio stream (from 0) when that is 0 or more.
DecodedOutput DecodeOutput(const std::string& path, int source_width, int source_height,
                           OutputMapping mapping = {}, int audio_track = -1);

// Every packet of every stream of a file, read and decoded: what a player
// meets from its first byte to its last.
struct WholeDecode {
    bool opened = false;
    int video_frames = 0;
    double video_span_s = 0;  // from the first picture's time to the last one's end
    int64_t audio_samples = 0;
    int audio_rate = 0;
    std::vector<std::string> errors;  // what libavformat and libavcodec reported
};
WholeDecode DecodeWhole(const std::string& path);

}  // namespace rizuvira::e2e
