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

    friend bool operator==(const OutputSettings&, const OutputSettings&) = default;
};

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
    OutputSettings Settings;

    friend bool operator==(const OutputProfile&, const OutputProfile&) = default;
};

// Fixed layouts, no padding: the records are copied byte for byte.
static_assert(sizeof(OutputSettings) == 68);
static_assert(sizeof(OutputProfile) == 1520);
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
// 29970 → 30000/1001, otherwise FrameRate/1000 reduced (25000 → 25/1,
// 12500 → 25/2). {0, 1} for a rate of 0 or less.
struct FrameRateFraction {
    int32_t num;
    int32_t den;
};
FrameRateFraction ExactFrameRate(int32_t frame_rate_x1000);

}  // namespace rizuvira::core
