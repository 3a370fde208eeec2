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

// `band_scale_x/y` map the source band into the output picture (1 for an
// output of the source's size).
DecodedOutput DecodeOutput(const std::string& path, int source_width, int source_height);

}  // namespace rizuvira::e2e
