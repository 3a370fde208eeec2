// SPDX-License-Identifier: GPL-2.0-or-later
// Output profiles: one entry of the catalogue read from Format.xml, and the
// conversion settings record that the writer, the sink and the graph use.
//
// Both are plain fixed-size records with inline text; they are copied whole.
// A record is all zero (empty texts, zero numbers) until it is filled.
//
// Texts are UTF-8. Every text field holds at most its capacity minus one
// byte plus the terminator; longer text is cut at a character boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace rizuvira::core {

struct OutputSettings {
    int32_t HasVideo;         // 0 or 1
    int32_t Width;            // pixels
    int32_t Height;           // pixels
    int32_t VideoBitRate;     // bits per second
    int32_t FrameRate;        // frames per second × 1000; 23976 and 29970 mean
                              // 24000/1001 and 30000/1001
    char VideoCodecName[16];  // FFmpeg encoder name
    int32_t HasAudio;         // 0 or 1
    int32_t SampleRate;       // Hz
    int32_t Channel;          // channel count
    int32_t AudioBitRate;     // bits per second
    char AudioCodecName[16];  // FFmpeg encoder name
    // Constant quality in the video encoder's own scale (x264/x265/VP9 CRF,
    // the quantiser of the MPEG encoders); 0 codes to VideoBitRate instead,
    // kEncodersOwnQuality to the quality that suits the encoder best.
    int32_t Quality;
    // The encoder's speed: an x264/x265 preset name ("medium") or a VP9/VP8
    // cpu-used number ("4"); empty, or a name the encoder does not know: its
    // own default.
    char EncoderPreset[16];
    // Display aspect of the whole output picture; 0 (either): square pixels.
    // Set where the picture keeps the source's pixels (ResolveSourceValues).
    int32_t AspectX;
    int32_t AspectY;

    friend bool operator==(const OutputSettings&, const OutputSettings&) = default;
};

// Width, Height and FrameRate may take the source's: the value 0, written
// "source" in a catalogue file. Every such value must be resolved
// (ResolveSourceValues) before a writer opens the settings.
inline constexpr int32_t kSameAsSource = 0;
// OutputSettings::Quality: constant quality at what suits the encoder (QualityScaleOf), for
// a quality chosen before the encoder is known.
inline constexpr int32_t kEncodersOwnQuality = -1;
inline constexpr const char* kSameAsSourceKey = "source";

inline bool TakesSourceSize(const OutputSettings& s) {
    return s.HasVideo != 0 && (s.Width == kSameAsSource || s.Height == kSameAsSource);
}
inline bool TakesSourceFrameRate(const OutputSettings& s) {
    return s.HasVideo != 0 && s.FrameRate == kSameAsSource;
}

// What the source of a conversion shows: its picture (already cropped, when
// a crop applies), the display aspect of that picture, and the rate its
// pictures come at once deinterlacing or inverse telecine has run.
struct SourcePicture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t aspect_x = 0;  // display aspect; 0: square pixels
    int32_t aspect_y = 0;
    int32_t frame_rate_x1000 = 0;  // 0: unknown
};

// `settings` with every "source" value taken from `source`: the size becomes
// the source's (cut to even sides) with its display aspect written as the
// file's picture aspect, the frame rate the source's. A source that does not
// know a value leaves the fallback: 720x480 square pixels, 29.97 fps. A
// fixed size keeps square pixels.
OutputSettings ResolveSourceValues(const OutputSettings& settings, const SourcePicture& source);

struct OutputProfile {
    int32_t Id;         // position of the Profile element in the file, from 0
    char FormatExt[8];  // output file extension as written, e.g. ".mp4"
    char ProfileName[160];
    // Choice lists for the custom output settings (see choice_list.h).
    char Resolutions[128];
    char FrameRates[128];
    char VideoBitRates[320];
    char AudioBitRates[128];
    char SampleRates[128];
    char Channels[64];
    char VideoCodecs[256];
    char AudioCodecs[128];
    char Qualities[128];       // keys are Quality values; "0" codes to the bit rate
    char EncoderPresets[128];  // keys are EncoderPreset names
    OutputSettings Settings;

    friend bool operator==(const OutputProfile&, const OutputProfile&) = default;
};

// Fixed layouts, no padding: the records are copied byte for byte.
static_assert(sizeof(OutputSettings) == 96);
static_assert(sizeof(OutputProfile) == 1804);
static_assert(std::is_trivially_copyable_v<OutputSettings>);
static_assert(std::is_trivially_copyable_v<OutputProfile>);
static_assert(std::is_standard_layout_v<OutputProfile>);

// Copies `text` into a fixed field of `capacity` bytes, cutting it at a
// UTF-8 character boundary so that it always ends with a terminator. Never
// writes past field[capacity - 1].
void CopyToField(char* field, size_t capacity, std::string_view text);

template <size_t N>
void SetField(char (&field)[N], std::string_view text) {
    CopyToField(field, N, text);
}

// The text of a field up to its terminator (or its capacity).
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
    size_t length = 0;
    while (length < N && field[length] != '\0') ++length;
    return std::string_view(field, length);
}

// Reads a decimal integer the way the catalogue and the settings window do:
// optional leading blanks, an optional sign, then digits up to the first
// other character. No digits read as 0; values beyond int32 are clamped.
int32_t ParseLeadingInt(std::string_view text);

// Frame rate of a record as an exact fraction: 23976 → 24000/1001,
// 29970 → 30000/1001, 59940 → 60000/1001, otherwise FrameRate/1000 reduced (25000 → 25/1,
// 12500 → 25/2). {0, 1} for a rate of 0 or less.
struct FrameRateFraction {
    int32_t num;
    int32_t den;
};
FrameRateFraction ExactFrameRate(int32_t frame_rate_x1000);
// The record's value for a picture period: the NTSC rates as 23976, 29970
// and 59940, others to the nearest 1/1000 frame per second; 0 for none.
int32_t FrameRateForPeriod(int64_t period_100ns);

}  // namespace rizuvira::core
