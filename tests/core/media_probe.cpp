// SPDX-License-Identifier: GPL-2.0-or-later
#include "media_probe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

namespace rizuvira::core::test {

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

namespace {

// "streams.stream.0.codec_name" → ("streams.stream", 0, "codec_name").
bool SplitKey(const std::string& key, const std::string& prefix, int& index, std::string& field) {
    if (key.rfind(prefix, 0) != 0) return false;
    size_t dot = key.find('.', prefix.size());
    if (dot == std::string::npos) return false;
    index = std::atoi(key.c_str() + prefix.size());
    field = key.substr(dot + 1);
    return true;
}

}  // namespace

const ProbedStream* ProbedFile::Find(const std::string& codec_type) const {
    for (const ProbedStream& s : streams) {
        if (s.codec_type == codec_type) return &s;
    }
    return nullptr;
}

std::optional<std::string> RunCapture(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string output;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    if (pclose(pipe) != 0) return std::nullopt;
    return output;
}

std::optional<ProbedFile> Probe(const std::filesystem::path& file) {
    auto output = RunCapture(
        "ffprobe -v error -show_entries "
        "format=format_name:stream=index,codec_type,codec_name,pix_fmt,width,height,r_frame_rate,"
        "sample_rate,channels:packet=stream_index,pts_time,duration_time -of flat " +
        ShellQuote(file.string()));
    if (!output) return std::nullopt;

    ProbedFile probed;
    struct Packet {
        int stream = -1;
        double pts = 0;
        double duration = 0;
        bool has_pts = false;
    };
    std::map<int, Packet> packets;
    std::istringstream lines(*output);
    std::string line;
    while (std::getline(lines, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
        int index = 0;
        std::string field;
        if (key == "format.format_name") {
            probed.format_name = value;
        } else if (SplitKey(key, "streams.stream.", index, field)) {
            if (static_cast<int>(probed.streams.size()) <= index) probed.streams.resize(index + 1);
            ProbedStream& s = probed.streams[index];
            if (field == "codec_type")
                s.codec_type = value;
            else if (field == "codec_name")
                s.codec_name = value;
            else if (field == "pix_fmt")
                s.pix_fmt = value;
            else if (field == "width")
                s.width = std::atoi(value.c_str());
            else if (field == "height")
                s.height = std::atoi(value.c_str());
            else if (field == "sample_rate")
                s.sample_rate = std::atoi(value.c_str());
            else if (field == "channels")
                s.channels = std::atoi(value.c_str());
            else if (field == "r_frame_rate") {
                std::sscanf(value.c_str(), "%d/%d", &s.frame_rate_num, &s.frame_rate_den);
            }
        } else if (SplitKey(key, "packets.packet.", index, field)) {
            Packet& p = packets[index];
            if (field == "stream_index")
                p.stream = std::atoi(value.c_str());
            else if (field == "pts_time" && value != "N/A") {
                p.pts = std::atof(value.c_str());
                p.has_pts = true;
            } else if (field == "duration_time" && value != "N/A") {
                p.duration = std::atof(value.c_str());
            }
        }
    }
    std::vector<bool> seen(probed.streams.size(), false);
    for (const auto& [number, p] : packets) {
        if (p.stream < 0 || p.stream >= static_cast<int>(probed.streams.size())) continue;
        ProbedStream& s = probed.streams[p.stream];
        ++s.packets;
        s.longest_packet_s = std::max(s.longest_packet_s, p.duration);
        if (!p.has_pts) continue;
        s.packet_pts_s.push_back(p.pts);
        if (!seen[p.stream] || p.pts < s.start_s) s.start_s = p.pts;
        if (!seen[p.stream] || p.pts + p.duration > s.end_s) s.end_s = p.pts + p.duration;
        seen[p.stream] = true;
    }
    return probed;
}

std::optional<std::vector<int16_t>> DecodeAudio(const std::filesystem::path& file) {
    auto output = RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(file.string()) +
                             " -map 0:a:0 -f s16le -c:a pcm_s16le -");
    if (!output) return std::nullopt;
    std::vector<int16_t> samples(output->size() / 2);
    std::memcpy(samples.data(), output->data(), samples.size() * 2);
    return samples;
}

}  // namespace rizuvira::core::test
