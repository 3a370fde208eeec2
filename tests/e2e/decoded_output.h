// Decodes a converted file with libavformat and libavcodec (an independent
// reader) into what the end-to-end tests check: the frame number each picture
// carries in its band, whether it flashes, its time, and the sound as mono
// float samples.
#pragma once

#include <string>
#include <vector>

namespace rizuvira::e2e {

struct DecodedPicture {
    double time_s;
    int band;      // frame number read from the band, -1 when unreadable
    bool flash;
    double bottom_luma;  // mean luma of the lower sixth (where subtitles show)
    double top_luma;     // mean luma of the top tenth (bars, or the background)
};

// Where the source picture lands in the output: the crop rectangle of the
// source and the rectangle it fills in the output. Empty: the whole source
// fills the whole output.
struct OutputMapping {
    double crop_x0 = 0, crop_y0 = 0, crop_width = 0, crop_height = 0;
    double out_x0 = 0, out_y0 = 0, out_width = 0, out_height = 0;
};

struct DecodedOutput {
    bool ok = false;
    std::string error;
    std::string container;
    std::string video_codec, audio_codec;
    int width = 0, height = 0;
    double frame_rate = 0;
    std::vector<DecodedPicture> pictures;
    int sample_rate = 0;
    int channels = 0;
    double audio_start_s = 0;
    std::vector<float> mono;  // first channel
};

DecodedOutput DecodeOutput(const std::string& path, int source_width, int source_height,
                           OutputMapping mapping = {});

}  // namespace rizuvira::e2e
