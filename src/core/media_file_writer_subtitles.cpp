// SPDX-License-Identifier: GPL-2.0-or-later
// The subtitle tracks of MediaFileWriter: DVD subpicture units kept whole with their showing
// time, and Blu-ray presentation-graphics segments kept as they come.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/media_file_writer.h"

namespace rizuvira::core {

namespace {

// The codec's own text form of a DVD subtitle track's setup, as its decoder
// and the MP4 multiplexer read it.
std::string SubtitleSetupText(const SubtitleTrackFormat& format) {
    std::string text = "size: " + std::to_string(format.width) + "x" +
                       std::to_string(format.height) + "\npalette: ";
    for (size_t i = 0; i < format.palette_rgb.size(); ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%06x", format.palette_rgb[i] & 0xFFFFFFu);
        if (i > 0) text += ", ";
        text += hex;
    }
    return text + "\n";
}

// How long a subpicture unit shows, in milliseconds: the time of its
// "stop display" command, from its control sequences; 0 when it has none
// (it shows until the next one).
int64_t SubpictureShowMs(const std::vector<uint8_t>& unit) {
    auto read16 = [&](size_t at) { return static_cast<size_t>(unit[at]) << 8 | unit[at + 1]; };
    if (unit.size() < 4) return 0;
    size_t sequence = read16(2);
    // A sequence that points to itself is the last; a bounded count stops a loop.
    for (int guard = 0; guard < 64 && sequence + 4 <= unit.size(); ++guard) {
        const int64_t delay = static_cast<int64_t>(read16(sequence));
        const size_t next = read16(sequence + 2);
        for (size_t at = sequence + 4; at < unit.size();) {
            const uint8_t command = unit[at];
            if (command == 0x02) return (delay << 10) / 90;
            static constexpr size_t kArgumentBytes[] = {0, 0, 0, 2, 2, 6, 4};
            if (command > 0x06) break;  // 0xFF ends the sequence; others are not known
            at += 1 + kArgumentBytes[command];
        }
        if (next == sequence) break;
        sequence = next;
    }
    return 0;
}

}  // namespace

bool MediaFileWriter::OpenSubtitle(const SubtitleTrackFormat& format) {
    SubtitleTrack& track = subtitles_.emplace_back();
    track.stream = avformat_new_stream(output_.get(), nullptr);
    if (track.stream == nullptr) return Fail("cannot add a subtitle stream");
    track.stream->id = static_cast<int>(output_->nb_streams - 1);
    track.stream->time_base = AVRational{1, 1000};
    AVCodecParameters* par = track.stream->codecpar;
    par->codec_type = AVMEDIA_TYPE_SUBTITLE;
    par->width = format.width;
    par->height = format.height;
    if (!format.language.empty())
        av_dict_set(&track.stream->metadata, "language", format.language.c_str(), 0);
    track.graphics = format.graphics;
    if (format.graphics) {
        par->codec_id = AV_CODEC_ID_HDMV_PGS_SUBTITLE;
        return true;
    }
    par->codec_id = AV_CODEC_ID_DVD_SUBTITLE;
    const std::string setup = SubtitleSetupText(format);
    par->extradata = static_cast<uint8_t*>(av_mallocz(setup.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (par->extradata == nullptr) return Fail("out of memory");
    std::memcpy(par->extradata, setup.data(), setup.size());
    par->extradata_size = static_cast<int>(setup.size());
    return true;
}

int MediaFileWriter::WriteSubtitle(int track_index, const uint8_t* data, size_t length_bytes,
                                   int64_t start_100ns) {
    if (track_index < 0 || track_index >= subtitle_tracks() || write_failed_) return -1;
    if (data == nullptr || length_bytes == 0) return 0;
    SubtitleTrack& track = subtitles_[static_cast<size_t>(track_index)];
    if (track.graphics) return WriteGraphics(track, data, length_bytes, start_100ns);
    if (start_100ns != kUntimed) {
        // A new unit; one left unfinished is dropped.
        track.unit.clear();
        track.unit_size = 0;
        if (length_bytes < 2 || start_100ns < 0) return 0;
        track.unit_size = static_cast<size_t>(data[0]) << 8 | data[1];
        track.unit_start_100ns = start_100ns;
        if (track.unit_size < 4) {
            track.unit_size = 0;
            return 0;
        }
    }
    if (track.unit_size == 0) return 0;
    if (track.unit.size() + length_bytes > track.unit_size) {
        track.unit.clear();
        track.unit_size = 0;
        return 0;
    }
    track.unit.insert(track.unit.end(), data, data + length_bytes);
    if (track.unit.size() < track.unit_size) return 0;

    av::PacketPtr packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), static_cast<int>(track.unit.size())) < 0) return -1;
    std::memcpy(packet->data, track.unit.data(), track.unit.size());
    packet->stream_index = track.stream->index;
    packet->pts = packet->dts =
        av_rescale_q(track.unit_start_100ns, AVRational{1, 10000000}, track.stream->time_base);
    packet->duration =
        av_rescale_q(SubpictureShowMs(track.unit), AVRational{1, 1000}, track.stream->time_base);
    packet->flags |= AV_PKT_FLAG_KEY;
    track.unit.clear();
    track.unit_size = 0;
    return WritePacket(packet.get()) ? 0 : -1;
}

int MediaFileWriter::WriteGraphics(SubtitleTrack& track, const uint8_t* data, size_t length_bytes,
                                   int64_t start_100ns) {
    // A timed piece starts a PES of whole segments; one left unfinished is dropped. Each
    // segment is a packet at its PES's time.
    if (start_100ns != kUntimed) {
        track.unit.clear();
        track.unit_size = 1;  // begun
        track.unit_start_100ns = std::max<int64_t>(start_100ns, 0);
    }
    if (track.unit_size == 0) return 0;
    track.unit.insert(track.unit.end(), data, data + length_bytes);
    size_t at = 0;
    while (track.unit.size() - at >= 3) {
        const size_t length = 3 + (size_t{track.unit[at + 1]} << 8 | track.unit[at + 2]);
        if (track.unit.size() - at < length) break;
        av::PacketPtr packet(av_packet_alloc());
        if (!packet || av_new_packet(packet.get(), static_cast<int>(length)) < 0) return -1;
        std::memcpy(packet->data, track.unit.data() + at, length);
        packet->stream_index = track.stream->index;
        packet->pts = packet->dts =
            av_rescale_q(track.unit_start_100ns, AVRational{1, 10000000}, track.stream->time_base);
        packet->flags |= AV_PKT_FLAG_KEY;
        if (!WritePacket(packet.get())) return -1;
        at += length;
    }
    track.unit.erase(track.unit.begin(), track.unit.begin() + static_cast<std::ptrdiff_t>(at));
    return 0;
}

}  // namespace rizuvira::core
