// SPDX-License-Identifier: GPL-2.0-or-later
// Reads media files back with the ffmpeg command-line tools (an independent
// reader): ffprobe for containers, streams and packets, ffmpeg for decoded
// sound.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rizuvira::core::test {

struct ProbedStream {
    std::string codec_type;  // "video" or "audio"
    std::string codec_name;
    std::string pix_fmt;
    int width = 0;
    int height = 0;
    int sample_rate = 0;
    int channels = 0;
    int frame_rate_num = 0;  // r_frame_rate
    int frame_rate_den = 1;
    // From the packets: how many, the earliest start and the latest end.
    int64_t packets = 0;
    double start_s = 0;
    double end_s = 0;
    double longest_packet_s = 0;
    std::vector<double> packet_pts_s;  // in file order
};

struct ProbedFile {
    std::string format_name;
    std::vector<ProbedStream> streams;
    const ProbedStream* Find(const std::string& codec_type) const;
};

// `text` quoted for the shell.
std::string ShellQuote(const std::string& text);

// Runs a shell command; its standard output, or nothing when it fails.
std::optional<std::string> RunCapture(const std::string& command);

std::optional<ProbedFile> Probe(const std::filesystem::path& file);

// Decodes the first audio stream to interleaved 16-bit samples.
std::optional<std::vector<int16_t>> DecodeAudio(const std::filesystem::path& file);

}  // namespace rizuvira::core::test
