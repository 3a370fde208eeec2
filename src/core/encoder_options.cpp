// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/encoder_options.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/number_text.h"

namespace rizuvira::core {

namespace {

bool IsX26x(std::string_view name) {
    return name == "libx264" || name == "libx265";
}

// Encoders of the MPEG family and its kin that take a fixed quantiser.
bool TakesQuantiser(std::string_view name) {
    static constexpr std::array<std::string_view, 8> kNames = {
        "mpeg4", "mpeg2video", "mpeg1video", "msmpeg4", "msmpeg4v2", "wmv2", "flv", "h263"};
    return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

// A whole number from `lowest` to `highest`, written as text; false for other text.
bool ReadSpeed(std::string_view text, int lowest, int highest) {
    size_t pos = 0;
    int64_t value = 0;
    if (!ReadInteger(text, &pos, &value) || pos != text.size()) return false;
    return value >= lowest && value <= highest;
}

}  // namespace

QualityScale QualityScaleOf(std::string_view name) {
    // x264's own default is 23. At 22 with its medium preset, a grainy 6 Mb/s MPEG-2 title
    // keeps an SSIM against its source of 0.9853 at 3.8 Mb/s: what a peer's default (22 with
    // the faster preset) reaches at the same size, 0.002 above x264's default at 13 % more.
    // x265 reaches the same look some 2 steps higher, VP9's scale is wider.
    if (name == "libx264") return {0, 51, 22};
    if (name == "libx265") return {0, 51, 24};
    if (name == "libvpx-vp9") return {0, 63, 32};
    if (name == "libvpx") return {4, 63, 10};
    if (name == "libsvtav1") return {1, 63, 35};
    if (TakesQuantiser(name)) return {1, 31, 4};
    return {};
}

bool EncoderKnowsPreset(std::string_view name, std::string_view preset) {
    if (preset.empty()) return false;
    if (IsX26x(name)) {
        static constexpr std::array<std::string_view, 10> kPresets = {
            "ultrafast", "superfast", "veryfast", "faster",   "fast",
            "medium",    "slow",      "slower",   "veryslow", "placebo"};
        return std::find(kPresets.begin(), kPresets.end(), preset) != kPresets.end();
    }
    if (name == "libvpx-vp9") return ReadSpeed(preset, -8, 8);
    if (name == "libvpx") return ReadSpeed(preset, -16, 16);
    if (name == "libsvtav1") return ReadSpeed(preset, 0, 13);
    return false;
}

int ApplyRateControl(const OutputSettings& settings, const AVCodec* codec, AVCodecContext* encoder,
                     AVDictionary** options) {
    const std::string_view name = codec->name;
    const std::string preset(FieldText(settings.EncoderPreset));
    if (EncoderKnowsPreset(name, preset)) {
        if (IsX26x(name) || name == "libsvtav1") {
            av_dict_set(options, "preset", preset.c_str(), 0);
        } else {
            av_dict_set(options, "deadline", "good", 0);
            av_dict_set(options, "cpu-used", preset.c_str(), 0);
        }
    }
    if (name == "libvpx-vp9") av_dict_set(options, "row-mt", "1", 0);

    const QualityScale scale = QualityScaleOf(name);
    if (settings.Quality == 0 || scale.highest == 0) return 0;
    const int quality = settings.Quality == kEncodersOwnQuality
                            ? scale.preferred
                            : std::clamp(settings.Quality, scale.lowest, scale.highest);
    if (TakesQuantiser(name)) {
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = quality * FF_QP2LAMBDA;
        return encoder->global_quality;
    }
    av_dict_set_int(options, "crf", quality, 0);
    if (name != "libvpx") {
        // The quality alone decides: no bit rate to aim at, and the encoder's own
        // distance between key pictures and its B-pictures, as its preset has them.
        encoder->bit_rate = 0;
        encoder->gop_size = -1;
        encoder->max_b_frames = -1;
    }
    return 0;
}

}  // namespace rizuvira::core
